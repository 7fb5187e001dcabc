// Calls of the built-ins that synchronise or share work: geometry vertex and
// primitive emission, control and memory barriers, memory and image atomics,
// and the subgroup operations (the GL_KHR_shader_subgroup family and the
// older ballot family). Each call declares the capabilities it needs.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cstdlib>
#include <cstring>

namespace Vexa {

namespace {

bool is_compute_like(uint32_t model) {
	return model == Spirv::ModelGLCompute || model == Spirv::ModelTask || model == Spirv::ModelMesh;
}

// the memory and image atomics: the operation after "atomic" or
// "imageAtomic", the argument counts of the image and memory forms (0: no
// such form), and the instruction for int (and for uint where it differs)
struct AtomicRow {
	const char *operation;
	uint8_t image_arguments;
	uint8_t memory_arguments;
	uint16_t instruction;
	uint16_t unsigned_instruction;
};

const AtomicRow atomic_rows[] = {
	{"Load", 0, 1, 227, 227},
	{"Store", 0, 2, 228, 228},
	{"Exchange", 3, 2, 229, 229},
	{"CompSwap", 4, 3, 230, 230},
	{"Increment", 2, 1, 232, 232},
	{"Decrement", 2, 1, 233, 233},
	{"Add", 3, 2, 234, 234},
	{"Sub", 3, 2, 235, 235},
	{"Min", 3, 2, 236, 237},
	{"Max", 3, 2, 238, 239},
	{"And", 3, 2, 240, 240},
	{"Or", 3, 2, 241, 241},
	{"Xor", 3, 2, 242, 242},
};

// subgroup calls of their own instruction
struct SubgroupRow {
	const char *name;
	uint8_t arguments;
	uint16_t instruction;
	uint16_t capability;
	enum Result : uint8_t { Bool, Value, Ballot, Uint } result;
	int8_t operation; // a group operation or quad direction word after the scope, -1 for none
};

const SubgroupRow subgroup_rows[] = {
	{"subgroupElect", 0, 333, 61, SubgroupRow::Bool, -1},
	{"subgroupAll", 1, 334, 62, SubgroupRow::Bool, -1},
	{"subgroupAny", 1, 335, 62, SubgroupRow::Bool, -1},
	{"subgroupAllEqual", 1, 336, 62, SubgroupRow::Bool, -1},
	{"subgroupBroadcast", 2, 337, 64, SubgroupRow::Value, -1},
	{"subgroupBroadcastFirst", 1, 338, 64, SubgroupRow::Value, -1},
	{"subgroupBallot", 1, 339, 64, SubgroupRow::Ballot, -1},
	{"subgroupInverseBallot", 1, 340, 64, SubgroupRow::Bool, -1},
	{"subgroupBallotBitExtract", 2, 341, 64, SubgroupRow::Bool, -1},
	{"subgroupBallotBitCount", 1, 342, 64, SubgroupRow::Uint, 0},
	{"subgroupBallotInclusiveBitCount", 1, 342, 64, SubgroupRow::Uint, 1},
	{"subgroupBallotExclusiveBitCount", 1, 342, 64, SubgroupRow::Uint, 2},
	{"subgroupBallotFindLSB", 1, 343, 64, SubgroupRow::Uint, -1},
	{"subgroupBallotFindMSB", 1, 344, 64, SubgroupRow::Uint, -1},
	{"subgroupShuffle", 2, 345, 65, SubgroupRow::Value, -1},
	{"subgroupShuffleXor", 2, 346, 65, SubgroupRow::Value, -1},
	{"subgroupShuffleUp", 2, 347, 66, SubgroupRow::Value, -1},
	{"subgroupShuffleDown", 2, 348, 66, SubgroupRow::Value, -1},
	{"subgroupQuadBroadcast", 2, 365, 68, SubgroupRow::Value, -1},
	{"subgroupQuadSwapHorizontal", 1, 366, 68, SubgroupRow::Value, 0},
	{"subgroupQuadSwapVertical", 1, 366, 68, SubgroupRow::Value, 1},
	{"subgroupQuadSwapDiagonal", 1, 366, 68, SubgroupRow::Value, 2},
};

// the scans and reductions: the prefix fixes the group operation
struct GroupPrefix {
	const char *prefix;
	uint8_t arguments;
	uint8_t operation;
	uint16_t capability; // 0: none of its own
};

const GroupPrefix group_prefixes[] = {
	// the longest prefixes first
	{"subgroupPartitionedInclusive", 2, 7, 5297},
	{"subgroupPartitionedExclusive", 2, 8, 5297},
	{"subgroupPartitioned", 2, 6, 5297},
	{"subgroupInclusive", 1, 1, 63},
	{"subgroupExclusive", 1, 2, 63},
	{"subgroupClustered", 2, 3, 67},
	{"subgroup", 1, 0, 63},
};

struct GroupOperation {
	const char *name;
	uint16_t integer, unsigned_integer, floating, boolean; // 0: no such instruction
};

const GroupOperation group_operations[] = {
	{"Add", 349, 349, 350, 0},
	{"Mul", 351, 351, 352, 0},
	{"Min", 353, 354, 355, 0},
	{"Max", 356, 357, 358, 0},
	{"And", 359, 359, 0, 362},
	{"Or", 360, 360, 0, 363},
	{"Xor", 361, 361, 0, 364},
};

// the older ballot family: no scope operand
struct BallotRow {
	const char *name;
	uint8_t arguments;
	uint16_t instruction;
	uint16_t capability;
	bool value; // the result has the value's type, else b32 (ballot: u64)
};

const BallotRow ballot_rows[] = {
	{"ballot", 1, 4421, 4423, false},
	{"readInvocation", 2, 4432, 4423, true},
	{"readFirstInvocation", 1, 4422, 4423, true},
	{"anyInvocation", 1, 4429, 4431, false},
	{"allInvocations", 1, 4428, 4431, false},
	{"allInvocationsEqual", 1, 4430, 4431, false},
};

} // namespace

uint32_t Compiler::parse_atomic_function(const Array<Expressions::Operand> &operands, const Array<uint32_t> &arguments, const String &name,
	Function &function, Scope *scope, bool &matched) {
	using Expressions::ExpressionParser;
	const char *none = "";
	ExpressionParser parser(*this, none, function, scope);
	const uint32_t count = arguments.size();
	const uint32_t m = execution_model;
	matched = true;
	auto unknown = [&]() { throwError("unknown internal function %s with %u arguments\n", name.get(), count); };
	auto unknown_barrier = [&]() { throwError("unknown internal function %s()\n", name.get()); };
	auto u32 = [&](uint32_t value) { return add_constant("u32", value); };
	// an invocation, a bit or a delta: an int or uint scalar, as a uint
	auto invocation_index = [&](uint32_t id) {
		uint32_t flags = get_target_flags(id);
		if (!(flags & (TypeInt | TypeUint)) || get_target_components(id) != 1 || (flags & (TypeStructure | TypeRuntimeArray))) unknown();
		return parser.convert(id, TypeScalar | TypeUint | Type32);
	};

	// geometry emission: vertices and primitives of geometry shaders
	if (name == "EmitVertex" || name == "EndPrimitive" || name == "EmitStreamVertex" || name == "EndStreamPrimitive") {
		bool stream = name == "EmitStreamVertex" || name == "EndStreamPrimitive";
		if (count != (stream ? 1u : 0u)) unknown();
		if (m != Spirv::ModelGeometry) throwError("%s function is not valid in this stage\n", name.get());
		uint32_t opcode = name == "EmitVertex" ? 218 : name == "EndPrimitive" ? 219 : name == "EmitStreamVertex" ? 220 : 221;
		if (!stream) {
			add_function_opcode(function, opcode, {});
			return ~0u;
		}
		// the stream is a constant
		uint32_t value = arguments[0];
		if (constants.get(value) == nullptr || !(get_target_flags(value) & (TypeInt | TypeUint)) || get_target_components(value) != 1) {
			throwError("stream of %s is not a constant\n", name.get());
		}
		capabilities.insert(Spirv::CapabilityGeometryStreams);
		add_function_opcode(function, opcode, {value});
		return ~0u;
	}

	// control barriers
	if (name == "barrier" || name == "subgroupBarrier") {
		if (count != 0) unknown_barrier();
		if (name == "subgroupBarrier") {
			capabilities.insert(Spirv::CapabilityGroupNonUniform);
			add_function_opcode(function, Spirv::OpControlBarrier, {u32(Spirv::ScopeSubgroup), u32(Spirv::ScopeSubgroup), u32(2376)});
		} else if (is_compute_like(m)) {
			add_function_opcode(function, Spirv::OpControlBarrier, {u32(Spirv::ScopeWorkgroup), u32(Spirv::ScopeWorkgroup), u32(264)});
		} else if (m == Spirv::ModelTessellationControl) {
			add_function_opcode(function, Spirv::OpControlBarrier, {u32(Spirv::ScopeWorkgroup), u32(Spirv::ScopeInvocation), u32(0)});
		} else {
			unknown_barrier();
		}
		return ~0u;
	}

	// memory barriers
	if (name.startsWith("memoryBarrier") || name.startsWith("subgroupMemoryBarrier") || name == "groupMemoryBarrier") {
		if (count != 0) unknown_barrier();
		uint32_t scope_word = Spirv::ScopeDevice;
		String kind = name;
		if (name.startsWith("subgroupMemoryBarrier")) {
			scope_word = Spirv::ScopeSubgroup;
			capabilities.insert(Spirv::CapabilityGroupNonUniform);
			kind = name.substr(21);
		} else if (name == "groupMemoryBarrier") {
			if (!is_compute_like(m)) unknown_barrier();
			scope_word = Spirv::ScopeWorkgroup;
			kind = String();
		} else {
			kind = name.substr(13);
		}
		uint32_t semantics = ~0u;
		if (kind.empty()) semantics = 2376;
		else if (kind == "Shared" && is_compute_like(m)) semantics = 264;
		else if (kind == "Buffer") semantics = 72;
		else if (kind == "Image") semantics = 2056;
		if (semantics == ~0u) unknown_barrier();
		add_function_opcode(function, Spirv::OpMemoryBarrier, {u32(scope_word), u32(semantics)});
		return ~0u;
	}

	// memory and image atomics
	bool image = name.startsWith("imageAtomic");
	if (image || name.startsWith("atomic")) {
		String operation = name.substr(image ? 11 : 6);
		const AtomicRow *row = nullptr;
		for (const AtomicRow &candidate : atomic_rows) {
			if (operation == candidate.operation) row = &candidate;
		}
		if (row == nullptr || count == 0) unknown();

		uint32_t pointer = ~0u;
		uint32_t type = ~0u;
		uint32_t next = 1; // the first value argument
		if (image) {
			// a pointer to the texel of a storage image
			const Expressions::Operand &target = operands[0];
			uint32_t flags = get_target_flags(arguments[0]);
			if (target.pointer == ~0u || !(flags & TypeImageMask) || (flags & (TypeTexture | TypeSampled))) {
				unknown();
			}
			// an atomic reads and writes: of readonly and writeonly images, none
			if (target.variable != ~0u && variables[target.variable].decorations.get(Spirv::DecorationNonWritable) != nullptr && operation != "Load") {
				throwError("can't write to readonly image \"%s\"\n", variables[target.variable].name.get());
			}
			if (target.variable != ~0u && variables[target.variable].decorations.get(Spirv::DecorationNonReadable) != nullptr && operation != "Store") {
				throwError("can't read from writeonly image \"%s\"\n", variables[target.variable].name.get());
			}
			// atomics take the single-channel 32- and 64-bit formats: r32i, r32ui, r32f, r64ui, r64i
			uint32_t format = ~0u;
			if (target.variable != ~0u) {
				const String &type_name = variables[target.variable].type;
				uint32_t position = type_name.find("_format_");
				if (position != ~0u) format = uint32_t(strtoul(type_name.get() + position + 8, nullptr, 10));
			}
			if (format != 24 && format != 33 && format != 3 && format != 40 && format != 41) {
				throwError("%s needs an image of format r32i, r32ui, r32f, r64i or r64ui\n", name.get());
			}
			bool multisampled = (flags & TypeImageMS) != 0;
			if (row->image_arguments == 0 || count != row->image_arguments + (multisampled ? 1u : 0u)) unknown();
			uint32_t dimensions = (flags & (TypeImage3D | TypeImageCube)) ? 3 : (flags & TypeImage2D) ? 2 : 1;
			uint32_t coordinates = (flags & TypeImageCube) ? 3 : dimensions + ((flags & TypeImageArray) ? 1 : 0);
			uint32_t coordinate = arguments[1];
			uint32_t coordinate_flags = get_target_flags(coordinate);
			if (!(coordinate_flags & (TypeInt | TypeUint)) || (coordinate_flags & (TypeMatrixMask | TypeStructure | TypeRuntimeArray)) ||
				get_target_components(coordinate) != coordinates) {
				unknown();
			}
			coordinate = parser.convert(coordinate, (coordinate_flags & ~(TypeKindMask | TypeWidthMask)) | TypeInt | Type32);
			uint32_t sample = u32(0);
			if (multisampled) {
				uint32_t sample_flags = get_target_flags(arguments[2]);
				if (!(sample_flags & (TypeInt | TypeUint)) || get_target_components(arguments[2]) != 1 || (sample_flags & (TypeStructure | TypeRuntimeArray))) {
					unknown();
				}
				sample = parser.convert(arguments[2], TypeScalar | TypeInt | Type32);
				next = 3;
			} else {
				next = 2;
			}
			type = add_type((flags & (TypeKindMask | TypeWidthMask)) | TypeScalar);
			pointer = next_id++;
			uint32_t pointer_type = add_pointer_type(type, ~0u, Spirv::StorageImage);
			add_function_opcode(function, Spirv::OpImageTexelPointer, {pointer_type, pointer, target.pointer, coordinate, sample});
			add_target(pointer, type);
		} else {
			// a buffer or shared variable, or a scalar in one
			const Expressions::Operand &target = operands[0];
			if (row->memory_arguments == 0 || count != row->memory_arguments) unknown();
			if (target.pointer == ~0u || target.variable == ~0u) throwError("first argument of %s is not a variable\n", name.get());
			const Variable &variable = variables[target.variable];
			const Variable *holder = &variable;
			if (variable.structure != ~0u && structures[variable.structure].variable != ~0u) holder = &variables[structures[variable.structure].variable];
			uint32_t storage = variable.structure != ~0u ? structures[variable.structure].storage : holder->storage;
			if (storage != Spirv::StorageStorageBuffer && storage != Spirv::StorageWorkgroup && storage != Spirv::StorageTaskPayloadWorkgroup) {
				throwError("%s of \"%s\": atomics take buffer and shared variables\n", name.get(), variable.name.get());
			}
			if (operation != "Load") check_write(target.variable);
			pointer = target.pointer;
			type = get_target_type(arguments[0]);
			if (target.mask.size() > 1) unknown();
			if (target.mask.size() == 1) {
				// one component of a vector
				uint32_t chain = next_id++;
				add_function_opcode(function, Spirv::OpAccessChain, {add_pointer_type(type, ~0u, storage), chain, pointer, u32(target.mask[0])});
				add_target(chain, type);
				pointer = chain;
			}
		}

		uint32_t flags = get_target_flags(type);
		if (!(flags & TypeScalar) || (flags & (TypeStructure | TypeRuntimeArray | TypeBool)) || !(flags & TypeKindMask)) unknown();
		if (flags & Type16) unknown();
		uint32_t instruction = (flags & TypeUint) ? row->unsigned_instruction : row->instruction;
		if (flags & TypeFloat) {
			// floats: loads, stores, exchanges and additions, with the extension
			// that allows them; exchanges of image texels without
			bool core = instruction == Spirv::OpAtomicLoad || instruction == Spirv::OpAtomicStore || instruction == Spirv::OpAtomicExchange;
			if (!core && instruction != Spirv::OpAtomicIAdd) throwError("%s on a float is not supported\n", name.get());
			bool allowed = extensions.find(String("GL_EXT_shader_atomic_float")) || (image && instruction == Spirv::OpAtomicExchange);
			if (!allowed) throwError("%s on a float needs the GL_EXT_shader_atomic_float extension\n", name.get());
			if (instruction == Spirv::OpAtomicIAdd) {
				instruction = Spirv::OpAtomicFAddEXT;
				capabilities.insert((flags & Type64) ? 6034u : 6033u); // AtomicFloat64AddEXT, AtomicFloat32AddEXT
			}
		}
		if ((flags & Type64) && !(flags & TypeFloat)) {
			capabilities.insert(Spirv::CapabilityInt64Atomics);
			capabilities.insert(Spirv::CapabilityInt64);
		}
		// the values convert as GLSL converts arguments: an int to a uint, an
		// integer to a float, nothing else
		Array<uint32_t> values;
		for (uint32_t i = next; i < count; i++) {
			uint32_t value_flags = get_target_flags(arguments[i]);
			uint32_t from = value_flags & TypeKindMask;
			uint32_t to = flags & TypeKindMask;
			bool implicit = from == to || (from == TypeInt && to == TypeUint) || ((from == TypeInt || from == TypeUint) && to == TypeFloat);
			if (!implicit || get_target_components(arguments[i]) != 1) unknown();
			values.append(parser.fit(arguments[i], type));
		}
		if (instruction == Spirv::OpAtomicCompareExchange) {
			// (compare, data): the data is the value, the compared one the comparator
			uint32_t id = next_id++;
			add_function_opcode(function, instruction, {type, id, pointer, u32(Spirv::ScopeDevice), u32(0), u32(0), values[1], values[0]});
			add_target(id, type);
			return id;
		}
		if (instruction == Spirv::OpAtomicStore) {
			add_function_opcode(function, instruction, {pointer, u32(Spirv::ScopeDevice), u32(0)}, values);
			return ~0u;
		}
		uint32_t id = next_id++;
		add_function_opcode(function, instruction, {type, id, pointer, u32(Spirv::ScopeDevice), u32(0)}, values);
		add_target(id, type);
		return id;
	}

	// the older ballot family, also under its GLSL names ("ballotARB")
	String plain = name;
	if (plain.size() > 3 && plain.startsWith("ARB", 3, plain.size() - 3)) plain = plain.substr(0, plain.size() - 3);
	for (const BallotRow &row : ballot_rows) {
		if (plain != row.name) continue;
		if (count != row.arguments) unknown();
		capabilities.insert(row.capability);
		uint32_t value = arguments[0];
		uint32_t value_flags = get_target_flags(value);
		if (!row.value || plain == "ballot") {
			// a bool condition
			if ((value_flags & TypeKindMask) != TypeBool || get_target_components(value) != 1) unknown();
		} else if (!(value_flags & (TypeFloat | TypeInt | TypeUint)) || !(value_flags & Type32) ||
			(value_flags & (TypeStructure | TypeRuntimeArray | TypeMatrixMask | TypeOpaqueMask))) {
			// the values of 32-bit numbers
			unknown();
		}
		if (plain == "ballot") {
			// the ballot's four words narrowed to the 64 bits of the invocations GLSL counts
			uint32_t words = add_type("u32v4");
			uint32_t ballot = next_id++;
			add_function_opcode(function, row.instruction, {words, ballot, value});
			add_target(ballot, words);
			Array<uint32_t> low;
			low.append(0);
			low.append(1);
			uint32_t pair = add_shuffle(function, add_type("u32v2"), ballot, low);
			capabilities.insert(Spirv::CapabilityInt64);
			uint32_t type = add_type("u64");
			return add_unary_operation(function, Spirv::OpBitcast, type, pair);
		}
		uint32_t type = row.value ? get_target_type(value) : add_type("b32");
		uint32_t id = next_id++;
		if (plain == "readInvocation") {
			uint32_t invocation = invocation_index(arguments[1]);
			add_function_opcode(function, row.instruction, {type, id, value, invocation});
		} else {
			add_function_opcode(function, row.instruction, {type, id, value});
		}
		add_target(id, type);
		return id;
	}

	// the subgroup family
	if (!name.startsWith("subgroup")) {
		matched = false;
		return ~0u;
	}
	for (const SubgroupRow &row : subgroup_rows) {
		if (name != row.name) continue;
		if (count != row.arguments) unknown();
		capabilities.insert(Spirv::CapabilityGroupNonUniform);
		capabilities.insert(row.capability);
		uint32_t type = ~0u;
		Array<uint32_t> operands_words;
		if (row.operation >= 0) operands_words.append(row.instruction == Spirv::OpGroupNonUniformQuadSwap ? u32(uint32_t(row.operation)) : uint32_t(row.operation));
		uint32_t first = count > 0 ? arguments[0] : ~0u;
		uint32_t first_flags = count > 0 ? get_target_flags(first) : 0;
		// numbers and bools, no resources
		auto check_value = [&]() {
			if (!(first_flags & TypeKindMask) || (first_flags & (TypeStructure | TypeRuntimeArray | TypeMatrixMask | TypeOpaqueMask))) unknown();
		};
		auto ballot_argument = [&](uint32_t id) {
			if (get_target_type(id) != add_type("u32v4")) unknown();
			return id;
		};
		switch (row.instruction) {
		case 333: type = add_type("b32"); break;
		case 334:
		case 335:
			if ((first_flags & TypeKindMask) != TypeBool || get_target_components(first) != 1) unknown();
			type = add_type("b32");
			operands_words.append(first);
			break;
		case 336:
			check_value();
			type = add_type("b32");
			operands_words.append(first);
			break;
		case 339:
			if ((first_flags & TypeKindMask) != TypeBool || get_target_components(first) != 1) unknown();
			type = add_type("u32v4");
			operands_words.append(first);
			break;
		case 340:
			type = add_type("b32");
			operands_words.append(ballot_argument(first));
			break;
		case 341:
			type = add_type("b32");
			operands_words.append(ballot_argument(first));
			operands_words.append(invocation_index(arguments[1]));
			break;
		case 342:
		case 343:
		case 344:
			type = add_type("u32");
			operands_words.append(ballot_argument(first));
			break;
		default: {
			// operations on a value, with an invocation id, a mask or a delta second
			check_value();
			type = get_target_type(first);
			operands_words.append(first);
			if (count == 2) {
				uint32_t second = invocation_index(arguments[1]);
				// broadcasts name their invocation by a constant
				if ((row.instruction == Spirv::OpGroupNonUniformBroadcast || row.instruction == Spirv::OpGroupNonUniformQuadBroadcast) && constants.get(second) == nullptr) {
					throwError("invocation of %s is not a constant\n", name.get());
				}
				operands_words.append(second);
			}
			break;
		}
		}
		// the quad swap's direction follows its value
		if (row.instruction == Spirv::OpGroupNonUniformQuadSwap && operands_words.size() == 2) {
			uint32_t direction = operands_words[0];
			operands_words[0] = operands_words[1];
			operands_words[1] = direction;
		}
		uint32_t id = next_id++;
		Array<uint32_t> extra;
		extra.append(u32(Spirv::ScopeSubgroup));
		for (uint32_t i = 0; i < operands_words.size(); i++) extra.append(operands_words[i]);
		add_function_opcode(function, row.instruction, {type, id}, extra);
		add_target(id, type);
		return id;
	}

	// scans and reductions
	for (const GroupPrefix &prefix : group_prefixes) {
		if (!name.startsWith(prefix.prefix)) continue;
		String operation = name.substr(uint32_t(strlen(prefix.prefix)));
		if (prefix.capability == 5297 && operation.size() > 2 && operation.startsWith("NV", 2, operation.size() - 2)) {
			operation = operation.substr(0, operation.size() - 2);
		}
		const GroupOperation *found = nullptr;
		for (const GroupOperation &candidate : group_operations) {
			if (operation == candidate.name) found = &candidate;
		}
		if (found == nullptr) continue;
		if (count != prefix.arguments) unknown();
		uint32_t value = arguments[0];
		uint32_t flags = get_target_flags(value);
		if ((flags & (TypeStructure | TypeRuntimeArray | TypeMatrixMask | TypeOpaqueMask))) unknown();
		uint32_t kind = flags & TypeKindMask;
		uint32_t instruction = kind == TypeInt ? found->integer : kind == TypeUint ? found->unsigned_integer : kind == TypeFloat ? found->floating
			: kind == TypeBool ? found->boolean : 0;
		if (instruction == 0) unknown();
		capabilities.insert(Spirv::CapabilityGroupNonUniform);
		if (prefix.capability != 0) capabilities.insert(prefix.capability);
		uint32_t type = get_target_type(value);
		uint32_t id = next_id++;
		Array<uint32_t> extra;
		extra.append(u32(Spirv::ScopeSubgroup));
		extra.append(prefix.operation);
		extra.append(value);
		if (prefix.arguments == 2) {
			uint32_t second = arguments[1];
			if (prefix.operation == 3) {
				// the cluster size: a constant power of two
				second = parser.convert(second, TypeScalar | TypeUint | Type32);
				const Value *size = constants.get(second);
				if (size == nullptr || size->get_u64(0) == 0 || (size->get_u64(0) & (size->get_u64(0) - 1)) != 0) {
					throwError("cluster size of %s is not a constant power of two\n", name.get());
				}
			} else if (get_target_type(second) != add_type("u32v4")) {
				unknown();
			}
			extra.append(second);
		}
		add_function_opcode(function, instruction, {type, id}, extra);
		add_target(id, type);
		return id;
	}
	unknown();
	return ~0u;
}

} // namespace Vexa
