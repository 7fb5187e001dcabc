// Symbols: the lookups of declared records by name, from a scope outwards,
// and by result id.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"

namespace Vexa {

uint32_t Compiler::find_structure(const String &name, Scope *scope) {
	for (; scope != nullptr; scope = scope->parent) {
		if (const uint32_t *index = scope->structures.get(name)) {
			structures[*index].used = true;
			return *index;
		}
	}
	return ~0u;
}

uint32_t Compiler::get_structure(uint32_t id) const {
	const uint32_t *index = records.get(id);
	if (index == nullptr || *index >= structures.size() || structures[*index].id != id) throwError("can't get %u structure\n", id);
	return *index;
}

} // namespace Vexa
