// The memory layouts of buffer blocks, which every output checks against the
// module's Offset, ArrayStride and MatrixStride decorations under the rules of
// its target (ShaderSpirvLayout.cpp). A target's rules are a row of
// `LayoutRules`, chosen by a `LayoutRule`: another target's packing (constant
// buffers, a C compiler's structures) is another row of the table, with a
// field of its own where none of these says what it needs.
#pragma once

#include <cstdint>

namespace Vexa {

enum LayoutRule : uint32_t {
	LayoutStd140,       // uniform blocks
	LayoutStd430,       // storage blocks and push constants
	LayoutScalar,       // blocks of the scalar block layout
	LayoutRuleCount,
};

struct LayoutRules {
	const char *name;
	// a vector aligns as its component; else as the whole vector, one of
	// three components as one of four
	bool component_alignment;
	// arrays, structures and matrices align to a multiple of this, and the
	// strides of arrays and matrices are multiples of it
	uint32_t aggregate_alignment;
	// a structure's size is rounded up to its alignment, so that the member
	// after it begins past the padding; else it ends with its last member
	bool padded_structures;
	// an array's size is its stride times its length; else it ends with its
	// last element, the stride's padding after that left to the next member
	bool padded_arrays;
};

const LayoutRules &get_layout_rules(LayoutRule rule);

// The largest size of a laid-out type: what the 32-bit Offset and ArrayStride
// decorations can reach. A type past it has no layout, and is an error that
// names it rather than a size wrapped around.
constexpr uint64_t MaxLayoutSize = 0xffffffffu;

// What a decoration or type of a structure's member has that the rules do
// not give it, found by `find_layout_issues`.
enum LayoutIssueKind : uint32_t {
	LayoutIssueOffset,          // an Offset other than the rules' (`decorated`, `expected`)
	LayoutIssueArrayStride,     // an ArrayStride of a level of the member's arrays
	LayoutIssueMatrixStride,    // a MatrixStride of the member's matrices
	LayoutIssueArrayLength,     // an array length that is no constant
	LayoutIssueMemberType,      // a type that has no layout (a pointer, an image)
	LayoutIssueRuntimeArray,    // a runtime array but as the last member of the outermost structure
	LayoutIssueSize,            // a size past MaxLayoutSize
};

// the layout of a type: `ok` false (with `failure`) when it has none
struct TypeLayout {
	uint64_t size = 0;              // 0 for a runtime array
	uint64_t alignment = 1;
	uint64_t array_stride = 0;      // of an array type
	uint64_t matrix_stride = 0;     // of a matrix or an array of matrices
	bool unsized = false;           // a runtime array, or a structure that ends with one
	bool ok = true;
	LayoutIssueKind failure = LayoutIssueMemberType;
};

struct LayoutIssue {
	LayoutIssueKind kind;
	uint32_t structure;             // the structure and member it was found in
	uint32_t member;
	uint64_t decorated;             // the decoration's value
	uint64_t expected;              // the rules' value
	uint64_t alignment;             // the member's alignment by the rules
};

} // namespace Vexa
