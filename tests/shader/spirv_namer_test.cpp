// The one namer of the renderer and its helper registry. The namer's table:
// keywords (through the callback), reserved names and prefixes win over every
// scope; a scope sees the names of the scopes around it but not of those
// beside it; a taken name is freed by its form of suffix, over and over where
// the suffixed name is taken too. The registry writes each helper once,
// whatever order it is asked in, and names a semantics helper only where the
// target gives it a body.
#include <gtest/gtest.h>

#include "shader/ShaderSpirv.h"
#include "shader/ShaderSpirvNamer.h"

#include <cstring>
#include <string>

namespace {

using namespace Vexa;

bool keywords(const void *, const char *name) {
	return strcmp(name, "while") == 0 || strstr(name, "__") != nullptr;
}

struct NamerTest : ::testing::Test {
	ShaderSpirvNamer namer;
	void SetUp() override {
		namer.set_keywords(keywords, nullptr);
		namer.reserve(String("main"));
		namer.reserve(String("_smod"));
		namer.reserve_prefix(String("_modf_"));
	}
};

TEST_F(NamerTest, OwnWordsAreFreeNowhere) {
	uint32_t local = namer.add_scope(ShaderSpirvNamer::Root);
	struct Case {
		const char *name;
		bool free;
	} cases[] = {
		{"while", false}, {"a__b", false}, {"main", false}, {"_smod", false}, {"_modf_S", false}, {"_modf", true}, {"_smod2", true}, {"x", true}, {"", false},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(namer.is_free(ShaderSpirvNamer::Root, String(c.name)), c.free) << c.name;
		EXPECT_EQ(namer.is_free(local, String(c.name)), c.free) << c.name;
	}
	EXPECT_EQ(namer.get_helper_name(String("_smod")), String("_smod"));
	EXPECT_EQ(namer.get_helper_name(String("_modf_vec2")), String("_modf_vec2"));
	// a helper may only have a name that no module name can take
	EXPECT_EQ(namer.get_helper_name(String("x")), String());
}

TEST_F(NamerTest, ReservedNamesAreLeftByTheirForms) {
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("main"), ShaderSpirvNamer::FormId, 0x1f), String("main_1f"));
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("_smod"), ShaderSpirvNamer::FormValue, 12), String("_smod_v12"));
	// no suffix leaves a reserved family: the name goes before "u"
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("_modf_S"), ShaderSpirvNamer::FormId, 3), String("u_modf_S"));
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("_modf_S"), ShaderSpirvNamer::FormId, 3), String("u_modf_S_3"));
	// a name that every suffix leaves a keyword becomes a generated one
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("a__b"), ShaderSpirvNamer::FormUnderscore, 0x2a), String("_r2a_0"));
	EXPECT_EQ(namer.claim(ShaderSpirvNamer::Root, String("a__b"), ShaderSpirvNamer::FormUnderscore, 0x2a), String("_r2a_1"));
}

TEST_F(NamerTest, CollisionsTakeSuffixesUntilFree) {
	uint32_t root = ShaderSpirvNamer::Root;
	EXPECT_EQ(namer.claim(root, String("x"), ShaderSpirvNamer::FormId, 0x15), String("x"));
	EXPECT_EQ(namer.claim(root, String("x"), ShaderSpirvNamer::FormId, 0x15), String("x_15"));
	// the suffixed name was the module's own: once more
	EXPECT_EQ(namer.claim(root, String("x"), ShaderSpirvNamer::FormId, 0x15), String("x_15_15"));
	EXPECT_EQ(namer.claim(root, String("y"), ShaderSpirvNamer::FormUnderscore, 1), String("y"));
	EXPECT_EQ(namer.claim(root, String("y"), ShaderSpirvNamer::FormUnderscore, 1), String("y_"));
	// one more '_' would be a keyword's form here
	EXPECT_NE(namer.claim(root, String("y"), ShaderSpirvNamer::FormUnderscore, 1), String("y__"));
	// without the output's words, only the scope counts
	EXPECT_EQ(namer.claim(root, String("while"), ShaderSpirvNamer::FormId, 0, false), String("while"));
	EXPECT_EQ(namer.claim(root, String("while"), ShaderSpirvNamer::FormId, 0, false), String("while_0"));
}

TEST_F(NamerTest, ScopesSeeTheirParentsOnly) {
	uint32_t root = ShaderSpirvNamer::Root;
	uint32_t f = namer.add_scope(root);
	uint32_t g = namer.add_scope(root);
	uint32_t inner = namer.add_scope(f);
	uint32_t other = namer.add_scope(ShaderSpirvNamer::None);
	EXPECT_EQ(namer.get_parent(inner), f);
	EXPECT_EQ(namer.get_parent(other), ShaderSpirvNamer::None);
	namer.take(root, String("g"));
	EXPECT_EQ(namer.claim(f, String("v"), ShaderSpirvNamer::FormValue, 7), String("v"));
	// a sibling scope may take the same name; a nested one may not, nor any
	// scope a global one
	EXPECT_EQ(namer.claim(g, String("v"), ShaderSpirvNamer::FormValue, 8), String("v"));
	EXPECT_EQ(namer.claim(inner, String("v"), ShaderSpirvNamer::FormValue, 9), String("v_v9"));
	EXPECT_EQ(namer.claim(f, String("g"), ShaderSpirvNamer::FormValue, 10), String("g_v10"));
	EXPECT_TRUE(namer.holds(inner, String("v_v9")));
	EXPECT_FALSE(namer.holds(inner, String("v")));
	EXPECT_TRUE(namer.is_taken(inner, String("v")));
	// a namespace of its own sees nothing of the tree
	EXPECT_EQ(namer.claim(other, String("g"), ShaderSpirvNamer::FormId, 1), String("g"));
	EXPECT_FALSE(namer.is_taken(root, String("v")));
	namer.clear();
	EXPECT_EQ(namer.get_scope_count(), 1u);
	EXPECT_TRUE(namer.is_free(root, String("main")));
	EXPECT_FALSE(namer.is_free(root, String("while")));
}

// The registry of the base with a target that writes its semantics helpers
// as one line that names the helper and its type, and has none for FMod.
class RegistryProbe : public ShaderSpirv {
public:
	using ShaderSpirv::add_helper;
	using ShaderSpirv::get_helper_definitions;
	using ShaderSpirv::namer;
	using ShaderSpirv::use_semantic_helper;
	uint32_t bodies = 0;
	void prepare() {
		namer.clear();
		for (uint32_t kind = 0; kind < HelperCount; kind++) namer.reserve(String(get_semantic_helper_name(static_cast<SemanticHelper>(kind))));
	}
	String get_semantic_helper_body(SemanticHelper kind, const String &name, const String &type, uint32_t components) override {
		if (kind == HelperFMod) return String();
		bodies++;
		return String::format("%s %s%u;\n", name.get(), type.get(), components);
	}
};

TEST(HelperRegistry, EachHelperOnceInTheOrderOfItsText) {
	RegistryProbe probe;
	probe.prepare();
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperSRem, String("ivec2"), 2), String("_srem"));
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperFOrdNotEqual, String("float"), 1), String("_fordne"));
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperSRem, String("int"), 1), String("_srem"));
	// met again: the body is not made again
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperSRem, String("ivec2"), 2), String("_srem"));
	EXPECT_EQ(probe.bodies, 3u);
	// the target writes the operation itself: no name, nothing written
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperFMod, String("float"), 1), String());
	EXPECT_EQ(probe.use_semantic_helper(ShaderSpirv::HelperSMod, String(), 1), String());
	// a helper of the target's own, under its key; a second body of the key is dropped
	EXPECT_TRUE(probe.add_helper(String("_modf_S"), String("S _modf_S;\n")));
	EXPECT_FALSE(probe.add_helper(String("_modf_S"), String("other;\n")));
	EXPECT_EQ(probe.get_helper_definitions(), String("S _modf_S;\n_fordne float1;\n_srem int1;\n_srem ivec22;\n"));
}

TEST(HelperRegistry, SemanticHelperNamesAreDistinct) {
	for (uint32_t a = 0; a < ShaderSpirv::HelperCount; a++) {
		const char *name = ShaderSpirv::get_semantic_helper_name(static_cast<ShaderSpirv::SemanticHelper>(a));
		EXPECT_EQ(name[0], '_') << a;
		EXPECT_TRUE(ShaderSpirv::is_identifier(name)) << name;
		for (uint32_t b = a + 1; b < ShaderSpirv::HelperCount; b++) EXPECT_STRNE(name, ShaderSpirv::get_semantic_helper_name(static_cast<ShaderSpirv::SemanticHelper>(b)));
	}
}

} // namespace
