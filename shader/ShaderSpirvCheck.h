// The operand layouts that the checking pass of the SPIR-V reader applies,
// opened so that tests can hold them against the SPIR-V grammar. The letters
// of a layout are explained at the top of ShaderSpirvCheck.cpp.
#pragma once

#include <cstdint>

namespace Vexa {
namespace Spirv {

struct OperandLayout {
	uint16_t opcode;
	const char *operands;
};

// the table of layouts, sorted by opcode; count receives its size
const OperandLayout *get_operand_layouts(uint32_t &count);

// The layout that the check applies to an opcode: its table entry, or for
// the types and values that the table lacks their result (and result type)
// alone; nullptr where instructions of the opcode are skipped.
const OperandLayout *find_operand_layout(uint32_t opcode);

// the id operand count of each GLSL.std.450 instruction, by instruction
// number (0 is not assigned); count receives the size of the table
const uint8_t *get_glsl_operand_counts(uint32_t &count);

} // namespace Spirv
} // namespace Vexa
