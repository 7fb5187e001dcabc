// The decompiled listing neither drops nor repeats work: for every fixture
// module of the project (the listing fixtures and the stage fixtures of the
// reader), per function, the stores, atomics, image writes, barriers, kills,
// calls and emitting instructions that spirv-dis shows are in the listing
// exactly as often. The same holds for what spirv-opt -O makes of each
// module. Every module passes spirv-val first.
//
// A module renders, or it is pinned below as one that may fail on what the
// listing does not take (named by its first error, never an internal one):
// what renders today is a floor. A pinned module that renders is reported, so
// that the list can shrink.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

using namespace listing_test;

namespace {

const char *const fixtures[] = {
	"shaders/listing_control.frag",
	"shaders/listing_memory.comp",
	"shaders/listing_functions.vert",
	"shaders/listing_geometry.geom",
	"shaders/listing_patch.tesc",
	"shaders/listing_mesh.mesh",
	"shaders/listing_task.task",
	"shaders/listing_trace.rgen",
	"shaders/listing_hit.rint",
	"shaders/listing_phi.frag",
	"shaders/listing_phi.comp",
	"spirv/stage.vert",
	"spirv/stage.tesc",
	"spirv/stage.tese",
	"spirv/stage.geom",
	"spirv/stage.frag",
	"spirv/stage.comp",
	"spirv/stage.task",
	"spirv/stage.mesh",
	"spirv/stage.rgen",
	"spirv/stage.rmiss",
	"spirv/stage.rchit",
	"spirv/stage.rahit",
	"spirv/stage.rint",
	"spirv/stage.rcall",
};

// a fixture's module as glslangValidator makes it, or as spirv-opt -O makes that
enum Variant { Compiled, Optimized };

// The modules that may fail, each with the instruction its listing fails on
// today.
struct MayFail {
	const char *fixture;
	Variant variant;
	const char *cause;
};
const MayFail may_fail[] = {
	{"spirv/stage.rahit", Compiled, "OpIgnoreIntersectionKHR"},
	// what the optimiser makes of variables: vectors built by insertion, undefined values
	{"shaders/listing_control.frag", Optimized, "OpCompositeInsert"},
	{"shaders/listing_functions.vert", Optimized, "OpUndef"},
	{"spirv/stage.rahit", Optimized, "OpIgnoreIntersectionKHR"},
};

const MayFail *find_may_fail(const std::string &name, Variant variant) {
	for (const MayFail &m : may_fail) {
		if (name == m.fixture && variant == m.variant) return &m;
	}
	return nullptr;
}

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-dis") && have_tool("spirv-opt") && have_tool("spirv-val");
}

// Every fixture in one variant: valid, and rendered with all its work, or
// pinned as one that may fail and failing by name. Returns how many render.
int check_fixtures(Variant variant) {
	int rendered = 0;
	for (const char *name : fixtures) {
		std::string what = std::string(name) + (variant == Optimized ? " after spirv-opt -O" : "");
		SCOPED_TRACE(what);
		std::string errors;
		std::vector<uint32_t> words = compile_file(name, &errors);
		EXPECT_FALSE(words.empty()) << errors;
		if (variant == Optimized) words = optimize(words, module_env(name));
		if (words.empty()) {
			ADD_FAILURE() << "no module";
			continue;
		}
		EXPECT_EQ(spirv_val(words, module_env(name)), "");
		Rendered listing = render(words);
		Failure failure = failure_of(listing);
		const MayFail *pinned = find_may_fail(name, variant);
		if (failure == Failure::None) {
			rendered++;
			expect_same_work(words, listing, what);
			if (pinned) std::printf("%s renders now: it can leave the list of modules that may fail\n", what.c_str());
		} else if (pinned && failure == Failure::Unsupported) {
			std::printf("%s fails as it may (on %s): %s\n", what.c_str(), pinned->cause, first_line(listing.errors).c_str());
		} else {
			ADD_FAILURE() << what << ": " << failure << (pinned ? "" : ", and is not among the modules that may fail") << ":\n" << listing.errors;
		}
	}
	return rendered;
}

} // namespace

TEST(ListingCounts, FixturesKeepEveryStatement) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-dis, spirv-opt or spirv-val missing";
	int rendered = check_fixtures(Compiled);
	std::printf("%d of %zu fixture modules render\n", rendered, sizeof(fixtures) / sizeof(fixtures[0]));
}

TEST(ListingCounts, OptimizedModulesKeepEveryStatement) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-dis, spirv-opt or spirv-val missing";
	int rendered = check_fixtures(Optimized);
	std::printf("%d of %zu optimized fixture modules render\n", rendered, sizeof(fixtures) / sizeof(fixtures[0]));
}

// the oracle itself: a listing that lost a store or repeated a call is caught
TEST(ListingCounts, CountingSeesMissingAndRepeatedWork) {
	const char *listing =
		"[constant] f32 f(f32 a) {\n\treturn a;\n}\n"
		"[constant] void main() {\n"
		"\tb32 p;\n"
		"\t[function] f32 x = f(1.0);\n"
		"\tf32 t = f(2.0);\n"
		"\t[constant] i32 c = y;\n"
		"\ty++;\n"
		"\tp = x < 0.0;\n"
		"\tfor([function] i32 i = 0; i < 3; i++, j += 2, p = !p) {\n"
		"\t\tif(i == 1) { z.x = t; }\n"
		"\t\tif(a <= b) break;\n"
		"\t}\n"
		"\tatomicAdd(buf.v, 1u);\n"
		"\timageAtomicMax(img, p, 2u);\n"
		"\timageStore(img, p, v);\n"
		"\tbarrier();\n"
		"\tmemoryBarrierShared();\n"
		"\tw <<= 2;\n"
		"\tdiscard;\n"
		"}\n";
	std::vector<Work> works = count_listing(listing);
	ASSERT_EQ(works.size(), 2u);
	EXPECT_EQ(works[0].stores, 0);
	const Work &w = works[1];
	EXPECT_EQ(w.stores, 7); // x, y++, i, i++, j += 2, z.x, w <<= 2, but not t, c or the listing's own p
	EXPECT_EQ(w.calls, 2);
	EXPECT_EQ(w.atomics, 2);
	EXPECT_EQ(w.image_writes, 1);
	EXPECT_EQ(w.barriers, 2);
	EXPECT_EQ(w.kills, 1);
}
