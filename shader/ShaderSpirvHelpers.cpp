// The helper functions of an output: each is registered under a key, with a
// name that the namer reserved for it and a body that the backend writes, and
// each text is written once before the functions. The semantics helpers are
// the base's: the operations whose SPIR-V meaning no operator of a C-like
// language has, which each target spells through `get_semantic_helper_body`.
#include "shader/ShaderSpirv.h"

namespace Vexa {

const char *ShaderSpirv::get_semantic_helper_name(SemanticHelper kind) {
	static const char *const names[HelperCount] = {
		"_srem", "_smod", "_frem", "_fmod", "_fordne", "_funordeq", "_funordlt", "_funordgt", "_funordle", "_funordge", "_nmin", "_nmax",
	};
	return (kind < HelperCount) ? names[kind] : "";
}

String ShaderSpirv::get_semantic_helper_body(SemanticHelper, const String &, const String &, uint32_t) {
	return String();
}

String ShaderSpirv::use_semantic_helper(SemanticHelper kind, const String &type, uint32_t components) {
	if (kind >= HelperCount || type.empty()) return String();
	String name = namer.get_helper_name(String(get_semantic_helper_name(kind)));
	if (name.empty()) {
		log_internal_error("ShaderSpirv::use_semantic_helper()", "helper %u has no reserved name\n", static_cast<uint32_t>(kind));
		return String();
	}
	// one helper for each spelling of its operands' type
	String key = String::format("%s(%s)", name.get(), type.get());
	if (has_helper(key)) return name;
	String body = get_semantic_helper_body(kind, name, type, components);
	if (body.empty()) return String();
	add_helper(key, body);
	return name;
}

bool ShaderSpirv::add_helper(const String &key, const String &body) {
	if (has_helper(key)) return false;
	helper_keys.insert(key);
	helper_bodies.insert(body);
	return true;
}

String ShaderSpirv::get_helper_definitions() const {
	String ret;
	for (auto it = helper_bodies.begin(); it != helper_bodies.end(); ++it) ret.append(it->key);
	return ret;
}

} // namespace Vexa
