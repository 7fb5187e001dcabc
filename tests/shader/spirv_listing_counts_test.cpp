// The decompiled listing neither drops nor repeats work: for every fixture
// module of the project (the listing fixtures and the stage fixtures of the
// reader), per function, the stores, atomics, image writes, barriers, kills,
// calls and emitting instructions that spirv-dis shows are in the listing
// exactly as often. The same holds for what spirv-opt -O makes of each
// module, or its listing fails with an error that names what is unknown.
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

bool have_tools() {
	return have_tool("glslangValidator") && have_tool("spirv-dis") && have_tool("spirv-opt");
}

// the listing of a module has the work of its disassembly, function by function
void expect_same_work(const std::vector<uint32_t> &words, const Rendered &listing, const std::string &what) {
	std::vector<Work> expected = count_disassembly(disassemble(words));
	std::vector<Work> actual = count_listing(listing.text);
	ASSERT_EQ(actual.size(), expected.size()) << what << ": functions in the listing\n" << listing.text;
	for (size_t i = 0; i < expected.size(); i++) {
		EXPECT_TRUE(actual[i] == expected[i]) << what << ", function " << i << ":\n  disassembly: " << expected[i].str()
											  << "\n  listing:     " << actual[i].str() << "\n"
											  << listing.text;
	}
}

// a failed listing names what it does not know
void expect_named_failure(const Rendered &listing, const std::string &what) {
	EXPECT_FALSE(listing.ok);
	EXPECT_NE(listing.errors.find("unknown"), std::string::npos) << what << ": " << listing.errors;
}

} // namespace

TEST(ListingCounts, FixturesKeepEveryStatement) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-dis or spirv-opt missing";
	for (const char *name : fixtures) {
		std::string errors;
		std::vector<uint32_t> words = compile_file(name, &errors);
		ASSERT_FALSE(words.empty()) << name << ": " << errors;
		Rendered listing = render(words);
		ASSERT_TRUE(listing.loaded) << name << ": " << listing.errors;
		bool own = std::string(name).find("listing_") != std::string::npos;
		if (listing.ok) {
			EXPECT_TRUE(listing.errors.empty()) << name << ": " << listing.errors;
			expect_same_work(words, listing, name);
		} else if (own) {
			ADD_FAILURE() << name << " does not render: " << listing.errors;
		} else {
			// a stage fixture may use an instruction that the listing has no text for
			expect_named_failure(listing, name);
		}
	}
}

TEST(ListingCounts, OptimizedModulesRenderWholeOrFail) {
	if (!have_tools()) GTEST_SKIP() << "glslangValidator, spirv-dis or spirv-opt missing";
	int rendered = 0;
	for (const char *name : fixtures) {
		std::vector<uint32_t> words = optimize(compile_file(name));
		ASSERT_FALSE(words.empty()) << name;
		Rendered listing = render(words);
		ASSERT_TRUE(listing.loaded) << name << ": " << listing.errors;
		std::string what = std::string(name) + " after spirv-opt -O";
		if (listing.ok) {
			rendered++;
			EXPECT_TRUE(listing.errors.empty()) << what << ": " << listing.errors;
			expect_same_work(words, listing, what);
		} else {
			expect_named_failure(listing, what);
		}
	}
	std::printf("%d of %zu optimized fixture modules render\n", rendered, sizeof(fixtures) / sizeof(fixtures[0]));
}

// the oracle itself: a listing that lost a store or repeated a call is caught
TEST(ListingCounts, CountingSeesMissingAndRepeatedWork) {
	const char *listing =
		"[constant] f32 f(f32 a) {\n\treturn a;\n}\n"
		"[constant] void main() {\n"
		"\t[function] f32 x = f(1.0);\n"
		"\tf32 t = f(2.0);\n"
		"\t[constant] i32 c = y;\n"
		"\ty++;\n"
		"\tfor([function] i32 i = 0; i < 3; i++, j += 2) {\n"
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
	EXPECT_EQ(w.stores, 7); // x, y++, i, i++, j += 2, z.x, w <<= 2, but not t or c
	EXPECT_EQ(w.calls, 2);
	EXPECT_EQ(w.atomics, 2);
	EXPECT_EQ(w.image_writes, 1);
	EXPECT_EQ(w.barriers, 2);
	EXPECT_EQ(w.kills, 1);
}
