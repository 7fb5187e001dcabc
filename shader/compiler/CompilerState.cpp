// Construction and reset of the compiler object. One object serves any number
// of compilations in sequence: each starts from a reset, which empties all
// that the previous one gathered but keeps the storage of the record and word
// arrays, and the name tables, for reuse.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"

namespace Vexa {

Compiler::DepthGuard::DepthGuard(Compiler &compiler) : compiler(compiler) {
	if (compiler.depth >= MaxDepth) throwError("nesting is too deep\n");
	compiler.depth++;
}

Compiler::Compiler() : flags(0), depth(0), execution_model(~0u), group_size{0, 0, 0}, next_id(1), glsl_id(~0u) {
}

Compiler::~Compiler() {
}

void Compiler::reset() {
	clear();
	group_size[2] = 0;
}

void Compiler::clear() {
	flags = 0;
	depth = 0;
	extensions.clear();
	capabilities.clear();
	execution_model = ~0u;
	execution_modes.clear();
	group_size[0] = 1;
	group_size[1] = 1;
	global_scope.parent = nullptr;
	global_scope.variables.clear();
	global_scope.structures.clear();
	storage_pointers.clear();
	initializers.clear();
	variables.clear();
	structures.clear();
	functions.clear();
	words.clear();
	next_id = 1;
	glsl_id = ~0u;
	held_bools.clear();
	constants.clear();
	types.clear();
	records.clear();
	function_names.clear();
	function_signatures.clear();
	decorations.clear();
	targets.clear();
	array_strides.clear();
	array_constants.clear();
}

} // namespace Vexa
