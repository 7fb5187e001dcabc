// The public corpus of GLSL shaders that the reference compiler accepts and
// that declare every location and binding: each one either compiles to a
// module spirv-val accepts, or fails with an error that names what it does
// not take. Prints how many compile and the most common causes of the rest.
#include "core/Log.h"
#include "shader/Shader.h"

#include "../spirv_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vexa;
using spirv_test::corpus_dir;
using spirv_test::have_tool;

namespace {

struct Capture {
	static bool callback(int32_t level, uint64_t, const char *text, void *data) {
		if (level <= Log::Error) static_cast<std::string *>(data)->append(text);
		return true;
	}
};

// the cause of a failure: the compiler's message without names and numbers
std::string cause_of(const std::string &errors) {
	const std::string prefix = "Compiler::compileGLSL(): ";
	size_t start = errors.find(prefix);
	std::string line;
	if (start == std::string::npos) {
		line = errors.substr(0, errors.find('\n'));
	} else {
		start += prefix.size();
		line = errors.substr(start, errors.find('\n', start) - start);
	}
	std::string ret;
	bool quoted = false;
	for (char c : line) {
		if (c == '"') {
			quoted = !quoted;
			ret += quoted ? "\"..." : "\"";
			continue;
		}
		if (!quoted) ret += c;
	}
	return ret;
}

std::string run(const std::string &command) {
	std::string ret;
	FILE *pipe = popen(command.c_str(), "r");
	if (pipe == nullptr) return "can't run";
	char buffer[4096];
	size_t size;
	while ((size = fread(buffer, 1, sizeof(buffer), pipe)) > 0) ret.append(buffer, size);
	pclose(pipe);
	return ret;
}

} // namespace

TEST(CompilerCorpus, CompilesOrNamesWhatItDoesNotTake) {
	std::string corpus = corpus_dir();
	std::ifstream list(corpus + "/glsl.tsv");
	if (!list) GTEST_SKIP() << "GLSL corpus check skipped: " << corpus << "/glsl.tsv not found";
	if (!have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	const std::map<std::string, Shader::Type> stages = {{"vert", Shader::Vertex}, {"tesc", Shader::Control},
		{"tese", Shader::Evaluate}, {"geom", Shader::Geometry}, {"frag", Shader::Fragment}, {"comp", Shader::Compute},
		{"task", Shader::Task}, {"mesh", Shader::Mesh}, {"rgen", Shader::RayGen}, {"rmiss", Shader::RayMiss},
		{"rchit", Shader::Closest}, {"rahit", Shader::FirstHit}, {"rint", Shader::Intersection}, {"rcall", Shader::Callable}};

	std::string line;
	std::getline(list, line);
	uint32_t total = 0;
	uint32_t compiled = 0;
	std::map<std::string, uint32_t> causes;
	std::vector<std::string> invalid;
	std::string out = "/tmp/vexa_corpus_" + std::to_string(getpid()) + ".spv";
	while (std::getline(list, line)) {
		std::istringstream fields(line);
		std::string path, stage, environment, validates, explicit_bindings;
		std::getline(fields, path, '\t');
		std::getline(fields, stage, '\t');
		std::getline(fields, environment, '\t');
		std::getline(fields, validates, '\t');
		std::getline(fields, explicit_bindings, '\t');
		if (validates != "ok" || explicit_bindings != "yes" || !stages.count(stage)) continue;
		total++;

		std::string errors;
		Log::Callback previous = Log::getCallback();
		void *previous_data = Log::getCallbackData();
		Log::setCallback(&Capture::callback, &errors);
		ShaderCompiler compiler;
		bool ok = compiler.loadGLSL(stages.at(stage), (corpus + "/" + path).c_str());
		Log::setCallback(previous, previous_data);
		if (!ok) {
			EXPECT_NE(errors, "") << path << ": failed without an error";
			causes[cause_of(errors)]++;
			continue;
		}
		const Array<uint32_t> &words = compiler.getOpcodes();
		{
			std::ofstream file(out, std::ios::binary);
			file.write(reinterpret_cast<const char *>(words.get()), (std::streamsize)(words.size() * 4));
		}
		// the module's own version picks the environment
		uint32_t version = words.size() > 1 ? words[1] : 0;
		std::string target = version <= 0x10000u ? "vulkan1.0" : version <= 0x10300u ? "vulkan1.1" : version == 0x10400u ? "vulkan1.1spv1.4"
			: version == 0x10500u ? "vulkan1.2" : "vulkan1.3";
		std::string verdict = run("spirv-val --target-env " + target + " " + out + " 2>&1");
		if (verdict.empty()) compiled++;
		else invalid.push_back(path + "\n" + verdict);
	}
	std::remove(out.c_str());

	std::vector<std::pair<uint32_t, std::string>> sorted;
	for (const auto &cause : causes) sorted.push_back({cause.second, cause.first});
	std::sort(sorted.rbegin(), sorted.rend());
	std::string summary = "corpus: " + std::to_string(total) + " shaders, " + std::to_string(compiled) + " compile and validate, " +
		std::to_string(invalid.size()) + " compile to invalid modules; most common causes of the rest:\n";
	for (size_t i = 0; i < sorted.size() && i < 15; i++) summary += "  " + std::to_string(sorted[i].first) + "  " + sorted[i].second + "\n";
	std::cout << summary;
	for (const std::string &failure : invalid) ADD_FAILURE() << failure;
	EXPECT_GT(total, 0u);
}
