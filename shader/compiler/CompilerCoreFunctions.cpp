// Calls of the built-ins that map one to one onto core SPIR-V instructions:
// bit casts, mod, dot, the vector relations, bit-field operations,
// derivatives, outerProduct and transpose, combined samplers; and those of
// the task, mesh and ray-tracing stages and of ray queries.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

// the one-instruction built-ins and what their argument must be
enum Shape : uint8_t {
	FloatShape,   // float scalars or vectors
	IntegerShape, // int or uint scalars or vectors
	BoolVector,   // bool vectors
	AnyNumber,    // float, int or uint scalars or vectors
};

struct Relation {
	const char *name;
	uint16_t floating, signed_integer, unsigned_integer, boolean; // 0: none
};

const Relation relations[] = {
	{"equal", 180, 170, 170, 164},
	{"notEqual", 183, 171, 171, 165}, // a NaN is unequal to everything: unordered
	{"lessThan", 184, 177, 176, 0},
	{"greaterThan", 186, 173, 172, 0},
	{"lessThanEqual", 188, 179, 178, 0},
	{"greaterThanEqual", 190, 175, 174, 0},
};

struct Derivative {
	const char *name;
	uint16_t instruction;
	bool control; // needs DerivativeControl
};

const Derivative derivatives[] = {
	{"dFdx", 207, false},
	{"dFdy", 208, false},
	{"fwidth", 209, false},
	{"dFdxFine", 210, true},
	{"dFdyFine", 211, true},
	{"fwidthFine", 212, true},
	{"dFdxCoarse", 213, true},
	{"dFdyCoarse", 214, true},
	{"fwidthCoarse", 215, true},
};

struct BitCast {
	const char *name;
	uint32_t from_kind; // TypeFloat, or TypeInt | TypeUint
	uint32_t width;
	uint32_t to_kind;
};

// the ray query calls: instruction, argument count, result type (empty: none)
struct QueryRow {
	const char *name;
	uint8_t arguments;
	uint16_t instruction;
	const char *result;
};

const QueryRow query_rows[] = {
	{"rayQueryInitializeEXT", 8, 4473, ""},
	{"rayQueryTerminateEXT", 1, 4474, ""},
	{"rayQueryGenerateIntersectionEXT", 2, 4475, ""},
	{"rayQueryConfirmIntersectionEXT", 1, 4476, ""},
	{"rayQueryProceedEXT", 1, 4477, "b32"},
	{"rayQueryGetIntersectionTypeEXT", 2, 4479, "u32"},
	{"rayQueryGetRayTMinEXT", 1, 6016, "f32"},
	{"rayQueryGetRayFlagsEXT", 1, 6017, "u32"},
	{"rayQueryGetIntersectionTEXT", 2, 6018, "f32"},
	{"rayQueryGetIntersectionInstanceCustomIndexEXT", 2, 6019, "i32"},
	{"rayQueryGetIntersectionInstanceIdEXT", 2, 6020, "i32"},
	{"rayQueryGetIntersectionInstanceShaderBindingTableRecordOffsetEXT", 2, 6021, "u32"},
	{"rayQueryGetIntersectionGeometryIndexEXT", 2, 6022, "i32"},
	{"rayQueryGetIntersectionPrimitiveIndexEXT", 2, 6023, "i32"},
	{"rayQueryGetIntersectionBarycentricsEXT", 2, 6024, "f32v2"},
	{"rayQueryGetIntersectionFrontFaceEXT", 2, 6025, "b32"},
	{"rayQueryGetIntersectionCandidateAABBOpaqueEXT", 1, 6026, "b32"},
	{"rayQueryGetIntersectionObjectRayDirectionEXT", 2, 6027, "f32v3"},
	{"rayQueryGetIntersectionObjectRayOriginEXT", 2, 6028, "f32v3"},
	{"rayQueryGetWorldRayDirectionEXT", 1, 6029, "f32v3"},
	{"rayQueryGetWorldRayOriginEXT", 1, 6030, "f32v3"},
	{"rayQueryGetIntersectionObjectToWorldEXT", 2, 6031, "f32v3m4"},
	{"rayQueryGetIntersectionWorldToObjectEXT", 2, 6032, "f32v3m4"},
};

bool is_tracing_caller(uint32_t model) {
	return model == Spirv::ModelRayGeneration || model == Spirv::ModelClosestHit || model == Spirv::ModelMiss;
}

} // namespace

uint32_t Compiler::parse_remaining_function(const Array<Expressions::Operand> &operands, const Array<uint32_t> &given, const String &name,
	Function &function, Scope *scope, bool &matched) {
	using Expressions::ExpressionParser;
	const char *none = "";
	ExpressionParser parser(*this, none, function, scope);
	const uint32_t count = given.size();
	// the built-ins of floats take integers as GLSL converts them
	Array<uint32_t> arguments = given;
	static const char *const of_floats[] = {"dot", "floatBitsToInt", "floatBitsToUint", "isnan", "isinf", "outerProduct", "dFdx", "dFdy", "fwidth",
		"dFdxFine", "dFdyFine", "fwidthFine", "dFdxCoarse", "dFdyCoarse", "fwidthCoarse"};
	for (const char *float_name : of_floats) {
		if (name != float_name) continue;
		for (uint32_t i = 0; i < count; i++) {
			uint32_t flags = get_target_flags(arguments[i]);
			uint32_t kind = flags & TypeKindMask;
			if ((kind == TypeInt || kind == TypeUint) && (flags & Type32) && !(flags & (TypeStructure | TypeRuntimeArray | TypeMatrixMask))) {
				arguments[i] = parser.convert(arguments[i], (flags & ~uint32_t(TypeKindMask)) | TypeFloat);
			}
		}
	}
	const uint32_t m = execution_model;
	matched = true;
	auto unknown = [&]() { throwError("unknown internal function %s with %u arguments\n", name.get(), count); };
	auto numeric = [&](uint32_t id) {
		uint32_t flags = get_target_flags(id);
		return (flags & TypeKindMask) != 0 && !(flags & (TypeStructure | TypeRuntimeArray | TypeMatrixMask | TypeOpaqueMask));
	};
	auto kind_of = [&](uint32_t id) { return get_target_flags(id) & TypeKindMask; };
	auto emit = [&](uint32_t opcode, uint32_t type, std::initializer_list<uint32_t> list) {
		uint32_t id = next_id++;
		Array<uint32_t> extra;
		for (uint32_t word : list) extra.append(word);
		add_function_opcode(function, opcode, {type, id}, extra);
		add_target(id, type);
		return id;
	};
	// the type of the same shape with another kind (and width)
	auto shaped = [&](uint32_t id, uint32_t kind, uint32_t width) {
		uint32_t flags = get_target_flags(id);
		return add_type((flags & ~uint32_t(TypeKindMask | TypeWidthMask)) | kind | width);
	};
	// two arguments of one type: the one with more components gives it, a scalar is repeated
	auto pair = [&](uint32_t &a, uint32_t &b) {
		if (!numeric(a) || !numeric(b)) unknown();
		uint32_t widest = get_target_components(b) > get_target_components(a) ? b : a;
		uint32_t type = get_target_type(widest);
		a = parser.fit(a, type);
		b = parser.fit(b, type);
		return type;
	};

	// bit casts between floats and integers of one width
	static const BitCast casts[] = {
		{"floatBitsToInt", TypeFloat, Type32, TypeInt},
		{"floatBitsToUint", TypeFloat, Type32, TypeUint},
		{"intBitsToFloat", TypeInt, Type32, TypeFloat},
		{"uintBitsToFloat", TypeUint, Type32, TypeFloat},
		{"doubleBitsToInt64", TypeFloat, Type64, TypeInt},
		{"doubleBitsToUint64", TypeFloat, Type64, TypeUint},
		{"int64BitsToDouble", TypeInt, Type64, TypeFloat},
		{"uint64BitsToDouble", TypeUint, Type64, TypeFloat},
	};
	for (const BitCast &cast : casts) {
		if (name != cast.name) continue;
		if (count != 1 || !numeric(arguments[0]) || !(get_target_flags(arguments[0]) & cast.width)) unknown();
		uint32_t value = arguments[0];
		// an int where GLSL takes a uint, or the reverse, has the same bits
		if (cast.from_kind != TypeFloat) {
			if (kind_of(value) == TypeFloat) unknown();
			value = parser.convert(value, (get_target_flags(value) & ~uint32_t(TypeKindMask)) | cast.from_kind);
		} else if (kind_of(value) != TypeFloat) {
			unknown();
		}
		uint32_t type = shaped(value, cast.to_kind, cast.width);
		return add_unary_operation(function, Spirv::OpBitcast, type, value);
	}

	if (name == "mod") {
		if (count != 2) unknown();
		uint32_t a = arguments[0];
		uint32_t b = arguments[1];
		uint32_t type = pair(a, b);
		uint32_t kind = get_target_flags(type) & TypeKindMask;
		uint32_t opcode = kind == TypeFloat ? 141 : kind == TypeUint ? 137 : kind == TypeInt ? 139 : 0;
		if (opcode == 0) unknown();
		return add_binary_operation(function, opcode, type, a, b);
	}

	if (name == "dot") {
		if (count != 2) unknown();
		uint32_t a = arguments[0];
		uint32_t b = arguments[1];
		uint32_t type = pair(a, b);
		if ((get_target_flags(type) & TypeKindMask) != TypeFloat) unknown();
		// OpDot takes vectors: the product of scalars is their product
		if (get_target_components(a) == 1) return add_binary_operation(function, Spirv::OpFMul, type, a, b);
		uint32_t flags = get_target_flags(type);
		uint32_t scalar = add_type((flags & ~uint32_t(TypeVectorMask | TypeScalar)) | TypeScalar);
		const Value *x = constants.get(a);
		const Value *y = constants.get(b);
		if (x != nullptr && y != nullptr) {
			Value value = x->reduction(*y, Spirv::OpDot, 0);
			if (value.count > 0) return add_constant(get_target_type_name(scalar), value);
		}
		return emit(Spirv::OpDot, scalar, {a, b});
	}

	for (const Relation &relation : relations) {
		if (name != relation.name) continue;
		if (count != 2) unknown();
		uint32_t a = arguments[0];
		uint32_t b = arguments[1];
		uint32_t kind_a = kind_of(a);
		uint32_t type = ~0u;
		if (kind_a == TypeBool) {
			if (kind_of(b) != TypeBool || get_target_type(a) != get_target_type(b)) unknown();
			type = get_target_type(a);
		} else {
			type = pair(a, b);
		}
		uint32_t kind = get_target_flags(type) & TypeKindMask;
		uint32_t opcode = kind == TypeFloat ? relation.floating : kind == TypeInt ? relation.signed_integer : kind == TypeUint ? relation.unsigned_integer
			: relation.boolean;
		if (opcode == 0) unknown();
		return add_binary_operation(function, opcode, shaped(a, TypeBool, Type32), a, b);
	}

	if (name == "any" || name == "all" || name == "not") {
		if (count != 1 || kind_of(arguments[0]) != TypeBool || (get_target_flags(arguments[0]) & (TypeStructure | TypeRuntimeArray))) unknown();
		if (name == "not") return add_unary_operation(function, Spirv::OpLogicalNot, get_target_type(arguments[0]), arguments[0]);
		// of one bool, the bool itself
		if (get_target_components(arguments[0]) == 1) return arguments[0];
		if (const Value *value = constants.get(arguments[0])) {
			bool all = true;
			bool any = false;
			for (uint32_t i = 0; i < value->count; i++) {
				all = all && value->get_bool(i);
				any = any || value->get_bool(i);
			}
			return add_constant("b32", (name == "any" ? any : all) ? 1 : 0);
		}
		return emit(name == "any" ? Spirv::OpAny : Spirv::OpAll, add_type("b32"), {arguments[0]});
	}

	if (name == "isnan" || name == "isinf") {
		if (count != 1 || !numeric(arguments[0]) || kind_of(arguments[0]) != TypeFloat) unknown();
		// one bool for each component
		return emit(name == "isnan" ? 156 : 157, shaped(arguments[0], TypeBool, Type32), {arguments[0]});
	}

	if (name.startsWith("bitfield") || name == "bitCount") {
		auto integer = [&](uint32_t id) {
			if (!numeric(id) || (kind_of(id) != TypeInt && kind_of(id) != TypeUint) || !(get_target_flags(id) & Type32)) unknown();
		};
		auto scalar_int = [&](uint32_t id) {
			if (!numeric(id) || get_target_components(id) != 1 || kind_of(id) == TypeFloat || kind_of(id) == TypeBool) unknown();
			return parser.convert(id, TypeScalar | TypeInt | Type32);
		};
		if (name == "bitfieldInsert") {
			if (count != 4) unknown();
			integer(arguments[0]);
			uint32_t type = get_target_type(arguments[0]);
			uint32_t insert = parser.fit(arguments[1], type);
			return emit(Spirv::OpBitFieldInsert, type, {arguments[0], insert, scalar_int(arguments[2]), scalar_int(arguments[3])});
		}
		if (name == "bitfieldExtract") {
			if (count != 3) unknown();
			integer(arguments[0]);
			uint32_t type = get_target_type(arguments[0]);
			return emit(kind_of(arguments[0]) == TypeInt ? 202 : 203, type, {arguments[0], scalar_int(arguments[1]), scalar_int(arguments[2])});
		}
		if (count != 1) unknown();
		integer(arguments[0]);
		if (name == "bitfieldReverse") return emit(Spirv::OpBitReverse, get_target_type(arguments[0]), {arguments[0]});
		if (name == "bitCount") return emit(Spirv::OpBitCount, shaped(arguments[0], TypeInt, Type32), {arguments[0]});
		unknown();
	}

	for (const Derivative &derivative : derivatives) {
		if (name != derivative.name) continue;
		if (count != 1 || !numeric(arguments[0]) || kind_of(arguments[0]) != TypeFloat || !(get_target_flags(arguments[0]) & Type32)) unknown();
		// derivatives need the neighbours of a fragment
		if (m != Spirv::ModelFragment) throwError("%s function is not valid in this stage\n", name.get());
		if (derivative.control) capabilities.insert(Spirv::CapabilityDerivativeControl);
		return emit(derivative.instruction, get_target_type(arguments[0]), {arguments[0]});
	}

	if (name == "outerProduct") {
		if (count != 2) unknown();
		uint32_t c = arguments[0];
		uint32_t r = arguments[1];
		if (!numeric(c) || !numeric(r) || kind_of(c) != TypeFloat || kind_of(r) != TypeFloat || get_target_components(c) < 2 ||
			get_target_components(r) < 2) {
			unknown();
		}
		// of a float and a double vector, a double matrix
		uint32_t width = ((get_target_flags(c) | get_target_flags(r)) & Type64) ? Type64 : (get_target_flags(c) & TypeWidthMask);
		c = parser.convert(c, (get_target_flags(c) & ~uint32_t(TypeWidthMask)) | width);
		r = parser.convert(r, (get_target_flags(r) & ~uint32_t(TypeWidthMask)) | width);
		uint32_t columns = get_target_components(r);
		uint32_t type = add_type(get_target_flags(c) | ((columns - 1) << 11));
		return emit(Spirv::OpOuterProduct, type, {c, r});
	}

	if (name == "transpose") {
		uint32_t flags = count == 1 ? get_target_flags(arguments[0]) : 0;
		if (count != 1 || !(flags & TypeMatrixMask) || (flags & (TypeStructure | TypeRuntimeArray))) unknown();
		uint32_t rows = get_vector_size(flags);
		uint32_t columns = get_column_count(flags);
		uint32_t type = add_type((flags & ~uint32_t(TypeVectorMask | TypeMatrixMask)) | ((columns - 1) << 9) | ((rows - 1) << 11));
		return emit(Spirv::OpTranspose, type, {arguments[0]});
	}

	// a combined sampler of a texture and a sampler
	if (name.startsWith("sampler")) {
		if (count != 2) unknown();
		return add_combined_sampler(name, operands[0], arguments[0], arguments[1], function);
	}

	if (name == "accelerationStructureEXT") {
		if (count != 1 || !numeric(arguments[0])) unknown();
		uint32_t flags = get_target_flags(arguments[0]);
		uint32_t value = arguments[0];
		// a 64-bit address, or two 32-bit words of one
		bool address = (flags & Type64) && get_target_components(value) == 1 && kind_of(value) == TypeUint;
		bool words = (flags & Type32) && get_target_components(value) == 2 && kind_of(value) == TypeUint;
		if (!address && !words) unknown();
		return emit(Spirv::OpConvertUToAccelerationStructure, add_type("accelerationStructure"), {value});
	}

	// task and mesh output
	if (name == "EmitMeshTasksEXT" || name == "SetMeshOutputsEXT") {
		bool task = name == "EmitMeshTasksEXT";
		if (count != (task ? 3u : 2u) || m != (task ? 5364u : 5365u)) unknown();
		Array<uint32_t> words;
		for (uint32_t i = 0; i < count; i++) {
			if (!numeric(arguments[i]) || get_target_components(arguments[i]) != 1 || kind_of(arguments[i]) == TypeFloat) unknown();
			words.append(parser.convert(arguments[i], TypeScalar | TypeUint | Type32));
		}
		if (task) {
			// the payload the mesh shaders receive
			for (auto it = global_scope.variables.begin(); it; ++it) {
				const Variable &variable = variables[it->value];
				if (variable.storage == Spirv::StorageTaskPayloadWorkgroup && variable.structure == ~0u) {
					words.append(variable.id);
					break;
				}
			}
		}
		add_function_opcode(function, task ? 5294 : 5295, {}, words);
		return ~0u;
	}

	// ray tracing: the payload and callable data are variables named by their location
	auto located = [&](uint32_t argument, uint32_t storage, uint32_t incoming) {
		const Value *value = constants.get(argument);
		uint32_t location_flags = get_target_flags(argument);
		if (value == nullptr || get_target_components(argument) != 1 || !(location_flags & (TypeInt | TypeUint))) throwError("unknown reference for %s\n", name.get());
		uint32_t location = uint32_t(value->get_u64(0));
		// every record: an anonymous block's is found by no name
		uint32_t found = ~0u;
		for (uint32_t i = 0; i < variables.size(); i++) {
			const Variable &variable = variables[i];
			const uint32_t *decoration = variable.decorations.get(Spirv::DecorationLocation);
			if ((variable.storage == storage || variable.storage == incoming) && variable.structure == ~0u && decoration != nullptr && *decoration == location) {
				if (found != ~0u) throwError("two variables at location %u for %s\n", location, name.get());
				found = i;
			}
		}
		if (found == ~0u) throwError("unknown reference for %s\n", name.get());
		variables[found].used = true;
		return variables[found].id;
	};
	auto as_uint = [&](uint32_t id) {
		if (!numeric(id) || get_target_components(id) != 1 || kind_of(id) == TypeFloat) unknown();
		return parser.convert(id, TypeScalar | TypeUint | Type32);
	};
	auto as_float = [&](uint32_t id, uint32_t components) {
		if (!numeric(id) || get_target_components(id) != components) unknown();
		return parser.convert(id, (get_target_flags(id) & ~uint32_t(TypeKindMask | TypeWidthMask)) | TypeFloat | Type32);
	};
	if (name == "traceRayEXT") {
		if (count != 11 || !is_tracing_caller(m)) unknown();
		if (!(get_target_flags(arguments[0]) & TypeAccelerationStructure)) unknown();
		Array<uint32_t> words;
		words.append(arguments[0]);
		for (uint32_t i = 1; i <= 5; i++) words.append(as_uint(arguments[i]));
		words.append(as_float(arguments[6], 3));
		words.append(as_float(arguments[7], 1));
		words.append(as_float(arguments[8], 3));
		words.append(as_float(arguments[9], 1));
		words.append(located(arguments[10], Spirv::StorageRayPayload, 5342));
		add_function_opcode(function, Spirv::OpTraceRay, {}, words);
		return ~0u;
	}
	if (name == "executeCallableEXT") {
		// callable shaders call others too
		if (count != 2 || !(is_tracing_caller(m) || m == Spirv::ModelCallable)) unknown();
		add_function_opcode(function, Spirv::OpExecuteCallable, {as_uint(arguments[0]), located(arguments[1], Spirv::StorageCallableData, Spirv::StorageIncomingCallableData)});
		return ~0u;
	}
	if (name == "ignoreIntersectionEXT" || name == "terminateRayEXT") {
		if (count != 0 || m != Spirv::ModelAnyHit) unknown();
		add_function_opcode(function, name == "ignoreIntersectionEXT" ? 4448 : 4449, {});
		return ~0u;
	}
	if (name == "reportIntersectionEXT") {
		if (count != 2 || m != Spirv::ModelIntersection) unknown();
		return emit(Spirv::OpReportIntersection, add_type("b32"), {as_float(arguments[0], 1), as_uint(arguments[1])});
	}

	// ray queries: the query object first
	for (const QueryRow &row : query_rows) {
		if (name != row.name) continue;
		if (count != row.arguments) unknown();
		const Expressions::Operand &query = operands[0];
		if (query.pointer == ~0u || !(get_target_flags(arguments[0]) & TypeRayQuery)) throwError("first argument of %s is not a ray query\n", name.get());
		capabilities.insert(Spirv::CapabilityRayQuery);
		Array<uint32_t> words;
		words.append(query.pointer);
		if (row.instruction == Spirv::OpRayQueryInitialize) {
			if (!(get_target_flags(arguments[1]) & TypeAccelerationStructure)) unknown();
			words.append(arguments[1]);
			words.append(as_uint(arguments[2]));
			words.append(as_uint(arguments[3]));
			words.append(as_float(arguments[4], 3));
			words.append(as_float(arguments[5], 1));
			words.append(as_float(arguments[6], 3));
			words.append(as_float(arguments[7], 1));
		} else if (row.instruction == Spirv::OpRayQueryGenerateIntersection) {
			words.append(as_float(arguments[1], 1));
		} else if (count == 2) {
			// candidate (false) or committed (true): a constant
			const Value *value = constants.get(arguments[1]);
			if (value == nullptr || kind_of(arguments[1]) != TypeBool || get_target_components(arguments[1]) != 1) {
				throwError("invalid committed argument of %s function\n", name.get());
			}
			words.append(add_constant("i32", value->get_u64(0) != 0 ? 1u : 0u));
		}
		if (row.result[0] == '\0') {
			add_function_opcode(function, row.instruction, {}, words);
			return ~0u;
		}
		uint32_t type = add_type(row.result);
		uint32_t id = next_id++;
		add_function_opcode(function, row.instruction, {type, id}, words);
		add_target(id, type);
		return id;
	}

	matched = false;
	return ~0u;
}

} // namespace Vexa

namespace Vexa {

uint32_t Compiler::add_combined_sampler(const String &name, const Expressions::Operand &texture_operand, uint32_t texture, uint32_t sampler,
	Function &function) {
	auto unknown = [&]() { throwError("unknown internal function %s with %u arguments\n", name.get(), 2u); };
	uint32_t texture_flags = get_target_flags(texture);
	if (!(texture_flags & TypeTexture) || (texture_flags & TypeSampled) || !(get_target_flags(sampler) & TypeSampler)) unknown();
	if (texture_operand.variable == ~0u) unknown();
	const String *glsl = glsl_types.get(name);
	const String internal_name = glsl != nullptr ? *glsl : name;
	const String *internal = &internal_name;
	if (!internal->startsWith("sampler")) unknown();
	// the texture's own image type (its kind too); the call adds no more
	// than the depth compare
	String texture_name = variables[texture_operand.variable].type;
	auto without_shadow = [](const String &text) {
		uint32_t at = text.find("Shadow");
		return at == ~0u ? text : text.substr(0, at) + text.substr(at + 6);
	};
	bool shadow = internal->find("Shadow") != ~0u;
	if (!texture_name.startsWith("texture") || String("texture") + without_shadow(*internal).substr(7) != without_shadow(texture_name)) unknown();
	uint32_t type = add_type(String("sampler") + texture_name.substr(7));
	uint32_t id = next_id++;
	add_function_opcode(function, Spirv::OpSampledImage, {type, id, texture, sampler});
	set_target(id, type, get_target_flags(type) | (shadow ? uint32_t(TypeImageShadow) : 0u), ~0u);
	if (is_non_uniform(texture) || is_non_uniform(sampler)) set_non_uniform(id);
	return id;
}

} // namespace Vexa
