// The checking pass of the SPIR-V reader. Modules come from users' files, and
// the reader, the renderer and the backends all read instructions at fixed
// word positions and index their per-id tables with the ids they find there.
// Rather than test at every one of those reads, one check proves the module
// sound for all of them before anything is stored, and rejects it otherwise
// with a message that names the offending instruction. What it proves is
// listed at the top of ShaderSpirv.h. Beyond that, it rejects modules whose
// listing would mean nothing: GLSL.std.450 instructions with another operand
// count than their number takes, calls of what is no function or with another
// argument count than the callee's parameters, and numeric types of widths
// and counts that the format does not have.
//
// The operand layout of each instruction comes from the SPIR-V grammar, one
// letter per operand:
//   t result type     r result id        i id              j optional id
//   k ids to the end  n literal word     o optional word   x words to the end
//   s string          u optional string  v context-dependent number
//   e enumerant that may carry parameters (the rest is not checked)
//   f optional enumerant that may carry parameters (the rest is not checked)
//   m optional image operands: the mask, then ids to the end
//   p (literal, label) pairs of OpSwitch   q (id, label) pairs of OpPhi
//   g (id, literal) pairs
// Opcodes that are not in the table are skipped by their word count: nothing
// reads them at fixed positions.
#include "shader/ShaderSpirvCheck.h"
#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNumbers.h"

#include "core/Log.h"

#include <cstring>

namespace Vexa {

using namespace Spirv;

namespace {

using Layout = OperandLayout;

// sorted by opcode
const Layout layouts[] = {
	{0, ""}, {1, "tr"}, {2, "s"}, {3, "nnju"}, {4, "s"}, {5, "is"}, {6, "ins"}, {7, "rs"}, {8, "inn"}, {10, "s"},
	{11, "rs"}, {12, "trink"}, {14, "nn"}, {15, "nisk"}, {16, "ie"}, {17, "n"}, {19, "r"}, {20, "r"},
	{21, "rnn"}, {22, "rn"}, {23, "rin"}, {24, "rin"}, {25, "rinnnnnno"}, {26, "r"}, {27, "ri"}, {28, "rii"},
	{29, "ri"}, {30, "rk"}, {31, "rs"}, {32, "rni"}, {33, "rik"}, {34, "r"}, {35, "r"}, {36, "r"}, {37, "r"},
	{38, "rn"}, {39, "in"}, {41, "tr"}, {42, "tr"}, {43, "trv"}, {44, "trk"}, {45, "trnnn"}, {46, "tr"},
	{48, "tr"}, {49, "tr"}, {50, "trv"}, {51, "trk"}, {52, "trn"}, {54, "trni"}, {55, "tr"}, {56, ""},
	{57, "trik"}, {59, "trnj"}, {60, "triii"}, {61, "trif"}, {62, "iif"}, {63, "iiff"}, {64, "iiiff"},
	{65, "trik"}, {66, "trik"}, {67, "triik"}, {68, "trin"}, {69, "tri"}, {70, "triik"}, {71, "ie"}, {72, "ine"},
	{73, "r"}, {74, "ik"}, {75, "ig"}, {77, "trii"}, {78, "triii"}, {79, "triix"}, {80, "trk"}, {81, "trix"},
	{82, "triix"}, {83, "tri"}, {84, "tri"}, {86, "trii"}, {87, "triim"}, {88, "triim"}, {89, "triiim"},
	{90, "triiim"}, {91, "triim"}, {92, "triim"}, {93, "triiim"}, {94, "triiim"}, {95, "triim"}, {96, "triiim"},
	{97, "triiim"}, {98, "triim"}, {99, "iiim"}, {100, "tri"}, {101, "tri"}, {102, "tri"}, {103, "trii"},
	{104, "tri"}, {105, "trii"}, {106, "tri"}, {107, "tri"}, {109, "tri"}, {110, "tri"}, {111, "tri"},
	{112, "tri"}, {113, "tri"}, {114, "tri"}, {115, "tri"}, {116, "tri"}, {117, "tri"}, {118, "tri"},
	{119, "tri"}, {120, "tri"}, {121, "tri"}, {122, "tri"}, {123, "trin"}, {124, "tri"}, {126, "tri"},
	{127, "tri"}, {128, "trii"}, {129, "trii"}, {130, "trii"}, {131, "trii"}, {132, "trii"}, {133, "trii"},
	{134, "trii"}, {135, "trii"}, {136, "trii"}, {137, "trii"}, {138, "trii"}, {139, "trii"}, {140, "trii"},
	{141, "trii"}, {142, "trii"}, {143, "trii"}, {144, "trii"}, {145, "trii"}, {146, "trii"}, {147, "trii"},
	{148, "trii"}, {149, "trii"}, {150, "trii"}, {151, "trii"}, {152, "trii"}, {154, "tri"}, {155, "tri"},
	{156, "tri"}, {157, "tri"}, {158, "tri"}, {159, "tri"}, {160, "tri"}, {161, "trii"}, {162, "trii"},
	{163, "trii"}, {164, "trii"}, {165, "trii"}, {166, "trii"}, {167, "trii"}, {168, "tri"}, {169, "triii"},
	{170, "trii"}, {171, "trii"}, {172, "trii"}, {173, "trii"}, {174, "trii"}, {175, "trii"}, {176, "trii"},
	{177, "trii"}, {178, "trii"}, {179, "trii"}, {180, "trii"}, {181, "trii"}, {182, "trii"}, {183, "trii"},
	{184, "trii"}, {185, "trii"}, {186, "trii"}, {187, "trii"}, {188, "trii"}, {189, "trii"}, {190, "trii"},
	{191, "trii"}, {194, "trii"}, {195, "trii"}, {196, "trii"}, {197, "trii"}, {198, "trii"}, {199, "trii"},
	{200, "tri"}, {201, "triiii"}, {202, "triii"}, {203, "triii"}, {204, "tri"}, {205, "tri"}, {207, "tri"},
	{208, "tri"}, {209, "tri"}, {210, "tri"}, {211, "tri"}, {212, "tri"}, {213, "tri"}, {214, "tri"},
	{215, "tri"}, {218, ""}, {219, ""}, {220, "i"}, {221, "i"}, {224, "iii"}, {225, "ii"}, {227, "triii"},
	{228, "iiii"}, {229, "triiii"}, {230, "triiiiii"}, {231, "triiiiii"}, {232, "triii"}, {233, "triii"},
	{234, "triiii"}, {235, "triiii"}, {236, "triiii"}, {237, "triiii"}, {238, "triiii"}, {239, "triiii"},
	{240, "triiii"}, {241, "triiii"}, {242, "triiii"}, {245, "trq"}, {246, "iie"}, {247, "in"}, {248, "r"},
	{249, "i"}, {250, "iiix"}, {251, "iip"}, {252, ""}, {253, ""}, {254, "i"}, {255, ""}, {256, "in"},
	{257, "in"}, {259, "triiiiii"}, {260, "iii"}, {261, "trii"}, {262, "trii"}, {263, "triii"}, {264, "trini"},
	{265, "trini"}, {266, "trini"}, {267, "trini"}, {268, "trini"}, {269, "trini"}, {270, "trini"},
	{271, "trini"}, {274, "triiii"}, {275, "triiii"}, {276, "triiiiii"}, {277, "triiiiii"}, {278, "triiii"},
	{279, "triiii"}, {280, "iiii"}, {281, "iiii"}, {282, "tri"}, {283, "triii"}, {284, "triii"},
	{285, "triiiii"}, {286, "triiiii"}, {287, "iiiii"}, {288, "iiiii"}, {291, "triiii"}, {292, "triiiiiiiiiik"},
	{293, "triiiii"}, {294, "triiiii"}, {295, "triiii"}, {296, "triiii"}, {297, "i"}, {298, "i"}, {299, "tr"},
	{300, "tri"}, {301, "ii"}, {302, "iii"}, {303, "tr"}, {304, "triii"}, {305, "triim"}, {306, "triim"},
	{307, "triiim"}, {308, "triiim"}, {309, "triim"}, {310, "triim"}, {311, "triiim"}, {312, "triiim"},
	{313, "triim"}, {314, "triiim"}, {315, "triiim"}, {316, "tri"}, {317, ""}, {318, "triii"}, {319, "iii"},
	{320, "triim"}, {321, "tri"}, {322, "r"}, {323, "trnnn"}, {324, "tri"}, {325, "triiiii"}, {326, "triiii"},
	{327, "r"}, {328, "tri"}, {329, "iii"}, {330, "s"}, {331, "ie"}, {332, "ie"}, {333, "tri"}, {334, "trii"},
	{335, "trii"}, {336, "trii"}, {337, "triii"}, {338, "trii"}, {339, "trii"}, {340, "trii"}, {341, "triii"},
	{342, "trini"}, {343, "trii"}, {344, "trii"}, {345, "triii"}, {346, "triii"}, {347, "triii"}, {348, "triii"},
	{349, "trinij"}, {350, "trinij"}, {351, "trinij"}, {352, "trinij"}, {353, "trinij"}, {354, "trinij"},
	{355, "trinij"}, {356, "trinij"}, {357, "trinij"}, {358, "trinij"}, {359, "trinij"}, {360, "trinij"},
	{361, "trinij"}, {362, "trinij"}, {363, "trinij"}, {364, "trinij"}, {365, "triii"}, {366, "triii"},
	{400, "tri"}, {401, "trii"}, {402, "trii"}, {403, "trii"}, {4416, ""}, {4421, "tri"}, {4422, "tri"},
	{4428, "tri"}, {4429, "tri"}, {4430, "tri"}, {4431, "triiij"}, {4432, "trii"}, {4445, "iiiiiiiiiii"},
	{4446, "ii"}, {4447, "tri"}, {4448, ""}, {4449, ""}, {4450, "triio"}, {4451, "triio"}, {4452, "triio"},
	{4453, "triiio"}, {4454, "triiio"}, {4455, "triiio"}, {4472, "r"}, {4473, "iiiiiiii"}, {4474, "i"},
	{4475, "ii"}, {4476, "i"}, {4477, "tri"}, {4479, "trii"}, {5000, "trini"}, {5001, "trini"}, {5002, "trini"},
	{5003, "trini"}, {5004, "trini"}, {5005, "trini"}, {5006, "trini"}, {5007, "trini"}, {5011, "trii"},
	{5012, "triii"}, {5056, "tri"}, {5249, "iiiiiiiiiiiiii"}, {5250, "iiiiiiiiiiiii"}, {5251, "iiiiiii"},
	{5252, "tri"}, {5253, "tri"}, {5254, "tri"}, {5255, "tri"}, {5256, "iiiiiiiiiiiii"}, {5257, "tri"},
	{5258, "tri"}, {5259, "i"}, {5260, "iiiiiiiiiiii"}, {5261, "iiiiiiiiiiiii"}, {5262, "iiiiiiiiiiii"},
	{5263, "iiiiii"}, {5264, "ii"}, {5265, "tri"}, {5266, "ii"}, {5267, "tri"}, {5268, "tri"}, {5269, "tri"},
	{5270, "tri"}, {5271, "tri"}, {5272, "tri"}, {5273, "tri"}, {5274, "tri"}, {5275, "tri"}, {5276, "tri"},
	{5277, "tri"}, {5278, "tri"}, {5279, "ijj"}, {5280, "ii"}, {5281, "r"}, {5283, "triiiim"}, {5294, "iiij"},
	{5295, "ii"}, {5296, "tri"}, {5299, "ii"}, {5334, "trii"}, {5335, ""}, {5336, ""}, {5337, "iiiiiiiiiii"},
	{5338, "iiiiiiiiiiii"}, {5339, "iiiiiiiiiiii"}, {5341, "r"}, {5344, "ii"}, {5358, "riiii"}, {5359, "triiif"},
	{5360, "iiiif"}, {5361, "triii"}, {5362, "tri"}, {5364, ""}, {5365, ""}, {5380, ""}, {5381, "tr"},
	{5391, "tri"}, {5392, "tri"}, {5393, "tri"}, {5394, "tri"}, {5395, "tri"}, {5396, "tri"}, {5397, "n"},
	{5614, "triiii"}, {5615, "triiii"}, {5630, "i"}, {5631, "trii"}, {5632, "ie"}, {5633, "ine"}, {6016, "tri"},
	{6017, "tri"}, {6018, "trii"}, {6019, "trii"}, {6020, "trii"}, {6021, "trii"}, {6022, "trii"},
	{6023, "trii"}, {6024, "trii"}, {6025, "trii"}, {6026, "tri"}, {6027, "trii"}, {6028, "trii"}, {6029, "tri"},
	{6030, "tri"}, {6031, "trii"}, {6032, "trii"}, {6035, "triiii"}, {6401, "trini"}, {6402, "trini"},
	{6403, "trini"}, {6404, "trini"}, {6405, "trini"}, {6406, "trini"}, {6407, "trini"}, {6408, "trini"},
};

// The id operands of each GLSL.std.450 instruction, by instruction number;
// the number 0 is not assigned. Modf and Frexp take the pointer that receives
// their second result as their second operand.
const uint8_t glsl_operands[] = {
	0,
	1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // Round .. Fract
	1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // Radians .. Cosh
	1, 1, 1, 1, 2, 2, 1, 1, 1, 1, // Tanh .. Log2
	1, 1, 1, 1, 2, 1, 2, 2, 2, 2, // Sqrt .. FMax
	2, 2, 3, 3, 3, 3, 3, 2, 3, 3, // UMax .. Fma
	2, 1, 2, 1, 1, 1, 1, 1, 1, 1, // Frexp .. UnpackSnorm2x16
	1, 1, 1, 1, 1, 1, 2, 2, 1, 3, // UnpackUnorm2x16 .. FaceForward
	2, 3, 1, 1, 1, 1, 2, 2, 2, 2, // Reflect .. NMax
	3,                            // NClamp
};

// Opcodes that the reader takes for types or values have at least their
// result (and result type) checked, even where the grammar has no such opcode.
const Layout type_layout = {0, "r"};
const Layout value_layout = {0, "tr"};

const Layout *find_layout(uint32_t opcode) {
	uint32_t lo = 0;
	uint32_t hi = sizeof(layouts) / sizeof(layouts[0]);
	while (lo < hi) {
		uint32_t mid = (lo + hi) / 2;
		if (layouts[mid].opcode == opcode) return layouts + mid;
		if (layouts[mid].opcode < opcode) lo = mid + 1;
		else hi = mid;
	}
	if (ShaderSpirv::is_type_opcode(static_cast<int32_t>(opcode))) return &type_layout;
	if (ShaderSpirv::is_value_opcode(static_cast<int32_t>(opcode))) return &value_layout;
	return nullptr;
}

constexpr uint32_t Undefined = 0xffffffffu;

// Instructions whose id operands may all name ids defined later in the module:
// names, decorations, entry points and execution modes, forward pointers,
// branch targets, and the kernel instructions that name a function to invoke.
bool is_forward_opcode(uint32_t op) {
	switch (op) {
		case OpName:
		case OpMemberName:
		case OpEntryPoint:
		case OpExecutionMode:
		case OpTypeForwardPointer:
		case OpDecorate:
		case OpMemberDecorate:
		case OpGroupDecorate:
		case OpGroupMemberDecorate:
		case OpPhi:
		case OpLoopMerge:
		case OpSelectionMerge:
		case OpBranch:
		case OpBranchConditional:
		case OpExecutionModeId:
		case OpDecorateId:
		case OpDecorateString:
		case OpMemberDecorateString:
		case OpEnqueueKernel:
		case OpGetKernelNDrangeSubGroupCount:
		case OpGetKernelNDrangeMaxSubGroupSize:
		case OpGetKernelWorkGroupSize:
		case OpGetKernelPreferredWorkGroupSizeMultiple:
		case OpGetKernelLocalSizeForSubgroupCount:
		case OpGetKernelMaxNumSubgroups:
			return true;
	}
	return false;
}

// The state of the check: a first sweep over the words finds the range of
// the result ids, a second where each id is defined, a third checks the
// operands of every instruction against that. The per-id tables are as large
// as the ids that the module uses, not as its header's bound, which may be
// far larger than what a few words define.
class Checker {
public:
	Checker(const uint32_t *words, uint32_t size, uint32_t bound) : words(words), size(size), bound(bound) {}

	bool run() {
		uint32_t highest = 0;
		for (uint32_t i = 5; i < size; i += words[i] >> 16) {
			uint32_t count = words[i] >> 16;
			if (count == 0 || count > size - i) {
				Log::printf(Log::Error, "ShaderSpirv::load(): invalid word count %u at word %u\n", count, i);
				return false;
			}
			if (!find_result(i, count, highest)) return false;
		}
		positions.assign(highest + 1, Undefined);
		forward_pointers.assign(highest + 1, 0);
		ids = highest + 1;
		for (uint32_t i = 5; i < size; i += words[i] >> 16) {
			if (!define(i, words[i] >> 16)) return false;
		}
		for (uint32_t i = 5; i < size; i += words[i] >> 16) {
			if (!check_instruction(i, words[i] >> 16)) return false;
		}
		return check_forward_pointers() && check_members() && check_pointers() && check_calls();
	}

	// One more than the highest id that an instruction defines or names among
	// the operands checked here: everything that `load` and the renderer read
	// at fixed positions lies below it.
	uint32_t get_ids() const { return ids; }

private:
	bool fail_count(uint32_t op, uint32_t i) const {
		Log::printf(Log::Error, "ShaderSpirv::load(): too few words for opcode %u at word %u\n", op, i);
		return false;
	}
	bool fail_id(uint32_t id, uint32_t op, uint32_t i) const {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid id %u in opcode %u at word %u\n", id, op, i);
		return false;
	}

	// the word that holds the result of the instruction at word i, or 0 where
	// its layout has none
	static uint32_t get_result_word(uint32_t op) {
		const Layout *layout = find_layout(op);
		if (layout == nullptr) return 0;
		const char *r = strchr(layout->operands, 'r');
		return (r == nullptr) ? 0 : static_cast<uint32_t>(r - layout->operands) + 1;
	}

	// the result of the instruction at word i is a valid id; highest is raised to it
	bool find_result(uint32_t i, uint32_t count, uint32_t &highest) const {
		uint32_t op = words[i] & 0xffffu;
		uint32_t p = get_result_word(op);
		if (p == 0) return true;
		if (p >= count) return fail_count(op, i);
		uint32_t result = words[i + p];
		if (result == 0 || result >= bound) return fail_id(result, op, i);
		if (result > highest) highest = result;
		return true;
	}

	// the result of the instruction at word i, where its layout has one
	bool define(uint32_t i, uint32_t count) {
		uint32_t op = words[i] & 0xffffu;
		if (op == OpTypeForwardPointer && count > 1) {
			forward_declarations.append(i);
			if (words[i + 1] < forward_pointers.size()) forward_pointers[words[i + 1]] = 1;
		}
		uint32_t p = get_result_word(op);
		if (p == 0) return true;
		uint32_t result = words[i + p];
		if (positions[result] != Undefined) {
			Log::printf(Log::Error, "ShaderSpirv::load(): id %u is defined twice at word %u\n", result, i);
			return false;
		}
		positions[result] = i;
		return true;
	}

	// where id is defined, or Undefined
	uint32_t get_position(uint32_t id) const { return (id < positions.size()) ? positions[id] : Undefined; }

	bool is_forward_pointer(uint32_t id) const { return id < forward_pointers.size() && forward_pointers[id]; }

	// An id operand: below the bound, and not defined after this instruction
	// (nor by it) unless forward references are allowed. An id that no known
	// instruction defines leads nowhere: the lookups report it.
	bool check_id(uint32_t id, uint32_t op, uint32_t i, bool forward) {
		if (id >= bound) return fail_id(id, op, i);
		if (id >= positions.size()) {
			// above every definition, so undefined
			if (id >= ids) ids = id + 1;
			return true;
		}
		if (forward || positions[id] < i || positions[id] == Undefined) return true;
		Log::printf(Log::Error, "ShaderSpirv::load(): id %u is used before its definition in opcode %u at word %u\n", id, op, i);
		return false;
	}

	// ids that this operand of this opcode may name before their definition
	static bool is_forward_operand(uint32_t op, uint32_t p) {
		return (op == OpFunctionCall && p == 3) || (op == OpSwitch && p == 2);
	}

	// an array element may be a pointer that OpTypeForwardPointer declared
	bool is_forward_element(uint32_t op, uint32_t p, uint32_t id) const {
		return (op == OpTypeArray || op == OpTypeRuntimeArray) && p == 2 && is_forward_pointer(id);
	}

	// the width in words of the literals of a value whose type is type_id
	uint32_t get_literal_words(uint32_t type_id) const {
		if (get_position(type_id) == Undefined) return 1;
		const uint32_t *type = words + positions[type_id];
		uint32_t op = type[0] & 0xffffu;
		if ((op != OpTypeInt && op != OpTypeFloat) || (type[0] >> 16) < 3) return 1;
		uint64_t width = (static_cast<uint64_t>(type[2]) + 31) / 32;
		if (width == 0) return 1;
		return (width < 0x10000u) ? static_cast<uint32_t>(width) : 0x10000u;
	}

	bool check_instruction(uint32_t i, uint32_t count) {
		const uint32_t *w = words + i;
		uint32_t op = w[0] & 0xffffu;
		const Layout *layout = find_layout(op);
		if (layout == nullptr) return true;
		bool forward = is_forward_opcode(op);
		uint32_t result = Undefined;
		uint32_t p = 1;
		bool stop = false;
		for (const char *c = layout->operands; *c && !stop; c++) {
			switch (*c) {
				case 't':
					if (p >= count) return fail_count(op, i);
					if (!check_id(w[p++], op, i, false)) return false;
					break;
				case 'i':
					if (p >= count) return fail_count(op, i);
					if (!check_id(w[p], op, i, forward || is_forward_operand(op, p) || is_forward_element(op, p, w[p]))) return false;
					p++;
					break;
				case 'r':
					// checked by `define`
					result = w[p++];
					break;
				case 'j':
					if (p < count && !check_id(w[p++], op, i, forward)) return false;
					break;
				case 'k': {
					// structure members and function parameters may name a pointer that OpTypeForwardPointer declared
					bool pointers = (op == OpTypeStruct || op == OpTypeFunction);
					for (; p < count; p++) {
						if (pointers && is_forward_pointer(w[p])) continue;
						if (!check_id(w[p], op, i, forward)) return false;
					}
					break;
				}
				case 'n':
					if (p >= count) return fail_count(op, i);
					p++;
					break;
				case 'o':
					if (p < count) p++;
					break;
				case 'e':
					if (p >= count) return fail_count(op, i);
					stop = true;
					break;
				case 'v':
					if (p >= count || !check_number(w, count)) return fail_count(op, i);
					stop = true;
					break;
				case 'x':
				case 'f':
					stop = true;
					break;
				case 's':
				case 'u':
					if (p >= count) {
						if (*c == 'u') break;
						return fail_count(op, i);
					}
					if (!skip_string(w, count, p)) {
						Log::printf(Log::Error, "ShaderSpirv::load(): unterminated string in opcode %u at word %u\n", op, i);
						return false;
					}
					if (op == OpExtInstImport && result != Undefined) {
						if (glsl_sets.size() == 0) glsl_sets.assign(positions.size(), 0);
						glsl_sets[result] = (strcmp(reinterpret_cast<const char *>(w + 2), "GLSL.std.450") == 0);
					}
					break;
				case 'm':
					// the image operands mask, then its parameters, which are all ids
					for (p++; p < count; p++) {
						if (!check_id(w[p], op, i, forward)) return false;
					}
					break;
				case 'p': {
					// OpSwitch: the literals are as wide as the selector
					uint32_t selector = get_position(w[1]);
					uint32_t step = get_literal_words((selector == Undefined) ? Undefined : words[selector + 1]) + 1;
					if ((count - p) % step != 0) return fail_count(op, i);
					for (; p < count; p += step) {
						if (!check_id(w[p + step - 1], op, i, true)) return false;
					}
					break;
				}
				case 'q':
				case 'g':
					if ((count - p) % 2 != 0) return fail_count(op, i);
					for (; p < count; p += 2) {
						if (!check_id(w[p], op, i, true)) return false;
						if (*c == 'q' && !check_id(w[p + 1], op, i, true)) return false;
					}
					break;
				default:
					break;
			}
			// other extended sets than GLSL.std.450 hold literals among their
			// operands and may refer forward; nothing renders them
			if (op == OpExtInst && p == 5 && !is_glsl(w[3])) stop = true;
		}
		if (op == OpMemberName || op == OpMemberDecorate || op == OpMemberDecorateString) member_uses.append(i);
		if (op == OpExtInst && is_glsl(w[3]) && !check_glsl(w, count, i)) return false;
		if ((op == OpTypeInt || op == OpTypeFloat || op == OpTypeVector || op == OpTypeMatrix) && !check_type(w, i)) return false;
		count_parameters(op, result);
		if (op == OpFunctionCall) calls.append(i);
		return true;
	}

	// A GLSL.std.450 instruction has the operands that its number takes: the
	// renderer writes them all as the arguments of the built-in function.
	// Numbers past the table are left to the renderer, which reports them.
	bool check_glsl(const uint32_t *w, uint32_t count, uint32_t i) const {
		uint32_t number = w[4];
		if (number == 0 || number >= sizeof(glsl_operands) / sizeof(glsl_operands[0])) return true;
		uint32_t operands = count - 5;
		if (operands == glsl_operands[number]) return true;
		Log::printf(Log::Error, "ShaderSpirv::load(): GLSL.std.450 instruction %u has %u operands instead of %u at word %u\n", number,
			operands, static_cast<uint32_t>(glsl_operands[number]), i);
		return false;
	}

	// the opcode of the instruction that defines id, or Undefined
	uint32_t get_opcode(uint32_t id) const {
		uint32_t position = get_position(id);
		return (position == Undefined) ? Undefined : (words[position] & 0xffffu);
	}

	// Widths and counts of the numeric types are the few that the format has:
	// the renderer spells them in type names, sizes literals by them and
	// multiplies the components of vectors and matrices, and nothing else
	// has a meaning. Components are scalars and columns are vectors, so the
	// components of a matrix are a column count times a vector size.
	bool check_type(const uint32_t *w, uint32_t i) const {
		uint32_t op = w[0] & 0xffffu;
		uint32_t value = (op == OpTypeInt || op == OpTypeFloat) ? w[2] : w[3];
		bool valid = false;
		switch (op) {
			case OpTypeInt:
				valid = value == 8 || value == 16 || value == 32 || value == 64;
				break;
			case OpTypeFloat:
				valid = value == 16 || value == 32 || value == 64;
				break;
			case OpTypeVector:
				valid = (value >= 2 && value <= 4) || value == 8 || value == 16;
				break;
			case OpTypeMatrix:
				valid = value >= 2 && value <= 4;
				break;
		}
		const char *type = (op == OpTypeInt) ? "integer" : (op == OpTypeFloat) ? "float" : (op == OpTypeVector) ? "vector" : "matrix";
		const char *part = (op == OpTypeVector) ? "component" : (op == OpTypeMatrix) ? "column" : "width";
		if (!valid) {
			Log::printf(Log::Error, "ShaderSpirv::load(): invalid %s%s %u of %s type %u at word %u\n", part,
				(op == OpTypeVector || op == OpTypeMatrix) ? " count" : "", value, type, w[1], i);
			return false;
		}
		if (op == OpTypeVector || op == OpTypeMatrix) {
			uint32_t element = get_opcode(w[2]);
			valid = (op == OpTypeMatrix) ? element == OpTypeVector : (element == OpTypeInt || element == OpTypeFloat || element == OpTypeBool);
			if (!valid) {
				Log::printf(Log::Error, "ShaderSpirv::load(): invalid %s type %u of %s type %u at word %u\n", part, w[2], type, w[1], i);
				return false;
			}
		}
		return true;
	}

	// The parameters of a function are the OpFunctionParameter instructions
	// between its OpFunction and its first block (or its end), as the
	// renderer declares them.
	void count_parameters(uint32_t op, uint32_t result) {
		if (op == OpFunction) {
			if (parameters.size() == 0) parameters.assign(positions.size(), 0);
			function = result;
		} else if (op == OpFunctionParameter && function != Undefined) {
			parameters[function]++;
		} else if (op == OpLabel || op == OpFunctionEnd) {
			function = Undefined;
		}
	}

	// A call names a function and passes it one argument per parameter. The
	// callee may be defined after the call, so the calls wait for the end of
	// the module.
	bool check_calls() const {
		for (uint32_t k = 0; k < calls.size(); k++) {
			uint32_t i = calls[k];
			uint32_t callee = words[i + 3];
			if (get_opcode(callee) != OpFunction) {
				Log::printf(Log::Error, "ShaderSpirv::load(): callee %u of the call at word %u is not a function\n", callee, i);
				return false;
			}
			uint32_t arguments = (words[i] >> 16) - 4;
			if (arguments != parameters[callee]) {
				Log::printf(Log::Error, "ShaderSpirv::load(): the call at word %u passes %u arguments to function %u of %u parameters\n", i,
					arguments, callee, parameters[callee]);
				return false;
			}
		}
		return true;
	}

	// the words of an OpConstant or OpSpecConstant cover the width of its type
	bool check_number(const uint32_t *w, uint32_t count) const {
		uint32_t op = w[0] & 0xffffu;
		return (op != OpConstant && op != OpSpecConstant) || count >= 3 + static_cast<uint64_t>(get_literal_words(w[1]));
	}

	// a literal string at word p ends with a NUL inside the instruction; p moves past it
	bool skip_string(const uint32_t *w, uint32_t count, uint32_t &p) const {
		for (; p < count; p++) {
			uint32_t word = w[p];
			if ((word & 0xffu) == 0 || (word & 0xff00u) == 0 || (word & 0xff0000u) == 0 || (word & 0xff000000u) == 0) {
				p++;
				return true;
			}
		}
		return false;
	}

	bool is_glsl(uint32_t set) const { return set < glsl_sets.size() && glsl_sets[set]; }

	// member indices name members that their structure has; the structures
	// may follow the names and decorations
	bool check_members() const {
		for (uint32_t k = 0; k < member_uses.size(); k++) {
			const uint32_t *w = words + member_uses[k];
			uint32_t id = w[1];
			uint32_t member = w[2];
			uint32_t members = 0;
			if (get_position(id) != Undefined) {
				const uint32_t *type = words + positions[id];
				if ((type[0] & 0xffffu) == OpTypeStruct) members = (type[0] >> 16) - 2;
			}
			if (member >= members) {
				Log::printf(Log::Error, "ShaderSpirv::load(): invalid member %u of structure %u at word %u\n", member, id, member_uses[k]);
				return false;
			}
		}
		return true;
	}

	// An id that OpTypeForwardPointer declares is a pointer: the lookups and
	// the renderer take it for one, and a structure there could hold itself.
	bool check_forward_pointers() const {
		for (uint32_t k = 0; k < forward_declarations.size(); k++) {
			uint32_t i = forward_declarations[k];
			uint32_t id = words[i + 1];
			uint32_t position = get_position(id);
			if (position == Undefined || (words[position] & 0xffffu) != OpTypePointer) {
				Log::printf(Log::Error, "ShaderSpirv::load(): forward pointer %u at word %u is not defined by OpTypePointer\n", id, i);
				return false;
			}
		}
		return true;
	}

	// the type that the lookups go on to from a type: a pointee, an element or
	// a column; Undefined where they stop
	uint32_t get_next_type(uint32_t id) const {
		uint32_t position = get_position(id);
		if (position == Undefined) return Undefined;
		const uint32_t *type = words + position;
		uint32_t op = type[0] & 0xffffu;
		uint32_t count = type[0] >> 16;
		if (op == OpTypePointer && count > 3) return type[3];
		if ((op == OpTypeArray || op == OpTypeRuntimeArray || op == OpTypeVector || op == OpTypeMatrix) && count > 2) return type[2];
		return Undefined;
	}

	// Pointers declared forward are the one way back in the chain of types:
	// from a forward pointer, the pointees, elements and columns that the
	// lookups follow must reach something else than the pointer again (a
	// structure ends the chain). Every other step goes to an earlier type, so
	// each loop holds a forward pointer. Each type is visited by one walk only,
	// and a walk that meets its own trail has closed a loop.
	bool check_pointers() const {
		if (forward_declarations.size() == 0) return true;
		Array<uint32_t> walks;
		walks.assign(positions.size(), 0);
		uint32_t walk = 0;
		uint32_t lowest = Undefined;
		for (uint32_t id = 0; id < positions.size(); id++) {
			if (!forward_pointers[id] || walks[id] != 0) continue;
			walk++;
			uint32_t current = id;
			while (current < positions.size() && walks[current] == 0) {
				walks[current] = walk;
				current = get_next_type(current);
			}
			if (current >= positions.size() || walks[current] != walk) continue;
			// the loop is closed once; name its lowest forward pointer
			uint32_t k = current;
			do {
				if (forward_pointers[k] && k < lowest) lowest = k;
				k = get_next_type(k);
			} while (k != current);
		}
		if (lowest == Undefined) return true;
		Log::printf(Log::Error, "ShaderSpirv::load(): type %u refers to itself\n", lowest);
		return false;
	}

	const uint32_t *words;
	uint32_t size;
	uint32_t bound;
	// word index of the instruction that defines each id
	Array<uint32_t> positions;
	// per id: 1 where OpTypeForwardPointer declared it
	Array<uint8_t> forward_pointers;
	// word indices of OpTypeForwardPointer
	Array<uint32_t> forward_declarations;
	// one more than the highest id in use
	uint32_t ids = 0;
	// per id: 1 for an OpExtInstImport of GLSL.std.450
	Array<uint8_t> glsl_sets;
	// word indices of OpMemberName and OpMemberDecorate
	Array<uint32_t> member_uses;
	// word indices of OpFunctionCall
	Array<uint32_t> calls;
	// per id: the parameter count of an OpFunction
	Array<uint32_t> parameters;
	// the function whose parameters are being counted, or Undefined
	uint32_t function = Undefined;
};

} // namespace

const OperandLayout *Spirv::get_operand_layouts(uint32_t &count) {
	count = sizeof(layouts) / sizeof(layouts[0]);
	return layouts;
}

const OperandLayout *Spirv::find_operand_layout(uint32_t opcode) {
	return find_layout(opcode);
}

const uint8_t *Spirv::get_glsl_operand_counts(uint32_t &count) {
	count = sizeof(glsl_operands) / sizeof(glsl_operands[0]);
	return glsl_operands;
}

uint32_t ShaderSpirv::get_max_bound(uint32_t size) {
	// 0x3fffff is the universal limit of SPIR-V; below that, the bound may
	// exceed the ids a module uses (optimisers leave gaps, but even after
	// heavy optimisation real modules stay below one id per word once they
	// are larger than the fixed allowance), but not by so much that a few
	// words could name an id in the millions: the per-id tables and names
	// take over 100 bytes per id below the highest one in use
	uint64_t limit = static_cast<uint64_t>(size) * 4 + 65536;
	return (limit < 0x3fffffu) ? static_cast<uint32_t>(limit) : 0x3fffffu;
}

bool ShaderSpirv::check_module(const Array<uint32_t> &module, uint32_t &ids) const {
	uint32_t bound = module[3];
	if (bound > get_max_bound(module.size())) {
		Log::printf(Log::Error, "ShaderSpirv::load(): invalid id bound %u\n", bound);
		return false;
	}
	Checker checker(module.get(), module.size(), bound);
	if (!checker.run()) return false;
	ids = checker.get_ids();
	return true;
}

} // namespace Vexa
