// Real modules that nobody on this project wrote: every SPIR-V module that the
// shared corpus lists (public test suites, each accepted by spirv-val) loads.
// Every id of every module also goes through the lookups that walk chains.
// The corpus lives beside the project checkout (../shared/corpus); where it is
// missing, the test says that it was skipped.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include <chrono>
#include <sys/stat.h>

using namespace spirv_test;

namespace {

// every id through the lookups that follow chains: they end, and read nothing out of bounds
void walk_all(const Probe &p) {
	LogCapture quiet;
	for (uint32_t id = 0; id < p.indices.size(); id++) {
		p.get_target_type(id);
		p.get_target_base_type(id);
		p.get_target_variable(id);
		p.get_target_components(id);
		p.get_target_builtin(id);
		p.get_target_record(id);
	}
}

} // namespace

TEST(SpirvCorpus, EveryListedModuleLoads) {
	std::string dir = corpus_dir();
	std::vector<std::string> paths;
	if (!corpus_modules(dir, paths)) GTEST_SKIP() << "SPIR-V corpus check skipped: " << dir << "/spv.tsv not found";
	auto start = std::chrono::steady_clock::now();
	uint32_t total = 0;
	uint32_t loaded_count = 0;
	uint32_t noisy = 0;
	std::string notes;
	std::string failures;
	for (const std::string &path : paths) {
		total++;
		std::vector<uint32_t> words = read_words(dir + "/" + path);
		Loaded loaded(words);
		if (loaded.ok) {
			loaded_count++;
			walk_all(loaded.probe);
			// a module may load and still have logged what the lookups could not
			// resolve (an unnamed built-in, an id of an unknown instruction)
			if (!loaded.errors.empty()) {
				noisy++;
				if (notes.size() < 1000) notes += "  " + path + ": " + loaded.errors;
			}
		} else if (failures.size() < 4000) {
			failures += path + ": " + loaded.errors;
		}
	}
	double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	std::printf("SPIR-V corpus: %u of %u modules load (%.1f s)\n", loaded_count, total, seconds);
	if (noisy) std::printf("%u of them logged errors while loading, among them:\n%s", noisy, notes.c_str());
	EXPECT_GT(total, 0u);
	EXPECT_EQ(loaded_count, total) << failures;
}
