// The GLSL backend over a fixed sample of the shared corpus (modules nobody on
// this project wrote), spread over every stage: each module goes through -glsl
// and -glsles. A text the program writes must be one the reference compiler
// takes; a rendering that fails must name what the target cannot express
// (the stages GL has not by their execution model). Neither crash nor hang
// nor silent failure is allowed. scripts/glsl_corpus.sh measures the whole
// corpus the same way.
//
// The corpus lives beside the project checkout (../shared/corpus, or
// $VEXA_CORPUS); where it is missing, the test says that it was skipped.
#include "backends/backend_fixtures.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace backend_test;

// the stages that neither GL nor ES has
const char *const missing_stages[] = {"task", "mesh", "rgen", "rmiss", "rchit", "rahit", "rint", "rcall"};

bool missing_stage(const std::string &stage) {
	for (const char *missing : missing_stages) {
		if (stage == missing) return true;
	}
	return false;
}

const char *const options[] = {"-glsl", "-glsles"};

} // namespace

TEST(GLSLCorpus, SampleRendersCheckedTextOrNamesWhatFails) {
	std::string dir = spirv_test::corpus_dir();
	std::vector<CorpusModule> rows;
	if (!corpus_rows(dir, rows)) GTEST_SKIP() << "GLSL corpus check skipped: " << dir << "/spv.tsv not found";
	if (!have_tool("glslangValidator")) GTEST_SKIP() << "glslangValidator is not installed";
	// 5% of each stage, at least 4 of each: about 120 modules
	std::vector<CorpusModule> sample = corpus_sample(rows, 50, 4);
	ASSERT_GT(sample.size(), 100u);

	for (const CorpusModule &module : sample) ASSERT_NE(stage_option(module.stage), "") << module.path << ": stage " << module.stage;
	const size_t format_count = sizeof(options) / sizeof(options[0]);
	std::vector<Rendering> renderings(sample.size() * format_count);
	parallel_for(renderings.size(), [&](size_t i) {
		const CorpusModule &module = sample[i / format_count];
		renderings[i] = render_module(stage_option(module.stage), dir + "/" + module.path, options[i % format_count]);
	});

	std::map<std::string, uint32_t> counts;
	std::string faults;
	// the written texts of each stage, and the module and option of each
	std::map<std::string, std::vector<std::pair<std::string, std::string>>> written;
	std::map<std::string, std::vector<std::string>> sources;
	for (size_t i = 0; i < renderings.size(); i++) {
		const CorpusModule &module = sample[i / format_count];
		const std::string format = options[i % format_count];
		const Rendering &rendering = renderings[i];
		std::string what = module.path + " " + format;
		if (rendering.status == 0) {
			counts[format + " rendered"]++;
			if (missing_stage(module.stage)) faults += what + ": renders a stage GL has not\n";
			written[module.stage].push_back({std::to_string(written[module.stage].size()) + "." + module.stage, rendering.text});
			sources[module.stage].push_back(what);
			continue;
		}
		std::string error = named_error(rendering.err);
		if (rendering.status != 1 || error.empty()) {
			faults += what + ": exit " + std::to_string(rendering.status) + " without a named error:\n" + rendering.err.substr(0, 1000);
			continue;
		}
		counts[format + " named"]++;
		// the loader may have named something of the stage before
		if (missing_stage(module.stage) && rendering.err.find("unknown execution model") == std::string::npos) {
			faults += what + ": a stage GL has not fails with " + error + "\n";
		}
	}
	// one run of the checker for each stage's texts, the runs side by side
	std::vector<std::string> stages;
	for (const auto &stage : written) stages.push_back(stage.first);
	std::vector<std::vector<std::string>> complaints(stages.size());
	parallel_for(stages.size(), [&](size_t i) { complaints[i] = check_texts(glsl_checker(stages[i]), written.at(stages[i])); });
	for (size_t i = 0; i < stages.size(); i++) {
		for (size_t k = 0; k < complaints[i].size(); k++) {
			if (complaints[i][k].empty()) continue;
			counts["rejected"]++;
			faults += sources[stages[i]][k] + ": the reference compiler rejects the text:\n" + complaints[i][k];
		}
	}
	std::printf("GLSL of %zu corpus modules: -glsl %u rendered, %u named errors; -glsles %u rendered, %u named errors; %u texts rejected\n",
		sample.size(), counts["-glsl rendered"], counts["-glsl named"], counts["-glsles rendered"], counts["-glsles named"], counts["rejected"]);
	EXPECT_TRUE(faults.empty()) << faults.substr(0, 8000);
}
