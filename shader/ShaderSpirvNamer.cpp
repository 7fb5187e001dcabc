// The names of an output, in one table (see ShaderSpirvNamer.h).
#include "shader/ShaderSpirvNamer.h"

#include <cstring>

namespace Vexa {

namespace {

// the bound of suffixes before a name is given up for a generated one
constexpr uint32_t MaxSuffixes = 16;

String add_suffix(const String &name, ShaderSpirvNamer::Form form, uint32_t id) {
	switch (form) {
		case ShaderSpirvNamer::FormId: return String::format("%s_%x", name.get(), id);
		case ShaderSpirvNamer::FormValue: return String::format("%s_v%u", name.get(), id);
		case ShaderSpirvNamer::FormUnderscore: break;
	}
	String ret = name;
	ret.append('_');
	return ret;
}

} // namespace

ShaderSpirvNamer::ShaderSpirvNamer() {
	clear();
}

void ShaderSpirvNamer::clear() {
	reserved.clear();
	prefixes.clear();
	parents.clear();
	names.clear();
	parents.append(None);
	names.append(Set<String>());
}

void ShaderSpirvNamer::set_keywords(Keywords function, const void *data) {
	keywords = function;
	context = data;
}

void ShaderSpirvNamer::reserve(const String &name) {
	if (!name.empty()) reserved.insert(name);
}

void ShaderSpirvNamer::reserve_prefix(const String &prefix) {
	if (prefix.empty()) return;
	for (uint32_t i = 0; i < prefixes.size(); i++) {
		if (prefixes[i] == prefix) return;
	}
	prefixes.append(prefix);
}

bool ShaderSpirvNamer::is_keyword(const String &name) const {
	return keywords && !name.empty() && keywords(context, name.get());
}

const String *ShaderSpirvNamer::get_reserved_prefix(const String &name) const {
	for (uint32_t i = 0; i < prefixes.size(); i++) {
		if (strncmp(name.get(), prefixes[i].get(), prefixes[i].size()) == 0) return &prefixes[i];
	}
	return nullptr;
}

bool ShaderSpirvNamer::is_reserved(const String &name) const {
	return reserved.find(name) || get_reserved_prefix(name) != nullptr;
}

uint32_t ShaderSpirvNamer::add_scope(uint32_t parent) {
	uint32_t scope = parents.size();
	parents.append(parent < scope ? parent : None);
	names.append(Set<String>());
	return scope;
}

uint32_t ShaderSpirvNamer::get_parent(uint32_t scope) const {
	return scope < parents.size() ? parents[scope] : None;
}

bool ShaderSpirvNamer::holds(uint32_t scope, const String &name) const {
	return scope < names.size() && names[scope].find(name);
}

bool ShaderSpirvNamer::is_taken(uint32_t scope, const String &name) const {
	// parents come before their scopes, so the walk ends
	for (; scope < names.size(); scope = parents[scope]) {
		if (names[scope].find(name)) return true;
	}
	return false;
}

bool ShaderSpirvNamer::is_free(uint32_t scope, const String &name) const {
	return !name.empty() && !is_keyword(name) && !is_reserved(name) && !is_taken(scope, name);
}

void ShaderSpirvNamer::take(uint32_t scope, const String &name) {
	if (scope < names.size() && !name.empty()) names[scope].insert(name);
}

String ShaderSpirvNamer::get_free(uint32_t scope, const String &wanted, Form form, uint32_t id, bool words) const {
	auto is_open = [&](const String &name) { return words ? is_free(scope, name) : (!name.empty() && !is_taken(scope, name)); };
	String name = wanted;
	if (words && get_reserved_prefix(name)) {
		// out of the family first: no suffix leaves a prefix
		String escaped(name[0] == '_' ? "u" : "u_");
		escaped.append(name);
		name = escaped;
	}
	for (uint32_t steps = 0; steps < MaxSuffixes; steps++) {
		if (is_open(name)) return name;
		name = add_suffix(name, form, id);
	}
	for (uint32_t n = 0;; n++) {
		name = String::format("_r%x_%u", id, n);
		if (is_open(name)) return name;
	}
}

String ShaderSpirvNamer::claim(uint32_t scope, const String &wanted, Form form, uint32_t id, bool words) {
	String name = get_free(scope, wanted, form, id, words);
	take(scope, name);
	return name;
}

String ShaderSpirvNamer::get_helper_name(const String &name) const {
	return is_reserved(name) ? name : String();
}

} // namespace Vexa
