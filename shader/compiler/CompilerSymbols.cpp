// Symbols: declaration of functions, structures and variables with the
// reserved-name and redefinition checks, their lookups by name (from a scope
// outwards, or among the functions by name and argument text) and by result
// id, and the checks of qualifiers that a declaration left unused.
//
// Every lookup goes through maps: a scope is searched by its name maps, the
// functions by the name and signature maps, so that declaring and finding n
// symbols costs about n log n however many there are.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

// the checks every declaration passes first: a reserved name (when the
// compile flags ask for the check), then a name the scope itself already
// holds (an outer scope's name may be hidden)
void check_name(const Compiler &compiler, const String &name, const Compiler::Scope &scope) {
	if (compiler.is_reserved(name)) throwError("\"%s\" name reserved\n", name.get());
	if (Compiler::is_declared(name, scope)) throwError("\"%s\" name redefined\n", name.get());
}

// a GLSL type keyword becomes its internal name, any other text stays
String get_internal_type(const Compiler &compiler, const String &type) {
	const String *internal = compiler.glsl_types.get(type);
	return internal != nullptr ? *internal : type;
}

} // namespace

uint32_t Compiler::add_function(const String &name, const String &return_type, uint32_t control, Scope &scope) {
	check_name(*this, name, scope);
	const uint32_t index = functions.size();

	// the argument text of the previous function is complete once another
	// one is declared: its signature finds it from now on (the first of a
	// signature keeps the entry)
	if (index > 0) {
		const Function &previous = functions[index - 1];
		String signature = previous.name + previous.arguments;
		if (function_signatures.get(signature) == nullptr) function_signatures.insert(signature, index - 1);
	}

	Function &function = functions.append();
	function.name = name;
	function.return_type = get_internal_type(*this, return_type);
	function.arguments = "(";
	function.scope.parent = &scope;
	function.index = index;
	function.id = next_id++;
	function.control = control;
	records.insert(function.id, index);

	Array<uint32_t> *list = function_names.get(name);
	if (list == nullptr) list = &function_names.insert(name, Array<uint32_t>())->value;
	list->append(index);
	return index;
}

uint32_t Compiler::add_structure(const String &name, uint32_t storage, Scope &scope) {
	check_name(*this, name, scope);
	const uint32_t index = structures.size();
	scope.structures.insert(name, index);

	Structure &structure = structures.append();
	structure.name = name;
	structure.index = index;
	structure.id = next_id++;
	structure.storage = storage;
	records.insert(structure.id, index);
	return index;
}

uint32_t Compiler::add_variable(const String &name, const String &type, uint32_t length, uint32_t storage, Scope &scope) {
	check_name(*this, name, scope);
	const uint32_t index = variables.size();
	// an unnamed block instance is a record that no name finds
	if (!name.empty()) scope.variables.insert(name, index);

	Variable &variable = variables.append();
	variable.name = name;
	variable.type = get_internal_type(*this, type);
	variable.index = index;
	variable.id = next_id++;
	variable.length = length;
	variable.storage = storage;
	// the interface and resource variables (UniformConstant, Input, Uniform,
	// Output, StorageBuffer) are never reported as unused
	variable.used = (storage <= 3 || storage == Spirv::StorageStorageBuffer);
	records.insert(variable.id, index);
	return index;
}

uint32_t Compiler::find_function(const String &name, const String &arguments) {
	uint32_t ret = ~0u;
	const Array<uint32_t> *list = function_names.get(name);
	if (list == nullptr) return ret;

	if (arguments.empty()) {
		ret = (*list)[0];
	} else if (const uint32_t *index = function_signatures.get(name + arguments)) {
		ret = *index;
	} else {
		// the last function is not in the signature map yet
		const uint32_t last = functions.size() - 1;
		if (list->back() == last && functions[last].arguments == arguments) ret = last;
	}
	if (ret != ~0u) functions[ret].used = true;
	return ret;
}

uint32_t Compiler::get_function(uint32_t id) const {
	const uint32_t *index = records.get(id);
	if (index == nullptr || *index >= functions.size() || functions[*index].id != id) throwError("can't get %u function\n", id);
	return *index;
}

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

uint32_t Compiler::find_variable(const String &name, Scope *scope) {
	for (; scope != nullptr; scope = scope->parent) {
		if (const uint32_t *index = scope->variables.get(name)) {
			Variable &variable = variables[*index];
			variable.scope = scope;
			variable.used = true;
			return *index;
		}
	}
	// a built-in is declared at its first use
	if (builtin_variables.get(name) != nullptr) {
		uint32_t index = add_builtin_variable(name);
		if (index != ~0u) {
			variables[index].scope = &global_scope;
			variables[index].used = true;
		}
		return index;
	}
	return ~0u;
}

uint32_t Compiler::get_variable(uint32_t id) const {
	const uint32_t *index = records.get(id);
	if (index == nullptr || *index >= variables.size() || variables[*index].id != id) throwError("can't get %u variable\n", id);
	return *index;
}

void Compiler::check_qualifiers(uint32_t bits) const {
	static const char *const messages[] = {
		"unused inout qualifier\n",
		"unused layout qualifier\n",
		"unused format qualifier\n",
		"unused storage qualifier\n",
		"unused precision qualifier\n",
		"unused decoration qualifier\n",
		"unused function control qualifier\n",
		"unfinished structure declaration\n",
		"unfinished function declaration\n",
	};
	for (uint32_t i = 0; i < sizeof(messages) / sizeof(messages[0]); i++) {
		if (bits & (1u << i)) throwError("%s", messages[i]);
	}
}

void Compiler::check_constant_qualifiers(uint32_t bits) const {
	if (bits & 0x1u) throwError("unused constant qualifier\n");
	if (bits & 0x2u) throwError("unused precision qualifier\n");
}

} // namespace Vexa
