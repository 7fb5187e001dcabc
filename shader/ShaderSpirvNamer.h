// The one table of the names an output gives. It holds first the words that
// the output keeps for itself: its keywords and built-in names (asked of the
// output through a callback), the names of its helper functions (exactly, or
// as a prefix that a family of helpers shares) and the entry point's name.
// Then every name of the module takes its place in a scope: the scopes form
// a tree, and a name is free in a scope when it is no reserved word, begins
// with no reserved prefix, and neither the scope nor a scope around it holds
// it. A name that is not free is made free by a form of suffix, applied until
// it is: each form is one the outputs have always used, so that a name that
// was unique keeps its spelling.
#pragma once

#include "core/Array.h"
#include "core/Map.h"
#include "core/String.h"

#include <cstdint>

namespace Vexa {

class ShaderSpirvNamer {
public:
	// whether a name is one of the output's own words
	using Keywords = bool (*)(const void *context, const char *name);

	// how a name that is taken is made another
	enum Form : uint8_t {
		FormId,         // "name_1f": the id in hexadecimal
		FormValue,      // "name_v31": the id in decimal, for the values of a function
		FormUnderscore, // "name_": one more '_'
	};

	// the scope that every other one lies in
	static constexpr uint32_t Root = 0;
	// a scope outside the tree: a name added with it is in no scope
	static constexpr uint32_t None = ~0u;

	ShaderSpirvNamer();

	// forgets every name, scope and reserved word (the keywords stay)
	void clear();
	void set_keywords(Keywords keywords, const void *context);

	void reserve(const String &name);
	void reserve_prefix(const String &prefix);
	bool is_keyword(const String &name) const;
	// a reserved name, or one that begins with a reserved prefix
	bool is_reserved(const String &name) const;
	// the reserved prefix that begins a name, null for none
	const String *get_reserved_prefix(const String &name) const;

	// a new scope inside `parent`; `parent` None makes a root of its own,
	// a namespace that no other scope sees
	uint32_t add_scope(uint32_t parent);
	uint32_t get_parent(uint32_t scope) const;
	uint32_t get_scope_count() const { return parents.size(); }

	// whether the scope itself holds the name
	bool holds(uint32_t scope, const String &name) const;
	// whether the scope or a scope around it holds the name
	bool is_taken(uint32_t scope, const String &name) const;
	// free: neither a keyword nor reserved nor taken
	bool is_free(uint32_t scope, const String &name) const;
	// enters the name into the scope, free or not
	void take(uint32_t scope, const String &name);

	// The name `wanted` made free in the scope with `form` (with the id where
	// the form takes one) and entered into it. A name that begins with a
	// reserved prefix first gets "u_" before it ('u' where it begins with
	// '_'). A name that no number of suffixes frees (one whose start is a
	// keyword's form) becomes "_r<id>_<n>". With `words` false only the
	// names of the scopes count (for names that only ever follow a '.').
	String claim(uint32_t scope, const String &wanted, Form form, uint32_t id, bool words = true);
	// the same name made free without being entered into a scope
	String get_free(uint32_t scope, const String &wanted, Form form, uint32_t id, bool words = true) const;

	// The name of a helper: a reserved name, or a name that begins with a
	// reserved prefix, as it stands, since no module name may take it. Any
	// other name is an error of the caller, which gets an empty name.
	String get_helper_name(const String &name) const;

private:
	Keywords keywords = nullptr;
	const void *context = nullptr;
	Set<String> reserved;
	Array<String> prefixes;
	Array<uint32_t> parents;
	Array<Set<String>> names;
};

} // namespace Vexa
