// Calls of the shader's own functions. The call's signature text is built
// argument by argument in the form of a function's argument text
// ("(f32v4;&f32;"), matching overloads by prefix, with a ladder of scalar
// conversions when an argument's own type matches nothing. Arguments of
// parameters passed by reference are pointers: a local variable's own, or a
// temporary copied from the argument and back into it after the call. A
// single-block function marked inline whose body only computes is copied
// into the caller; every other call is OpFunctionCall.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "core/Log.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using CompilerBits::skip_spaces;

namespace {

// an argument passed by reference through a temporary, written back after the call
struct WriteBack {
	uint32_t temporary;
	uint32_t pointer;
	Array<uint32_t> mask;
};

// the conversion ladder: the type text an attempt tries in place of the
// argument's own, or null when it has none for it
const char *attempt_type(uint32_t attempt, const String &type) {
	static const struct {
		uint32_t attempt;
		const char *from;
		const char *to;
	} rows[] = {
		{2, "u32;", "i32;"}, {2, "i32;", "u32;"}, {2, "f32;", "u32;"},
		{3, "u32;", "f32;"}, {3, "i32;", "f32;"}, {3, "f32;", "i32;"},
		{4, "f32;", "f16;"}, {4, "f16;", "f32;"},
	};
	for (const auto &row : rows) {
		if (row.attempt == attempt && type == row.from) return row.to;
	}
	return nullptr;
}

// the rank of an argument's implicit conversion, by which GLSL prefers one
// overload to another
enum ConversionRank : uint8_t {
	Exact,
	FloatToDouble, // to a wider float
	IntegerToFloat,
	IntegerToDouble,
	OtherConversion,
	NoConversion,
};

uint8_t conversion_rank(uint32_t from, uint32_t to) {
	uint32_t a = from & (Compiler::TypeKindMask | Compiler::TypeWidthMask);
	uint32_t b = to & (Compiler::TypeKindMask | Compiler::TypeWidthMask);
	constexpr uint32_t Int = Compiler::TypeInt | Compiler::Type32;
	constexpr uint32_t Uint = Compiler::TypeUint | Compiler::Type32;
	constexpr uint32_t Half = Compiler::TypeFloat | Compiler::Type16;
	constexpr uint32_t Float = Compiler::TypeFloat | Compiler::Type32;
	constexpr uint32_t Double = Compiler::TypeFloat | Compiler::Type64;
	if (a == b) return Exact;
	if (a == Int && b == Uint) return OtherConversion;
	if ((a == Int || a == Uint) && b == Float) return IntegerToFloat;
	if ((a == Int || a == Uint) && b == Double) return IntegerToDouble;
	if ((a == Float || a == Half) && b == Double) return FloatToDouble;
	if (a == Half && b == Float) return OtherConversion;
	return NoConversion;
}

// whether conversion rank x is better than y: an exact match than any
// conversion, float to double than any other conversion, int or uint to
// float than to double; other pairs are neither
bool better_conversion(uint8_t x, uint8_t y) {
	if (x == Exact) return y != Exact;
	if (x == FloatToDouble) return y != Exact && y != FloatToDouble;
	return x == IntegerToFloat && y == IntegerToDouble;
}

uint32_t flags_of_text(const char *text) {
	if (strcmp(text, "i32;") == 0) return Compiler::TypeInt | Compiler::Type32 | Compiler::TypeScalar;
	if (strcmp(text, "u32;") == 0) return Compiler::TypeUint | Compiler::Type32 | Compiler::TypeScalar;
	if (strcmp(text, "f16;") == 0) return Compiler::TypeFloat | Compiler::Type16 | Compiler::TypeScalar;
	return Compiler::TypeFloat | Compiler::Type32 | Compiler::TypeScalar;
}

// the operands of an instruction the inliner maps, as word positions
// [first, last) after the first word; false for an instruction it does not copy
bool mapped_operands(uint32_t opcode, uint32_t count, uint32_t &first, uint32_t &last) {
	switch (opcode) {
	case Spirv::OpExtInst: first = 5; last = count; return count >= 5;
	case Spirv::OpCompositeConstruct:
	case Spirv::OpSelect: first = 3; last = count; return count >= 3;
	case Spirv::OpCompositeExtract: first = 3; last = 4; return count >= 4;
	case Spirv::OpAny:
	case Spirv::OpAll:
	case Spirv::OpNot:
	case 204: // OpBitReverse
	case 205: // OpBitCount
		first = 3; last = 4; return count == 4;
	case Spirv::OpVectorExtractDynamic:
	case Spirv::OpVectorShuffle: first = 3; last = 5; return count >= 5;
	default: break;
	}
	if (opcode >= Spirv::OpConvertFToU && opcode <= Spirv::OpFNegate) {
		first = 3;
		last = 4;
		return count == 4;
	}
	// arithmetic (OpIAdd to OpSMulExtended), logical and comparison
	// (OpLogicalEqual to OpLogicalAnd, OpIEqual to OpFUnordGreaterThanEqual)
	// and bit operations (OpShiftRightLogical to OpBitwiseAnd)
	bool two = (opcode >= Spirv::OpIAdd && opcode <= Spirv::OpSMulExtended) || (opcode >= Spirv::OpLogicalEqual && opcode <= Spirv::OpLogicalAnd) || (opcode >= Spirv::OpIEqual && opcode <= Spirv::OpFUnordGreaterThanEqual) ||
		(opcode >= Spirv::OpShiftRightLogical && opcode <= Spirv::OpBitwiseAnd);
	if (two) {
		first = 3;
		last = 5;
		return count >= 5;
	}
	return false;
}

} // namespace

// the callee's single block copied into the caller, with its own locals
// replaced by the values stored in them; ~0u when it can't be (the opcode
// that stopped it in *stopped)
uint32_t Compiler::inline_call(Function &function, const Function &callee, const Array<uint32_t> &arguments, uint32_t *stopped) {
	*stopped = 0;
	if (callee.parameters.size() != arguments.size() || callee.labels.size() != 0) return ~0u;
	Map<uint32_t, uint32_t> substitution;
	for (uint32_t i = 0; i < callee.parameters.size(); i++) {
		const Variable &parameter = variables[callee.parameters[i].variable];
		if (parameter.parameter == ~0u || parameter.structure != ~0u || callee.parameters[i].copy != ~0u) return ~0u;
		substitution.insert(parameter.id, arguments[i]);
	}
	auto mapped = [&](uint32_t id) {
		const uint32_t *to = substitution.get(id);
		return to != nullptr ? *to : id;
	};
	Map<uint32_t, uint32_t> memory; // a local's pointer -> the value last stored, ~0u before any
	for (uint32_t i = 0; i < callee.locals.size(); i++) memory.insert(variables[callee.locals[i]].id, ~0u);
	Array<uint32_t> words;          // the copied instructions, ids mapped
	Array<uint32_t> fresh;          // callee result ids in the order of their new ids
	const Array<uint32_t> &code = callee.code;
	for (uint32_t i = 0; i < code.size();) {
		uint32_t count = code[i] >> 16;
		uint32_t opcode = code[i] & 0xffffu;
		if (count == 0 || i + count > code.size()) break;
		if (opcode == Spirv::OpLabel) {
			*stopped = opcode;
			return ~0u;
		}
		if (opcode == Spirv::OpVariable && count >= 3) {
			memory.insert(code[i + 2], ~0u);
		} else if (opcode == Spirv::OpStore && count == 3) {
			// only the callee's own locals are forgotten: any other store stays a call
			uint32_t *slot = memory.get(code[i + 1]);
			if (slot == nullptr) {
				*stopped = opcode;
				return ~0u;
			}
			*slot = mapped(code[i + 2]);
		} else if (opcode == Spirv::OpLoad && count == 4) {
			const uint32_t *slot = memory.get(code[i + 3]);
			if (slot == nullptr || *slot == ~0u) {
				*stopped = opcode;
				return ~0u;
			}
			substitution.insert(code[i + 2], *slot);
		} else if (opcode == Spirv::OpReturnValue && count == 2) {
			uint32_t result = mapped(code[i + 1]);
			// the copy goes in; the new ids are the ones counted in the walk
			for (uint32_t k = 0; k < words.size();) {
				uint32_t size = words[k] >> 16;
				Array<uint32_t> operands;
				for (uint32_t w = k + 1; w < k + size; w++) operands.append(words[w]);
				add_function_opcode(function, words[k] & 0xffffu, {}, operands);
				k += size;
			}
			for (uint32_t k = 0; k < fresh.size(); k++) {
				if (const Target *target = targets.get(fresh[k])) targets.insert(next_id + k, *target);
			}
			next_id += fresh.size();
			return result;
		} else {
			uint32_t first = 0;
			uint32_t last = 0;
			if (!mapped_operands(opcode, count, first, last)) {
				*stopped = opcode;
				return ~0u;
			}
			uint32_t start = words.size();
			for (uint32_t w = 0; w < count; w++) words.append(code[i + w]);
			for (uint32_t w = first; w < last; w++) words[start + w] = mapped(code[i + w]);
			// the result gets a new id
			uint32_t result = next_id + fresh.size();
			substitution.insert(code[i + 2], result);
			words[start + 2] = result;
			fresh.append(code[i + 2]);
		}
		i += count;
	}
	*stopped = Spirv::OpReturnValue;
	return ~0u;
}

uint32_t Compiler::parse_shader_function(const char *text, const String &name, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	const Array<uint32_t> *overloads = function_names.get(name);
	String signature("(");
	String actual("(");
	Array<uint32_t> arguments;
	Array<uint32_t> converted;
	Array<WriteBack> write_backs;
	// where the call's code starts, for a built-in of the same name
	uint32_t mark = function.code.size();
	uint32_t last_at_mark = function.last_opcode;

	// whether a function of that name takes an argument text starting so
	auto matches = [&](const String &candidate) {
		if (overloads == nullptr) return false;
		for (uint32_t i = 0; i < overloads->size(); i++) {
			if (functions[(*overloads)[i]].arguments.startsWith(candidate.get())) return true;
		}
		return false;
	};

	// the arguments first, each as its value, its l-value and its type text
	struct Argument {
		Expressions::Operand operand;
		uint32_t value = ~0u;
		uint32_t length = ~0u;
		String type; // with its ';'
		String text; // a literal's own text
	};
	Array<Argument> list;
	const char *none = "";
	Array<Expressions::Operand> operands = Expressions::parse_arguments(*this, text, function, scope);
	for (uint32_t n = 0; n < operands.size(); n++) {
		Expressions::ExpressionParser parser(*this, none, function, scope);
		Argument argument;
		argument.operand = operands[n];
		if (argument.operand.id == ~0u) argument.text = argument.operand.text;
		argument.value = argument.operand.id != ~0u ? argument.operand.id : parser.resolve(argument.operand, String());
		argument.length = get_target_length(argument.value);
		String type = get_target_type_name(get_target_type(argument.value));
		if ((get_target_flags(argument.value) & TypeRuntimeArray) && argument.length != ~0u && type.size() >= 2 && type.substr(type.size() - 2) == "[]") {
			type = type.substr(0, type.size() - 2) + String::format("[%u]", argument.length);
		}
		type.append(';');
		argument.type = type;
		actual.append(type);
		list.append(argument);
	}

	// a parameter passed by reference takes the argument's pointer: a local
	// variable's own, or a temporary copied back after the call
	auto pass_reference = [&](Argument &argument) {
		Expressions::ExpressionParser parser(*this, none, function, scope);
		const Expressions::Operand &operand = argument.operand;
		if (operand.variable != ~0u) check_write(operand.variable);
		const Variable *record = operand.variable != ~0u ? &variables[operand.variable] : nullptr;
		// a local passed by reference twice goes through a temporary the
		// second time: parameters never alias
		bool local = record != nullptr && record->storage == Spirv::StorageFunction && record->id == operand.pointer && operand.mask.size() == 0 &&
			arguments.find(operand.pointer) == ~0u;
		if (local) {
			arguments.append(operand.pointer);
			return;
		}
		uint32_t temporary = parser.local_variable(get_target_type(argument.value), argument.length);
		parser.store(temporary, argument.value);
		arguments.append(temporary);
		write_backs.append(WriteBack{temporary, operand.pointer, operand.mask});
	};

	// an argument converted to its parameter's kind or width; a literal is
	// made in that type directly, as an initialiser makes it, so that a
	// float literal keeps its own precision in a double
	auto convert_argument = [&](const Argument &argument, uint32_t wanted) {
		if (argument.text.empty()) return add_conversion(function, wanted, argument.value);
		Expressions::ExpressionParser parser(*this, none, function, scope);
		Expressions::Operand literal;
		literal.text = argument.text;
		return parser.resolve(literal, get_type_name(wanted));
	};

	// GLSL's choice first: among the overloads that take every argument as
	// it is or by an implicit conversion (int to uint, int and uint to float,
	// to double, half to float), the one whose conversions are each no worse
	// than every other's and better in one argument; none such is an
	// ambiguous call
	Array<uint32_t> viable;
	Array<Array<uint8_t>> ranks; // per viable overload, the rank of each argument's conversion
	for (uint32_t k = 0; overloads != nullptr && k < overloads->size(); k++) {
		const Function &candidate = functions[(*overloads)[k]];
		const char *t = candidate.arguments.get();
		if (*t == '(') t++;
		Array<uint8_t> rank;
		uint32_t i = 0;
		bool fits = true;
		while (*t != '\0' && fits) {
			const char *end = strchr(t, ';');
			if (end == nullptr || i >= list.size()) {
				fits = false;
				break;
			}
			String parameter(t, uint32_t(end - t + 1));
			t = end + 1;
			const Argument &argument = list[i++];
			if (parameter[0] == '&') {
				fits = argument.operand.pointer != ~0u && parameter.substr(1) == argument.type;
				rank.append(Exact);
				continue;
			}
			if (parameter == argument.type) {
				rank.append(Exact);
				continue;
			}
			// only numbers convert: structures and arrays match as they are
			bool number = parameter.size() > 2 && strchr("fiu", parameter[0]) != nullptr && parameter[1] >= '0' && parameter[1] <= '9' &&
				parameter.find('[') == ~0u;
			if (!number || internal_types.get(parameter.substr(0, parameter.size() - 1)) == nullptr) {
				fits = false;
				continue;
			}
			uint32_t from = get_target_flags(argument.value);
			uint32_t to = get_type_flags(parameter.substr(0, parameter.size() - 1));
			uint32_t shape = TypeScalar | TypeVectorMask | TypeMatrixMask;
			bool plain = !((from | to) & (TypeStructure | TypeRuntimeArray)) && argument.length == ~0u && (from & shape) == (to & shape) &&
				!(from & TypeMatrixMask);
			uint8_t r = plain ? conversion_rank(from, to) : uint8_t(NoConversion);
			fits = r != NoConversion;
			rank.append(r);
		}
		if (!fits || i != list.size() || (*t != '\0')) continue;
		viable.append((*overloads)[k]);
		ranks.append(rank);
	}
	uint32_t best = ~0u;
	for (uint32_t a = 0; a < viable.size() && best == ~0u; a++) {
		bool best_of_all = true;
		for (uint32_t b = 0; b < viable.size() && best_of_all; b++) {
			if (a == b) continue;
			bool better = false;
			for (uint32_t i = 0; i < list.size(); i++) {
				if (better_conversion(ranks[b][i], ranks[a][i])) best_of_all = false;
				if (better_conversion(ranks[a][i], ranks[b][i])) better = true;
			}
			if (!better) best_of_all = false;
		}
		if (best_of_all) best = viable[a];
	}
	if (best == ~0u && viable.size() > 1) throwError("ambiguous call of %s%s) function\n", name.get(), actual.get());
	if (best != ~0u) {
		const char *t = functions[best].arguments.get() + 1;
		for (uint32_t i = 0; i < list.size(); i++) {
			const char *end = strchr(t, ';');
			String parameter(t, uint32_t(end - t + 1));
			t = end + 1;
			if (parameter[0] == '&') {
				pass_reference(list[i]);
			} else if (parameter == list[i].type) {
				arguments.append(list[i].value);
			} else {
				uint32_t to = get_type_flags(parameter.substr(0, parameter.size() - 1));
				uint32_t from = get_target_flags(list[i].value);
				arguments.append(convert_argument(list[i], (from & ~(TypeKindMask | TypeWidthMask)) | (to & (TypeKindMask | TypeWidthMask))));
			}
		}
		signature = functions[best].arguments;
	}

	// else argument by argument: its own type, then the ladder of
	// conversions, then a reference
	for (uint32_t n = 0; best == ~0u && n < list.size(); n++) {
		Argument &argument = list[n];
		const String &type = argument.type;
		bool matched = false;
		for (uint32_t attempt = 1; attempt <= 4 && !matched; attempt++) {
			const char *candidate_type = attempt == 1 ? type.get() : attempt_type(attempt, type);
			if (candidate_type == nullptr) continue;
			String candidate = signature + candidate_type;
			if (!matches(candidate)) continue;
			uint32_t id = argument.value;
			if (attempt > 1) {
				uint32_t target_flags = flags_of_text(candidate_type);
				uint32_t source_flags = get_target_flags(id);
				uint32_t wanted = attempt == 4 ? (source_flags & ~TypeWidthMask) | (target_flags & TypeWidthMask)
					: (source_flags & ~(TypeFloat | TypeUint | TypeInt | TypeBool)) | (target_flags & TypeKindMask);
				id = convert_argument(argument, wanted);
				bool lossy = attempt == 3 || attempt == 4 || (attempt == 2 && type == "f32;");
				if ((flags & FlagConversion) && lossy && constants.get(id) == nullptr) converted.append(arguments.size());
			}
			arguments.append(id);
			signature = candidate;
			matched = true;
		}
		if (!matched) {
			String candidate = signature + "&" + type;
			if (argument.operand.pointer != ~0u && matches(candidate)) {
				pass_reference(argument);
				signature = candidate;
				matched = true;
			}
		}
		if (!matched) signature.append(type);
	}

	if (converted.size() && (flags & FlagConversion)) {
		Log::printf(Log::Warning, "Compiler::parse_shader_function(): %s%s) function used with %s) arguments\n", name.get(), signature.get(), actual.get());
	}

	// the callee: the function of that name whose argument text is the signature
	uint32_t index = ~0u;
	if (overloads != nullptr) {
		for (uint32_t i = 0; i < overloads->size() && index == ~0u; i++) {
			if (functions[(*overloads)[i]].arguments == signature) index = (*overloads)[i];
		}
	}
	if (index == ~0u || functions[index].id == ~0u || functions[index].id == ~0u - 1) {
		// a built-in the shader's own functions overload: its code made anew
		if (external_functions.find(name)) {
			Expressions::detach(function, mark, last_at_mark);
			return parse_external_function(text, name, function, scope);
		}
		if (internal_functions.find(name)) {
			Expressions::detach(function, mark, last_at_mark);
			return parse_internal_function(text, name, function, scope);
		}
		throwError("unknown function %s%s)\n", name.get(), signature.get());
	}
	Function &callee = functions[index];
	if (callee.name == "main" && callee.arguments == "(") throwError("can't call entry function\n");
	// an image, sampler or acceleration structure goes as the pointer of the
	// resource it is read from: a variable, an element of one, or a parameter
	// of the same kind
	for (uint32_t i = 0; i < callee.parameters.size() && i < arguments.size() && i < list.size(); i++) {
		if (variables[callee.parameters[i].variable].storage != Spirv::StorageUniformConstant) continue;
		uint32_t pointer = list[i].operand.pointer;
		const Target *target = pointer != ~0u ? targets.get(pointer) : nullptr;
		if (target == nullptr || list[i].operand.variable == ~0u || variables[list[i].operand.variable].storage != Spirv::StorageUniformConstant) {
			throwError("argument %u of %s%s) function must be a resource variable\n", i + 1, callee.name.get(), callee.arguments.get());
		}
		// the pointer's type is the parameter's: an image of another format is not
		const Variable &parameter = variables[callee.parameters[i].variable];
		const Target *expected = targets.get(parameter.id);
		if (expected == nullptr || expected->type != target->type || parameter.length != get_target_length(pointer)) {
			throwError("argument %u of %s%s) function has another format or type than its parameter\n", i + 1, callee.name.get(), callee.arguments.get());
		}
		arguments[i] = pointer;
	}
	callee.used = true;
	uint32_t return_type = add_type(callee.return_type, ~0u, &global_scope);

	if ((callee.control & 1) && write_backs.size() == 0 && &callee != &function) {
		uint32_t stopped = 0;
		uint32_t result = inline_call(function, callee, arguments, &stopped);
		if (result != ~0u) return result;
		if (flags & FlagInline) {
			Log::printf(Log::Warning, "Compiler::parse_shader_function(): can't inline %s%s) function opcode %u\n", callee.name.get(), callee.arguments.get(), stopped);
		}
	}

	uint32_t id = next_id++;
	add_function_opcode(function, Spirv::OpFunctionCall, {return_type, id, callee.id}, arguments);
	add_target(id, return_type);
	function.callees.append(index);

	// what the callee wrote through its references goes back into the arguments
	for (uint32_t i = 0; i < write_backs.size(); i++) {
		Expressions::ExpressionParser parser(*this, none, function, scope);
		uint32_t value = parser.load(write_backs[i].temporary);
		parser.write(write_backs[i].pointer, write_backs[i].mask, value);
	}
	return id;
}

void Compiler::check_recursion() {
	// depth first over the calls without recursion: a function met again
	// while it is on the way down closes a cycle
	enum : uint8_t { Unvisited, Open, Done };
	Array<uint8_t> state;
	for (uint32_t i = 0; i < functions.size(); i++) state.append(Unvisited);
	struct Step {
		uint32_t function;
		uint32_t callee;
	};
	Array<Step> stack;
	for (uint32_t root = 0; root < functions.size(); root++) {
		if (state[root] != Unvisited) continue;
		state[root] = Open;
		stack.append(Step{root, 0});
		while (stack.size()) {
			Step &step = stack.back();
			const Function &current = functions[step.function];
			if (step.callee < current.callees.size()) {
				uint32_t next = current.callees[step.callee++];
				if (next >= functions.size() || state[next] == Done) continue;
				if (state[next] == Open) throwError("recursive call of %s%s) function\n", functions[next].name.get(), functions[next].arguments.get());
				state[next] = Open;
				stack.append(Step{next, 0});
				continue;
			}
			state[step.function] = Done;
			stack.remove(stack.size() - 1);
		}
	}
}

} // namespace Vexa
