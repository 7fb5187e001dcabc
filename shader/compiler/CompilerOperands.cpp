// Operands of expressions: literals, variables with their selectors (as one
// access chain), constructors, and the selectors on values; and assignment
// statements with their write masks and compound operators.
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstring>

namespace Vexa {

namespace {

using namespace Spirv;
using Expressions::Operand;
using Expressions::skip_spaces;
using Expressions::starts_name;

// the parenthesised text at s, without the parentheses
String read_arguments(const char *&s) {
	String ret;
	s += Parser::readRegion(s, ret, '(', ')');
	return ret;
}

uint32_t element_type(const Compiler &compiler, uint32_t type) {
	uint32_t flags = compiler.get_target_flags(type);
	if (flags & Compiler::TypeRuntimeArray) return compiler.get_target_type(type);
	return ~0u;
}

bool is_integer(uint32_t flags) {
	return (flags & (Compiler::TypeUint | Compiler::TypeInt)) && !(flags & (Compiler::TypeFloat | Compiler::TypeBool));
}

// the argument at s, a literal or a named constant read at a double's
// precision, as where a double is expected without a constructor
uint32_t parse_double_argument(Compiler &compiler, const char *&s, Compiler::Function &function, Compiler::Scope *scope) {
	Expressions::ExpressionParser parser(compiler, s, function, scope);
	Operand operand = parser.parse_assignment();
	return parser.resolve(operand, String("f64"));
}

} // namespace

namespace Expressions {

Operand ExpressionParser::parse_primary() {
	const char *p = skip_spaces(s);
	Operand ret;
	if (*p == '(') {
		s = p + 1;
		ret = parse_assignment();
		p = skip_spaces(s);
		if (*p == ',') throwError("comma operator is not supported\n");
		if (*p != ')') throwError("expecting '%c'\n", ')');
		s = p + 1;
		return ret;
	}
	if (Parser::isNumber(p)) {
		s = p + Parser::readNumber(p, ret.text);
		// the suffixes of the other widths: l (64-bit integers), s (16-bit
		// integers), lf (doubles) and hf (half floats)
		String suffix;
		while ((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z')) suffix.append(*s++);
		String text = ret.text;
		bool is_float = Parser::isFloat(text.get());
		String lower = suffix.tolower();
		String digits = text;
		String type;
		auto ends_with = [&](const char *tail) {
			uint32_t size = uint32_t(strlen(tail));
			return digits.size() > size && digits.substr(digits.size() - size).tolower() == tail;
		};
		if (is_float) {
			if (ends_with("lf")) {
				digits = digits.substr(0, digits.size() - 2);
				type = "f64";
			} else if (ends_with("hf")) {
				digits = digits.substr(0, digits.size() - 2);
				type = "f16";
			} else if (lower == "hf") {
				type = "f16";
			} else if (lower == "lf") {
				type = "f64";
			} else if (!lower.empty()) {
				throwError("invalid suffix \"%s\" of %s\n", suffix.get(), text.get());
			}
		} else {
			// the letters of an integer's suffix are no hexadecimal digits
			while (digits.size() > 1 && strchr("uUlLsS", digits[digits.size() - 1]) != nullptr) {
				lower = String(digits.get() + digits.size() - 1, 1).tolower() + lower;
				digits = digits.substr(0, digits.size() - 1);
			}
			digits = Compiler::get_decimal_digits(digits);
			bool is_unsigned = lower.find('u') != ~0u;
			String width = lower.replace("u", "");
			if (width == "l") type = is_unsigned ? "u64" : "i64";
			else if (width == "s") type = is_unsigned ? "u16" : "i16";
			else if (!width.empty()) throwError("invalid suffix \"%s\" of %s\n", suffix.get(), text.get());
			else ret.text = digits + (is_unsigned ? "u" : "");
		}
		if (!type.empty()) {
			ret.text.clear();
			ret.id = compiler.parse_constant(type, digits.get());
		}
		return ret;
	}
	if (!starts_name(*p)) {
		if (*p == '\0' || *p == ',' || *p == ';' || *p == ')') throwError("invalid expression\n");
		throwError("unexpected \"%s\"\n", String(p).substr(0, 16).get());
	}
	String name;
	s = p + Parser::readName(p, name);
	s = skip_spaces(s);
	if (name == "true" || name == "false") {
		ret.text = name;
		return ret;
	}

	// a vertex's instance counted from the first instance of the draw
	if (name == "gl_InstanceID" && compiler.execution_model == Spirv::ModelVertex && compiler.find_variable(name, scope) == ~0u) {
		Operand instance;
		instance.id = load(compiler.variables[compiler.find_variable(String("gl_InstanceIndex"), scope)].id);
		Operand base;
		base.id = load(compiler.variables[compiler.find_variable(String("gl_BaseInstance"), scope)].id);
		return binary(Sub, instance, base);
	}
	uint32_t index = compiler.find_variable(name, scope);
	if (index != ~0u) {
		const Compiler::Variable &variable = compiler.variables[index];
		if (!variable.value.empty() && variable.length != ~0u) {
			// a constant array is a constant, and so is its element at a
			// constant index; indexed at run time, it is read from a private
			// copy, made once
			String key = String::format("%u:constant", index);
			String type = variable.type;
			uint32_t length = variable.length;
			const uint32_t *found = compiler.global_scope.variables.get(key);
			const uint32_t *cached = compiler.array_constants.get(index);
			if (found != nullptr) {
				ret.id = compiler.variables[*found].initializer;
			} else if (cached != nullptr) {
				ret.id = *cached;
			} else {
				// the value text is read once: the constant is kept for every
				// later use of the array
				String text = variable.value;
				Value value;
				compiler.parse_constant_expression(value, text.get(), scope, true);
				ret.id = compiler.add_constant(type + String::format("[%u]", length), value);
				compiler.array_constants.insert(index, ret.id);
			}
			// the whole array, and its length, are read from the constant
			const char *after = skip_spaces(s);
			if (*after != '[') return ret;
			String text;
			const char *next = after + Parser::readRegion(after, text, '[', ']');
			const char *t = text.get();
			uint32_t position = compiler.parse_expression(&t, String(), function, scope);
			if (*skip_spaces(t) != '\0') throwError("unexpected \"%s\"\n", t);
			s = next;
			if (compiler.constants.get(position) != nullptr) return element(ret, position);
			if (!is_integer(flags_of(position)) || !(flags_of(position) & Compiler::TypeScalar)) throwError("invalid index of %s type\n", type_name_of(position).get());
			uint32_t whole = ret.id;
			// an index that reads the same array at run time has made the copy
			found = compiler.global_scope.variables.get(key);
			uint32_t copy = found != nullptr ? *found : ~0u;
			if (copy == ~0u) {
				uint32_t variable_index = compiler.add_variable(String(), type, length, StoragePrivate, compiler.global_scope);
				Compiler::Variable &record = compiler.variables[variable_index];
				record.name = String::format("_k%u", index);
				record.initializer = whole;
				record.used = true;
				compiler.add_target(record.id, compiler.add_type(type, length, &compiler.global_scope), length);
				compiler.global_scope.variables.insert(key, variable_index);
				copy = variable_index;
			}
			uint32_t element = element_type(compiler, compiler.get_target_type(whole));
			uint32_t pointer = compiler.next_id++;
			compiler.add_function_opcode(function, OpAccessChain, {compiler.add_pointer_type(element, ~0u, StoragePrivate), pointer, compiler.variables[copy].id, position});
			compiler.add_target(pointer, element);
			if (compiler.is_non_uniform(position)) compiler.set_non_uniform(pointer);
			ret = Operand();
			ret.id = load(pointer);
			return ret;
		}
		if (!variable.value.empty()) {
			ret.text = variable.value;
			return ret;
		}
		if (variable.initializer != ~0u && variable.decorations.get(Spirv::DecorationConstant) != nullptr) {
			// a specialization constant
			ret.id = variable.initializer;
			return ret;
		}
		bool pointer = false;
		uint32_t id = compiler.parse_variable(&s, name, function, scope, false, &pointer);
		// a bool member is held as an integer: read, it is a bool again
		auto as_bool = [&](uint32_t value) {
			if (!compiler.held_bools.find(id)) return value;
			return convert(value, (flags_of(value) & ~(Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeBool | Compiler::Type32);
		};
		if (!pointer) {
			ret.id = as_bool(id);
			return ret;
		}
		ret.id = as_bool(load(id));
		ret.pointer = id;
		ret.variable = index;
		return ret;
	}

	if (compiler.function_names.get(name) != nullptr && *skip_spaces(s) == '(') {
		s = skip_spaces(s);
		String arguments = read_arguments(s);
		ret.id = compiler.parse_shader_function(arguments.get(), name, function, scope);
		return ret;
	}
	if (compiler.external_functions.find(name) && *skip_spaces(s) == '(') {
		s = skip_spaces(s);
		String arguments = read_arguments(s);
		ret.id = compiler.parse_external_function(arguments.get(), name, function, scope);
		return ret;
	}
	if (compiler.internal_functions.find(name) && *skip_spaces(s) == '(') {
		s = skip_spaces(s);
		String arguments = read_arguments(s);
		ret.id = compiler.parse_internal_function(arguments.get(), name, function, scope);
		if (ret.id == ~0u) throwError("\"%s\" function has no value\n", name.get());
		return ret;
	}
	if (compiler.internal_functions.find(name) || compiler.external_functions.find(name)) {
		throwError("\"%s\" built-in function is not supported yet\n", name.get());
	}
	if (const String *type = compiler.glsl_types.get(name)) {
		String type_name = *type;
		if (*s == '[') {
			String length;
			s += Parser::readRegion(s, length, '[', ']');
			type_name.append('[').append(length).append(']');
			s = skip_spaces(s);
		}
		String arguments = read_arguments(s);
		ret.id = compiler.parse_type_constructor(arguments.get(), type_name, function, scope);
		return ret;
	}
	uint32_t structure = compiler.find_structure(name, scope);
	if (structure != ~0u && *s == '[') {
		// an array of structures
		String length;
		s += Parser::readRegion(s, length, '[', ']');
		s = skip_spaces(s);
		String arguments = read_arguments(s);
		ret.id = compiler.parse_type_constructor(arguments.get(), name + "[" + length + "]", function, scope);
		return ret;
	}
	if (structure != ~0u) {
		String arguments = read_arguments(s);
		ret.id = compiler.parse_structure_constructor(arguments.get(), compiler.structures[structure].id, function, scope);
		return ret;
	}
	if (*skip_spaces(s) == '(') {
		if (CompilerBits::is_unsupported_builtin(name.get())) throwError("\"%s\" built-in function is not supported\n", name.get());
		throwError("unknown function \"%s\"\n", name.get());
	}
	throwError("unexpected \"%s\"\n", name.get());
}

Operand ExpressionParser::parse_postfix(Operand operand) {
	for (;;) {
		const char *p = skip_spaces(s);
		if (*p == '.' && !(p[1] >= '0' && p[1] <= '9')) {
			String name;
			s = p + 1;
			s += Parser::readName(s, name);
			if (name == "length") {
				s = skip_spaces(s);
				String arguments = read_arguments(s);
				if (*skip_spaces(arguments.get()) != '\0') throwError("unknown array function %s(%s)\n", name.get(), arguments.get());
				uint32_t id = resolve(operand, String());
				uint32_t flags = flags_of(id);
				uint32_t length = 0;
				if (flags & Compiler::TypeRuntimeArray) length = compiler.get_target_length(id);
				else if (flags & Compiler::TypeMatrixMask) length = Compiler::get_column_count(flags);
				else if (flags & Compiler::TypeVectorMask) length = Compiler::get_vector_size(flags);
				if (length == 0 || length == ~0u) throwError("invalid operator %s for %s\n", type_names[Swizzle], type_name_of(id).get());
				operand = Operand();
				operand.text = String::format("%u", length);
				continue;
			}
			operand = swizzle(operand, name);
			continue;
		}
		if (*p == '[') {
			String text;
			s = p + Parser::readRegion(p, text, '[', ']');
			const char *t = text.get();
			uint32_t index = compiler.parse_expression(&t, String(), function, scope);
			if (*skip_spaces(t) != '\0') throwError("unexpected \"%s\"\n", t);
			operand = element(operand, index);
			continue;
		}
		return operand;
	}
}

// a swizzle of a vector in memory that names each component once can be
// written: the result keeps the pointer, and the components as its mask
void ExpressionParser::keep_target(const Operand &operand, const Array<uint32_t> &indices, Operand &result) {
	if (operand.pointer == ~0u) return;
	uint32_t flags = compiler.get_target_flags(compiler.get_target_type(operand.pointer));
	if (!(flags & Compiler::TypeVectorMask) || (flags & (Compiler::TypeMatrixMask | Compiler::TypeRuntimeArray))) return;
	Array<uint32_t> mask;
	for (uint32_t i = 0; i < indices.size(); i++) {
		uint32_t component = operand.mask.size() ? operand.mask[indices[i]] : indices[i];
		for (uint32_t j = 0; j < mask.size(); j++) {
			if (mask[j] == component) return;
		}
		mask.append(component);
	}
	result.pointer = operand.pointer;
	result.variable = operand.variable;
	result.mask = mask;
}

Operand ExpressionParser::swizzle(Operand &operand, const String &name) {
	uint32_t id = resolve(operand, String());
	uint32_t flags = flags_of(id);
	Operand ret;
	if (flags & Compiler::TypeStructure) {
		uint32_t structure = compiler.get_structure(compiler.get_target_type(id));
		const Compiler::Structure &record = compiler.structures[structure];
		const uint32_t *member = record.scope.variables.get(name);
		if (member == nullptr) throwError("can't find \"%s\" member in \"%s\" structure\n", name.get(), record.name.get());
		uint32_t position = 0;
		while (position < record.members.size() && record.members[position] != *member) position++;
		const Compiler::Target *target = compiler.targets.get(compiler.variables[*member].id);
		if (target == nullptr) throwError("can't find \"%s\" member in \"%s\" structure\n", name.get(), record.name.get());
		ret.id = compiler.next_id++;
		compiler.add_function_opcode(function, OpCompositeExtract, {target->type, ret.id, id, position});
		compiler.targets.insert(ret.id, *target);
		return ret;
	}
	if ((flags & (Compiler::TypeScalar | Compiler::TypeVectorMask)) == 0 || (flags & (Compiler::TypeMatrixMask | Compiler::TypeRuntimeArray))) {
		throwError("invalid operator %s for %s\n", type_names[Swizzle], type_name_of(id).get());
	}
	uint32_t size = (flags & Compiler::TypeScalar) ? 1 : Compiler::get_vector_size(flags);
	Array<uint32_t> indices;
	for (uint32_t i = 0; i < name.size(); i++) {
		uint32_t index = Compiler::get_swizzle_index(name[i]);
		if (index >= size) throwError("invalid swizzle \"%s\" for %s\n", name.get(), type_name_of(id).get());
		indices.append(index);
	}
	if (indices.size() < 1 || indices.size() > 4) throwError("invalid swizzle size %u\n", indices.size());
	uint32_t base = flags & (Compiler::TypeKindMask | Compiler::TypeWidthMask);
	if (indices.size() == 1) {
		if (flags & Compiler::TypeScalar) return operand;
		ret.id = compiler.add_shuffle(function, compiler.add_type(base | Compiler::TypeScalar), id, indices);
		keep_target(operand, indices, ret);
		return ret;
	}
	uint32_t vector = indices.size() == 2 ? Compiler::TypeVector2 : indices.size() == 3 ? Compiler::TypeVector3 : Compiler::TypeVector4;
	uint32_t type = compiler.add_type(base | vector);
	if (flags & Compiler::TypeScalar) ret.id = compiler.add_splat(function, type, id);
	else ret.id = compiler.add_shuffle(function, type, id, indices);
	keep_target(operand, indices, ret);
	return ret;
}

Operand ExpressionParser::element(Operand &operand, uint32_t index) {
	uint32_t id = resolve(operand, String());
	uint32_t flags = flags_of(id);
	uint32_t type = compiler.get_target_type(id);
	if (!is_integer(flags_of(index)) || !(flags_of(index) & Compiler::TypeScalar)) throwError("invalid index of %s type\n", type_name_of(index).get());
	uint32_t element = ~0u;
	if (flags & Compiler::TypeRuntimeArray) element = element_type(compiler, type);
	else if (flags & Compiler::TypeMatrixMask) element = compiler.add_type(flags & ~uint32_t(Compiler::TypeMatrixMask | Compiler::TypeRowMajor));
	else if (flags & Compiler::TypeVectorMask) element = compiler.add_type((flags & (Compiler::TypeKindMask | Compiler::TypeWidthMask)) | Compiler::TypeScalar);
	if (element == ~0u) throwError("invalid index of %s type\n", type_name_of(id).get());
	Operand ret;
	if (const Value *value = compiler.constants.get(index)) {
		uint64_t position = value->get_u64(0);
		uint32_t count = (flags & Compiler::TypeRuntimeArray) ? compiler.get_target_length(id)
			: (flags & Compiler::TypeMatrixMask) ? Compiler::get_column_count(flags) : Compiler::get_vector_size(flags);
		if (position >= count) throwError("index %llu is out of bounds\n", static_cast<unsigned long long>(position));
		// of a constant, a constant
		if (const Value *whole = compiler.constants.get(id)) {
			uint32_t width = compiler.get_target_components(element);
			if (width != 0 && whole->count >= (position + 1) * width) {
				ret.id = compiler.add_constant(compiler.get_target_type_name(element), Value(*whole, uint32_t(position) * width, width));
				return ret;
			}
		}
		ret.id = compiler.next_id++;
		compiler.add_function_opcode(function, OpCompositeExtract, {element, ret.id, id, uint32_t(position)});
		compiler.add_target(ret.id, element);
		return ret;
	}
	if ((flags & Compiler::TypeVectorMask) && !(flags & (Compiler::TypeMatrixMask | Compiler::TypeRuntimeArray))) {
		ret.id = result_id(element);
		compiler.add_function_opcode(function, OpVectorExtractDynamic, {element, ret.id, id, index});
		return ret;
	}
	// a value indexed at run time goes through memory
	uint32_t temporary = local_variable(type, compiler.get_target_length(id));
	store(temporary, id);
	uint32_t pointer = compiler.next_id++;
	compiler.add_function_opcode(function, OpAccessChain, {compiler.add_pointer_type(element, ~0u, Spirv::StorageFunction), pointer, temporary, index});
	compiler.add_target(pointer, element);
	ret.id = load(pointer);
	return ret;
}

} // namespace Expressions

uint32_t Compiler::parse_variable(const char **cursor, const String &name, Function &function, Scope *scope, bool write, bool *pointer) {
	uint32_t index = find_variable(name, scope);
	if (index == ~0u) throwError("unknown variable %s\n", name.get());
	const char *s = *cursor;

	// the base and what it holds
	Variable *variable = &variables[index];
	bool by_value = !write && variable->parameter != ~0u && variable->structure == ~0u;
	uint32_t base = variable->id;
	uint32_t storage = variable->storage;
	uint32_t type = get_target_type(variable->id);
	uint32_t length = variable->length;
	WordStack<16> indices;
	bool constant_indices = true;
	// whether what is reached is a bool member, held as an integer
	bool held = variable->structure != ~0u && variable->held_bool;

	// a member of an anonymous block is reached through the block
	if (variable->structure != ~0u) {
		const Structure &structure = structures[variable->structure];
		if (structure.variable == ~0u) throwError("unknown interface block\n");
		uint32_t position = 0;
		while (position < structure.members.size() && structure.members[position] != index) position++;
		indices.append(add_constant("u32", position));
		const Variable &instance = variables[structure.variable];
		base = instance.id;
		storage = instance.storage;
	}
	if (write && variable->scope == &global_scope && storage == ~0u) throwError("can't write to global variable\n");
	if (write && variable->decorations.get(Spirv::DecorationConstant) != nullptr) throwError("can't write to constant \"%s\"\n", name.get());

	for (;;) {
		const char *p = Expressions::skip_spaces(s);
		uint32_t flags = get_target_flags(type);
		if (*p == '.' && Expressions::starts_name(p[1])) {
			String selector;
			const char *q = p + 1 + Parser::readName(p + 1, selector);
			if ((flags & TypeStructure) && !(flags & TypeRuntimeArray) && length == ~0u) {
				uint32_t structure_index = get_structure(type);
				const Structure &structure = structures[structure_index];
				const uint32_t *member = structure.scope.variables.get(selector);
				if (member == nullptr) throwError("can't find \"%s\" member in \"%s\" structure\n", selector.get(), structure.name.get());
				uint32_t position = 0;
				while (position < structure.members.size() && structure.members[position] != *member) position++;
				indices.append(add_constant("u32", position));
				const Variable &record = variables[*member];
				held = record.held_bool;
				type = get_target_type(record.id);
				length = record.length;
				s = q;
				continue;
			}
			if ((flags & TypeVectorMask) && !(flags & (TypeMatrixMask | TypeRuntimeArray)) && length == ~0u && selector.size() == 1) {
				uint32_t component = get_swizzle_index(selector[0]);
				if (component >= get_vector_size(flags)) throwError("invalid swizzle \"%s\" for %s\n", selector.get(), get_type_name(flags).get());
				indices.append(add_constant("u32", component));
				type = add_type((flags & (TypeKindMask | TypeWidthMask)) | TypeScalar);
				s = q;
				continue;
			}
			if (write && length != ~0u && selector == "length") throwError("can't write to the length of \"%s\"\n", name.get());
			if (length != ~0u && length != 0 && selector == "length") {
				// the length of a sized array is a constant
				const char *r = Expressions::skip_spaces(q);
				String arguments;
				r += Parser::readRegion(r, arguments, '(', ')');
				if (*Expressions::skip_spaces(arguments.get()) != '\0') throwError("unknown array function %s(%s)\n", selector.get(), arguments.get());
				*cursor = r;
				if (pointer != nullptr) *pointer = false;
				return add_constant("i32", length);
			}
			if (length == 0 && selector == "length") {
				// the length of a runtime array: the last member of a buffer block
				const char *r = Expressions::skip_spaces(q);
				String arguments;
				r += Parser::readRegion(r, arguments, '(', ')');
				if (indices.size() == 0 || *Expressions::skip_spaces(arguments.get()) != '\0') throwError("unknown array function %s(%s)\n", selector.get(), arguments.get());
				const Value *member = constants.get(indices[indices.size() - 1]);
				// the array must end the block itself
				if (indices.size() > 1) throwError("length of nested runtime array \"%s\" is not supported\n", name.get());
				uint32_t block = base;
				uint32_t u32 = add_type("u32");
				uint32_t id = next_id++;
				add_function_opcode(function, Spirv::OpArrayLength, {u32, id, block, uint32_t(member->get_u64(0))});
				add_target(id, u32);
				uint32_t i32 = add_type("i32");
				uint32_t ret = add_unary_operation(function, Spirv::OpBitcast, i32, id);
				*cursor = r;
				if (pointer != nullptr) *pointer = false;
				return ret;
			}
			break;
		}
		if (*p == '[' && (length != ~0u || (flags & (TypeVectorMask | TypeMatrixMask)))) {
			String text;
			const char *q = p + Parser::readRegion(p, text, '[', ']');
			const char *t = text.get();
			uint32_t id = parse_expression(&t, String(), function, scope);
			if (*Expressions::skip_spaces(t) != '\0') throwError("unexpected \"%s\"\n", t);
			uint32_t index_flags = get_target_flags(id);
			if (!is_integer(index_flags) || !(index_flags & TypeScalar)) throwError("invalid index of %s type\n", get_target_type_name(id).get());
			if (const Value *value = constants.get(id)) {
				uint64_t bound = length != ~0u ? length : (flags & TypeMatrixMask) ? get_column_count(flags) : get_vector_size(flags);
				if (bound != 0 && value->get_u64(0) >= bound) throwError("index %llu is out of bounds\n", static_cast<unsigned long long>(value->get_u64(0)));
				// a runtime array has no bound, but no negative index either
				if (bound == 0 && (index_flags & TypeInt) && value->get_i64(0) < 0) {
					throwError("index %lld is out of bounds\n", static_cast<long long>(value->get_i64(0)));
				}
			} else {
				constant_indices = false;
			}
			indices.append(id);
			if (length != ~0u) {
				type = element_type(*this, get_target_type(type) == type ? add_type(get_target_type_name(type), length, &global_scope) : type);
				if (type == ~0u) type = get_target_type(add_type(get_target_type_name(variable->id), length, &global_scope));
				length = ~0u;
			} else if (flags & TypeMatrixMask) {
				type = add_type(flags & ~uint32_t(TypeMatrixMask | TypeRowMajor));
			} else {
				type = add_type((flags & (TypeKindMask | TypeWidthMask)) | TypeScalar);
			}
			s = q;
			continue;
		}
		break;
	}
	*cursor = s;

	// buffers that can't be written or read
	if (storage == Spirv::StorageStorageBuffer || storage == Spirv::StorageUniform) {
		const Variable &holder = variables[records.get(base) ? *records.get(base) : index];
		if (write && holder.decorations.get(Spirv::DecorationNonWritable)) throwError("can't write to readonly buffer\n");
		if (!write && holder.decorations.get(Spirv::DecorationNonReadable)) throwError("can't read from writeonly buffer\n");
	}
	// hit attributes are written by intersection shaders alone, task payloads by task shaders
	if (write && storage == Spirv::StorageHitAttribute && execution_model != Spirv::ModelIntersection) throwError("can't write to \"%s\"\n", name.get());
	if (write && storage == Spirv::StorageTaskPayloadWorkgroup && execution_model == Spirv::ModelMesh) throwError("can't write to \"%s\"\n", name.get());
	if (write && (storage == Spirv::StorageUniform || storage == Spirv::StorageUniformConstant || storage == Spirv::StorageInput || storage == Spirv::StoragePushConstant)) {
		throwError("can't write to \"%s\"\n", name.get());
	}

	// a parameter passed by value becomes a variable of its own when it is
	// written or indexed at run time
	if (variable->parameter != ~0u && variable->structure == ~0u && (write || !constant_indices)) {
		by_value = false;
		Function &owner = functions[variable->function];
		for (uint32_t i = 0; i < owner.parameters.size(); i++) {
			Parameter &parameter = owner.parameters[i];
			if (parameter.variable != index) continue;
			if (parameter.copy == ~0u) {
				Scope *holder = variable->scope != nullptr ? variable->scope : &owner.scope;
				String original = variable->name;
				holder->variables.remove(original);
				variable->name = String::format("_a%u", index);
				uint32_t copy = add_variable(original, variable->type, variable->length, Spirv::StorageFunction, *holder);
				variable = &variables[index];
				Variable &local = variables[copy];
				local.function = variable->function;
				local.used = true;
				owner.locals.append(copy);
				add_target(local.id, get_target_type(variable->id), variable->length);
				parameter.copy = local.id;
			}
			base = parameter.copy;
			break;
		}
	}

	if (pointer != nullptr) *pointer = !by_value;
	if (indices.size() == 0) return base;
	if (by_value) {
		Array<uint32_t> literals;
		for (uint32_t i = 0; i < indices.size(); i++) {
			const Value *value = constants.get(indices[i]);
			if (value == nullptr) throwError("invalid composite constant");
			literals.append(uint32_t(value->get_u64(0)));
		}
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpCompositeExtract, {type, id, base}, literals);
		add_target(id, type, length);
		if (held) held_bools.insert(id);
		return id;
	}
	uint32_t id = next_id++;
	Array<uint32_t> chain;
	bool non_uniform = false;
	bool dynamic = false;
	for (uint32_t i = 0; i < indices.size(); i++) {
		chain.append(indices[i]);
		non_uniform = non_uniform || is_non_uniform(indices[i]);
		dynamic = dynamic || constants.get(indices[i]) == nullptr;
	}
	add_function_opcode(function, Spirv::OpAccessChain, {add_pointer_type(type, length, storage), id, base}, chain);
	add_target(id, type, length);
	if (held) held_bools.insert(id);
	uint32_t flags = get_target_flags(type);
	bool texel_buffer = storage == Spirv::StorageUniformConstant && (flags & TypeImageBuffer) != 0;
	bool storage_image = storage == Spirv::StorageUniformConstant && !(flags & TypeTexture) && !(flags & TypeSampled);
	// texel buffers indexed at run time need capabilities of their own
	if (dynamic && texel_buffer) capabilities.insert(storage_image ? 5305u : 5304u); // StorageTexelBuffer / UniformTexelBuffer ArrayDynamicIndexing
	if (non_uniform) {
		// the resource reached by an index that differs between invocations:
		// the pointer, and what is loaded through it, say so
		set_non_uniform(id);
		if (storage == Spirv::StorageUniformConstant) {
			if (storage_image) capabilities.insert(texel_buffer ? 5312u : 5309u); // StorageTexelBuffer / StorageImage ArrayNonUniformIndexing
			else capabilities.insert(texel_buffer ? 5311u : 5307u);              // UniformTexelBuffer / SampledImage ArrayNonUniformIndexing
		} else if (storage == Spirv::StorageUniform) {
			capabilities.insert(Spirv::CapabilityUniformBufferArrayNonUniformIndexing);
		} else if (storage == Spirv::StorageStorageBuffer) {
			capabilities.insert(Spirv::CapabilityStorageBufferArrayNonUniformIndexing);
		}
	}
	return id;
}

// decoration 5300 NonUniform
bool Compiler::is_non_uniform(uint32_t id) const {
	const Map<uint32_t, uint32_t> *list = decorations.get(id);
	return list != nullptr && list->get(5300u) != nullptr;
}

void Compiler::set_non_uniform(uint32_t id) {
	Map<uint32_t, uint32_t> *list = decorations.get(id);
	if (list == nullptr) list = &decorations.insert(id, Map<uint32_t, uint32_t>())->value;
	if (list->get(5300u) == nullptr) list->insert(5300u, ~0u);
	capabilities.insert(Spirv::CapabilityShaderNonUniform);
}

void Compiler::check_write(uint32_t index) {
	if (index >= variables.size()) return;
	const Variable &variable = variables[index];
	if (variable.decorations.get(Spirv::DecorationConstant) != nullptr) throwError("can't write to constant \"%s\"\n", variable.name.get());
	// a member of an anonymous block is written through the block
	const Variable *holder = &variable;
	if (variable.structure != ~0u && structures[variable.structure].variable != ~0u) holder = &variables[structures[variable.structure].variable];
	uint32_t storage = holder->storage;
	if (storage == ~0u && variable.scope == &global_scope) throwError("can't write to global variable\n");
	if (storage == Spirv::StorageUniform || storage == Spirv::StorageUniformConstant || storage == Spirv::StorageInput || storage == Spirv::StoragePushConstant) {
		throwError("can't write to \"%s\"\n", variable.name.get());
	}
	if (holder->decorations.get(Spirv::DecorationNonWritable) != nullptr) throwError("can't write to readonly buffer\n");
	// hit attributes are written by intersection shaders alone, task payloads by task shaders
	if (storage == Spirv::StorageHitAttribute && execution_model != Spirv::ModelIntersection) throwError("can't write to \"%s\"\n", variable.name.get());
	if (storage == Spirv::StorageTaskPayloadWorkgroup && execution_model == Spirv::ModelMesh) throwError("can't write to \"%s\"\n", variable.name.get());
}

uint32_t Compiler::parse_assignment(const char **cursor, const String &name, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	Expressions::ExpressionParser parser(*this, s, function, scope);
	uint32_t target = parse_variable(&s, name, function, scope, true);
	uint32_t type = get_target_type(target);
	uint32_t flags = get_target_flags(type);

	// a write mask
	Array<uint32_t> mask;
	const char *p = Expressions::skip_spaces(s);
	if (*p == '.' && Expressions::starts_name(p[1])) {
		String letters;
		s = p + 1 + Parser::readName(p + 1, letters);
		uint32_t size = (flags & TypeVectorMask) && !(flags & TypeMatrixMask) ? get_vector_size(flags) : 0;
		for (uint32_t i = 0; i < letters.size(); i++) {
			uint32_t component = get_swizzle_index(letters[i]);
			if (component >= size) throwError("invalid swizzle \"%s\" for %s\n", letters.get(), get_target_type_name(type).get());
			for (uint32_t j = 0; j < mask.size(); j++) {
				if (mask[j] == component) throwError("invalid swizzle \"%s\" for %s\n", letters.get(), get_target_type_name(type).get());
			}
			mask.append(component);
		}
		if (mask.size() < 1 || mask.size() > 4) throwError("invalid swizzle size %u\n", mask.size());
		// a swizzle of the swizzle picks among its components
		for (p = Expressions::skip_spaces(s); *p == '.' && Expressions::starts_name(p[1]); p = Expressions::skip_spaces(s)) {
			s = p + 1 + Parser::readName(p + 1, letters);
			Array<uint32_t> picked;
			for (uint32_t i = 0; i < letters.size(); i++) {
				uint32_t component = get_swizzle_index(letters[i]);
				if (component >= mask.size()) throwError("invalid swizzle \"%s\" for %s\n", letters.get(), get_target_type_name(type).get());
				for (uint32_t j = 0; j < picked.size(); j++) {
					if (picked[j] == mask[component]) throwError("invalid swizzle \"%s\" for %s\n", letters.get(), get_target_type_name(type).get());
				}
				picked.append(mask[component]);
			}
			if (picked.size() < 1 || picked.size() > 4) throwError("invalid swizzle size %u\n", picked.size());
			mask = picked;
		}
	}
	uint32_t value_type = type;
	if (mask.size()) {
		uint32_t base = flags & (TypeKindMask | TypeWidthMask);
		value_type = add_type(mask.size() == 1 ? base | TypeScalar
			: base | (mask.size() == 2 ? TypeVector2 : mask.size() == 3 ? TypeVector3 : TypeVector4));
	}
	uint32_t value_flags = get_target_flags(value_type);

	// the operator
	p = Expressions::skip_spaces(s);
	static const struct {
		const char *text;
		Expressions::Kind kind;
	} operators[] = {{"<<=", Expressions::ShiftLeft}, {">>=", Expressions::ShiftRight}, {"++", Expressions::Add}, {"--", Expressions::Sub},
		{"*=", Expressions::Mul}, {"/=", Expressions::Div}, {"%=", Expressions::Mod}, {"+=", Expressions::Add}, {"-=", Expressions::Sub},
		{"&=", Expressions::BitwiseAnd}, {"^=", Expressions::BitwiseXor}, {"|=", Expressions::BitwiseOr}, {"=", Expressions::Assign}};
	Expressions::Kind op = Expressions::Unknown;
	bool step = false;
	for (const auto &row : operators) {
		size_t length = strlen(row.text);
		if (strncmp(p, row.text, length) == 0 && !(length == 1 && p[1] == '=')) {
			op = row.kind;
			step = (row.text[0] == row.text[1] && (row.text[0] == '+' || row.text[0] == '-'));
			s = p + length;
			break;
		}
	}
	if (op == Expressions::Unknown) throwError("expression statements other than assignments, increments and calls are not supported\n");

	// the right side
	Expressions::Operand right;
	if (step) {
		if (!(value_flags & (TypeFloat | TypeUint | TypeInt)) || (value_flags & (TypeBool | TypeStructure | TypeRuntimeArray))) throwError("unknown operator\n");
		right.text = (value_flags & TypeFloat) ? String("1.0") : String("1");
	} else {
		right = parser.parse_assignment();
		const char *q = Expressions::skip_spaces(s);
		if (*q != '\0' && *q != ';' && *q != ',') throwError("unexpected \"%s\"\n", String(q).substr(0, 32).get());
	}

	uint32_t value = ~0u;
	if (op == Expressions::Assign) {
		value = parser.fit(parser.resolve(right, get_target_type_name(value_type)), value_type);
	} else {
		Expressions::Operand old;
		old.id = parser.load(target);
		if (mask.size()) old.id = add_shuffle(function, value_type, old.id, mask);
		if ((value_flags & TypeFloat) && op == Expressions::Mul) {
			// a vector or matrix may be scaled, or transformed by a matrix
			Expressions::Operand result = parser.binary(op, old, right);
			value = parser.fit(result.id, value_type);
		} else {
			Expressions::Operand result = parser.binary(op, old, right);
			value = parser.fit(parser.resolve(result, get_target_type_name(value_type)), value_type);
		}
	}
	parser.write(target, mask, value);
	*cursor = s;
	return target;
}

uint32_t Compiler::parse_type_constructor(const char *arguments, const String &type, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	// an array: its elements, each made of the element type
	uint32_t open = type.find('[');
	if (open != ~0u) {
		String element = type.substr(0, open);
		uint32_t element_id = add_type(element, ~0u, &global_scope);
		Array<uint32_t> parts;
		const char *s = arguments;
		while (*Expressions::skip_spaces(s) != '\0') {
			parts.append(parse_expression(&s, element, function, scope));
			if (get_target_type(parts.back()) != element_id) throwError("can't convert %s to %s\n", get_target_type_name(parts.back()).get(), element.get());
			s = Expressions::skip_spaces(s);
			if (*s == ',') s++;
			else if (*s != '\0') throwError("unexpected \"%s\"\n", s);
		}
		String size = type.substr(open + 1, type.size() - open - 2);
		if (parts.size() == 0) throwError("not enough arguments for %s\n", type.get());
		if (!size.empty()) {
			Value length;
			parse_constant_expression(length, size.get(), scope, false);
			if (length.get_u64(0) != parts.size()) throwError("%s arguments for %s\n", length.get_u64(0) < parts.size() ? "too many" : "not enough", type.get());
		}
		uint32_t array = add_type(element, parts.size(), &global_scope);
		// elements that are all constants make a constant, when a value holds them
		bool constant = (get_target_flags(element_id) & TypeStructure) == 0;
		Value value;
		for (uint32_t i = 0; i < parts.size() && constant; i++) {
			const Value *part = constants.get(parts[i]);
			constant = part != nullptr && value.append(*part);
		}
		if (constant) return add_constant(element + String::format("[%u]", parts.size()), value);
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpCompositeConstruct, {array, id}, parts);
		add_target(id, array, parts.size());
		return id;
	}

	uint32_t type_id = add_type(type, ~0u, &global_scope);
	uint32_t flags = get_target_flags(type_id);
	String name = get_type_name(flags);
	// a combined sampler of a texture and a sampler
	if ((flags & TypeSampled) && !(flags & TypeStructure)) {
		Array<Expressions::Operand> operands = Expressions::parse_arguments(*this, arguments, function, scope);
		if (operands.size() != 2 || operands[0].id == ~0u || operands[1].id == ~0u) throwError("can't construct %s\n", type.get());
		return add_combined_sampler(type, operands[0], operands[0].id, operands[1].id, function);
	}
	// resources are made of a texture and a sampler, or of nothing
	if (!(flags & TypeKindMask) || (flags & (TypeOpaqueMask | TypeStructure))) {
		throwError("can't construct %s\n", name.get());
	}
	uint32_t components = get_type_components(flags);
	if (components == 0) components = 1;
	Array<uint32_t> parts;
	uint32_t total = 0;
	uint32_t kind = flags & (TypeKindMask | TypeWidthMask);
	const char *s = arguments;
	while (*Expressions::skip_spaces(s) != '\0') {
		uint32_t id = ~0u;
		if (kind == (TypeFloat | Type64)) {
			id = parse_double_argument(*this, s, function, scope);
		} else {
			id = parse_expression(&s, String(), function, scope);
		}
		uint32_t argument_flags = get_target_flags(id);
		if (argument_flags & (TypeStructure | TypeRuntimeArray) || !(argument_flags & TypeKindMask)) {
			throwError("can't convert %s to %s\n", get_target_type_name(id).get(), name.get());
		}
		total += get_target_components(id);
		// a matrix of another kind, or in a vector or scalar: its columns
		Array<uint32_t> pieces;
		if ((argument_flags & TypeMatrixMask) && (!(flags & TypeMatrixMask) || (argument_flags & (TypeKindMask | TypeWidthMask)) != kind)) {
			if (flags & TypeMatrixMask) throwError("can't convert %s to %s\n", get_target_type_name(id).get(), name.get());
			uint32_t column_type = add_type(argument_flags & ~uint32_t(TypeMatrixMask | TypeRowMajor));
			// a scalar takes the first component alone
			uint32_t needed = components == 1 ? 1 : get_column_count(argument_flags);
			for (uint32_t c = 0; c < needed; c++) {
				Array<uint32_t> index;
				index.append(c);
				pieces.append(add_shuffle(function, column_type, id, index));
			}
		} else {
			pieces.append(id);
		}
		for (uint32_t i = 0; i < pieces.size(); i++) {
			uint32_t piece = pieces[i];
			uint32_t piece_flags = get_target_flags(piece);
			if ((piece_flags & (TypeKindMask | TypeWidthMask)) != kind) piece = add_conversion(function, (piece_flags & ~(TypeKindMask | TypeWidthMask)) | kind, piece);
			parts.append(piece);
		}
		s = Expressions::skip_spaces(s);
		if (*s == ',') s++;
		else if (*s != '\0') throwError("unexpected \"%s\"\n", s);
	}
	if (parts.size() == 0 || total == 0) throwError("not enough arguments for %s\n", name.get());

	bool matrix = (flags & TypeMatrixMask) != 0;
	uint32_t rows = get_vector_size(flags);
	uint32_t columns = get_column_count(flags);
	uint32_t column_type = matrix ? add_type(flags & ~uint32_t(TypeMatrixMask | TypeRowMajor)) : ~0u;
	auto all_constant = [&]() {
		for (uint32_t i = 0; i < parts.size(); i++) {
			if (constants.get(parts[i]) == nullptr) return false;
		}
		return true;
	};
	// a value of type made of list: a constant when every part is one
	auto make_composite = [&](uint32_t type, const Array<uint32_t> &list) {
		bool constant = true;
		for (uint32_t i = 0; i < list.size() && constant; i++) constant = constants.get(list[i]) != nullptr;
		if (constant) {
			Value value;
			for (uint32_t i = 0; i < list.size(); i++) value.append(*constants.get(list[i]));
			return add_constant(get_target_type_name(type), value);
		}
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpCompositeConstruct, {type, id}, list);
		add_target(id, type);
		return id;
	};

	if (parts.size() == 1) {
		uint32_t argument = parts[0];
		uint32_t argument_flags = get_target_flags(argument);
		uint32_t count = get_target_components(argument);
		if (matrix && (argument_flags & TypeMatrixMask)) {
			// a matrix from a matrix: the overlap copied, the identity elsewhere
			uint32_t argument_rows = get_vector_size(argument_flags);
			uint32_t argument_columns = get_column_count(argument_flags);
			uint32_t argument_column_type = add_type(argument_flags & ~uint32_t(TypeMatrixMask | TypeRowMajor));
			Array<uint32_t> parts_of_columns;
			uint32_t scalar_type = add_type(kind | TypeScalar);
			Value one_value(kind | TypeScalar, 1);
			one_value.set_f64(0, 1.0);
			uint32_t zero = add_constant(get_type_name(kind | TypeScalar), 0);
			uint32_t one = add_constant(get_type_name(kind | TypeScalar), one_value);
			for (uint32_t c = 0; c < columns; c++) {
				Array<uint32_t> elements;
				uint32_t column = ~0u;
				if (c < argument_columns) {
					Array<uint32_t> index;
					index.append(c);
					column = add_shuffle(function, argument_column_type, argument, index);
				}
				for (uint32_t r = 0; r < rows; r++) {
					if (c < argument_columns && r < argument_rows) {
						Array<uint32_t> index;
						index.append(r);
						elements.append(add_shuffle(function, scalar_type, column, index));
					} else {
						elements.append(r == c ? one : zero);
					}
				}
				parts_of_columns.append(make_composite(column_type, elements));
			}
			return make_composite(type_id, parts_of_columns);
		}
		if (matrix && count == 1) {
			// a scalar on the diagonal
			Array<uint32_t> columns_list;
			uint32_t zero = add_constant(get_type_name(kind | TypeScalar), 0);
			for (uint32_t c = 0; c < columns; c++) {
				Array<uint32_t> elements;
				for (uint32_t r = 0; r < rows; r++) elements.append(r == c ? argument : zero);
				columns_list.append(make_composite(column_type, elements));
			}
			return make_composite(type_id, columns_list);
		}
		if (matrix && columns == 2 && (argument_flags & TypeVectorMask) && !(argument_flags & TypeMatrixMask) && get_vector_size(argument_flags) == 4 && rows == 2) {
			Array<uint32_t> first;
			first.append(0);
			first.append(1);
			Array<uint32_t> second;
			second.append(2);
			second.append(3);
			Array<uint32_t> list;
			list.append(add_shuffle(function, column_type, argument, first));
			list.append(add_shuffle(function, column_type, argument, second));
			parts = list;
		} else if (count > components && !matrix) {
			Array<uint32_t> indices;
			for (uint32_t i = 0; i < components; i++) indices.append(i);
			return add_shuffle(function, type_id, argument, indices);
		} else if (count == 1 && components > 1) {
			return add_splat(function, type_id, argument);
		} else if (count == components && !matrix) {
			return argument;
		} else if (!matrix || count != components) {
			throwError("invalid arguments for %s\n", type.get());
		}
	}

	if (total > components) throwError("too many arguments for %s\n", type.get());
	if (total < components) throwError("not enough arguments for %s\n", type.get());
	if (all_constant()) {
		Value value;
		for (uint32_t i = 0; i < parts.size(); i++) {
			if (!value.append(*constants.get(parts[i]))) throwError("too many arguments for %s\n", type.get());
		}
		value.flags = flags;
		return add_constant(name, value);
	}
	bool columns_given = true;
	for (uint32_t i = 0; i < parts.size() && columns_given; i++) columns_given = get_target_type(parts[i]) == column_type;
	if (!matrix || (columns_given && parts.size() == columns)) {
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpCompositeConstruct, {type_id, id}, parts);
		add_target(id, type_id);
		return id;
	}
	// a matrix from scalars and vectors: every column built of its components
	Array<uint32_t> scalars;
	uint32_t scalar_type = add_type(kind | TypeScalar);
	for (uint32_t i = 0; i < parts.size(); i++) {
		uint32_t part_flags = get_target_flags(parts[i]);
		uint32_t count = get_target_components(parts[i]);
		if (part_flags & TypeScalar) {
			scalars.append(parts[i]);
			continue;
		}
		if (part_flags & TypeMatrixMask) throwError("invalid arguments for %s\n", type.get());
		for (uint32_t j = 0; j < count; j++) {
			Array<uint32_t> index;
			index.append(j);
			scalars.append(add_shuffle(function, scalar_type, parts[i], index));
		}
	}
	Array<uint32_t> column_ids;
	for (uint32_t c = 0; c < columns; c++) {
		Array<uint32_t> elements;
		for (uint32_t r = 0; r < rows; r++) elements.append(scalars[c * rows + r]);
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpCompositeConstruct, {column_type, id}, elements);
		add_target(id, column_type);
		column_ids.append(id);
	}
	uint32_t id = next_id++;
	add_function_opcode(function, Spirv::OpCompositeConstruct, {type_id, id}, column_ids);
	add_target(id, type_id);
	return id;
}

uint32_t Compiler::parse_structure_constructor(const char *arguments, uint32_t type, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	const Structure &structure = structures[get_structure(type)];
	if (*Expressions::skip_spaces(arguments) == '\0') throwError("not enough arguments for %s\n", structure.name.get());
	Array<uint32_t> parts;
	const char *s = arguments;
	Expressions::ExpressionParser parser(*this, s, function, scope);
	while (*Expressions::skip_spaces(s) != '\0') {
		if (parts.size() >= structure.members.size()) throwError("too many arguments for %s\n", structure.name.get());
		const Variable &member = variables[structure.members[parts.size()]];
		uint32_t member_type = get_target_type(member.id);
		uint32_t member_flags = get_target_flags(member_type);
		uint32_t id = ~0u;
		if ((member_flags & (TypeKindMask | TypeWidthMask)) == (TypeFloat | Type64) && !(member_flags & (TypeStructure | TypeRuntimeArray)) && member.length == ~0u) {
			id = parse_double_argument(*this, s, function, scope);
		} else {
			id = parse_expression(&s, String(), function, scope);
		}
		if (get_target_type(id) != member_type) {
			try {
				id = parser.fit(id, member_type);
			} catch (const String &) {
				throwError("can't convert %s to \"%s\" member of %s\n", get_target_type_name(id).get(), member.name.get(), structure.name.get());
			}
		}
		parts.append(id);
		s = Expressions::skip_spaces(s);
		if (*s == ',') s++;
		else if (*s != '\0') throwError("unexpected \"%s\"\n", s);
	}
	if (parts.size() != structure.members.size()) throwError("not enough arguments for %s\n", structure.name.get());
	uint32_t id = next_id++;
	add_function_opcode(function, Spirv::OpCompositeConstruct, {type, id}, parts);
	add_target(id, type);
	return id;
}

} // namespace Vexa
