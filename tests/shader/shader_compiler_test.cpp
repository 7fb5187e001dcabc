// ShaderCompiler: created state, offsets and option bytes, the format
// registry, and how the command line hands binding offsets to the outputs.
#include "core/Log.h"
#include "shader/Shader.h"
#include "shader/ShaderSpirv.h"
#include "shader/ShaderState.h"
#include "tools/shader/Program.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace Vexa;

namespace {

// A format that records the options it was handed at each load.
struct RecordingFormat : ShaderSpirv {
	explicit RecordingFormat(const char *format, std::vector<BindingOffsets> *seen) : ShaderSpirv(format), seen(seen) {}
	explicit RecordingFormat(std::vector<BindingOffsets> *seen) : seen(seen) {}
	bool load(const Array<uint32_t> &module) override {
		seen->push_back(getBindingOffsets());
		words = module;
		return true;
	}
	bool get_source(String &out) override {
		out = "rendered\n";
		return true;
	}
	ShaderSpirv *clone() const override { return new RecordingFormat(seen); }
	std::vector<BindingOffsets> *seen;
};

Array<uint32_t> module_words() {
	Array<uint32_t> words;
	for (uint32_t w : {0x07230203u, 0x00010000u, 0u, 1u, 0u}) words.append(w);
	return words;
}

} // namespace

TEST(ShaderCompiler, CreatedState) {
	ShaderCompiler compiler;
	EXPECT_FALSE(compiler.isCreated());
	EXPECT_EQ(compiler.getType(), Shader::Unknown);
	EXPECT_TRUE(compiler.createSPIRV(Shader::Compute, module_words()));
	EXPECT_TRUE(compiler.isCreated());
	EXPECT_EQ(compiler.getType(), Shader::Compute);
	EXPECT_EQ(compiler.getOpcodes().size(), 5u);
	compiler.clear();
	EXPECT_FALSE(compiler.isCreated());
	EXPECT_STREQ(Shader::getTypeName(Shader::Callable), "Callable");
	EXPECT_STREQ(Shader::getTypeName((Shader::Type)99), "Unknown");
}

TEST(ShaderCompiler, OffsetsAreSixteenBits) {
	ShaderCompiler compiler;
	compiler.setSamplerOffset(70000);
	EXPECT_EQ(compiler.getSamplerOffset(), 4464);
	compiler.setTexelOffset(-3);
	EXPECT_EQ(compiler.getTexelOffset(), -3);
	compiler.setFirstFlag(7);
	EXPECT_FALSE(compiler.copyOptions((ShaderSpirv *)nullptr));
	EXPECT_FALSE(compiler.copyOptions((Shader *)nullptr));
	ShaderCompiler other;
	EXPECT_TRUE(compiler.copyOptions(&other));
	EXPECT_EQ(other.getSamplerOffset(), 4464);
	EXPECT_EQ(other.getTexelOffset(), -3);
	EXPECT_EQ(other.getFirstFlag(), 7);
}

TEST(ShaderCompiler, CompilingSourceNeedsAPlatform) {
	LogCapture log;
	ShaderCompiler compiler;
	Shader::State state;
	EXPECT_FALSE(compiler.compile(Shader::Vertex, String("void main() {}"), state));
	EXPECT_EQ(log.text(), "ShaderCompiler::compile(): unknown platform\n");
}

TEST(ShaderCompiler, RegistryFailures) {
	LogCapture log;
	ShaderCompiler compiler;
	EXPECT_EQ(compiler.getSource("HLSL"), "");
	EXPECT_EQ(log.text(), "ShaderSpirv::get(): can't find \"HLSL\" shader format\nShaderCompiler::getSource(): can't load shader\n");
	log.clear();
	bool ok = true;
	EXPECT_EQ(compiler.getSource(nullptr, &ok), "");
	EXPECT_FALSE(ok);
	EXPECT_EQ(log.text(), "ShaderSpirv::load(): invalid data size 0\nShaderCompiler::getSource(): can't load shader\n");
}

TEST(ShaderCompiler, PrototypesAreFoundUntilDestroyed) {
	std::vector<BindingOffsets> seen;
	{
		RecordingFormat prototype("TEST_FORMAT", &seen);
		EXPECT_TRUE(ShaderSpirv::has_format("TEST_FORMAT"));
		EXPECT_FALSE(ShaderSpirv::has_format("test_format"));
		ShaderCompiler compiler;
		compiler.createSPIRV(Shader::Compute, module_words());
		compiler.setUniformOffset(5);
		bool ok = false;
		EXPECT_EQ(compiler.getSource("TEST_FORMAT", &ok), "rendered\n");
		EXPECT_TRUE(ok);
		EXPECT_EQ(compiler.getSource("TEST_FORMAT"), "rendered\n");
		ASSERT_EQ(seen.size(), 2u);
		EXPECT_EQ(seen[0].offsets[BindingOffsets::Uniform], 5);
	}
	EXPECT_FALSE(ShaderSpirv::has_format("TEST_FORMAT"));
}

// The offsets of the command line reach the compiler in their order, and only
// when an output is met, so each output sees the values given before it.
TEST(ShaderCompiler, CommandLineOffsetsReachEachOutput) {
	std::string spv = "/tmp/vexa_offsets_" + std::to_string(getpid()) + ".spv";
	Array<uint32_t> words = module_words();
	FILE *f = fopen(spv.c_str(), "wb");
	fwrite(words.get(), 4, words.size(), f);
	fclose(f);

	std::vector<BindingOffsets> seen;
	RecordingFormat prototype("HLSL_DXIL", &seen);
	std::string a = spv + ".a", b = spv + ".b";
	const char *args[] = {"shader", "-sampler", "4", "-c", spv.c_str(), "-texture", "-2", "-surface", "3", "-uniform", "4",
		"-storage", "5", "-tracing", "6", "-texel", "7", "-hlsl", a.c_str(), "-sampler", "0", "-hlsl", b.c_str()};
	int status = runShaderProgram((int)(sizeof(args) / sizeof(args[0])), const_cast<char **>(args));
	EXPECT_EQ(status, 0);
	ASSERT_EQ(seen.size(), 2u);
	const int16_t first[] = {4, -2, 3, 4, 5, 6, 7, 0};
	for (int i = 0; i < 8; i++) EXPECT_EQ(seen[0].offsets[i], first[i]) << i;
	EXPECT_EQ(seen[1].offsets[BindingOffsets::Sampler], 0);
	EXPECT_EQ(seen[1].offsets[BindingOffsets::Texel], 7);
	std::remove(spv.c_str());
	std::remove(a.c_str());
	std::remove(b.c_str());
}

TEST(ShaderCompiler, UnreadableSourcesFailTheLoad) {
	LogCapture log;
	ShaderCompiler compiler;
	EXPECT_FALSE(compiler.loadGLSL(Shader::Fragment, "/tmp"));
	EXPECT_NE(log.text().find("Shader::loadGLSL(): can't read \"/tmp\" file\n"), std::string::npos) << log.text();
	log.clear();
	EXPECT_FALSE(compiler.loadGLSL(Shader::Fragment, "/nonexistent/x.frag"));
	EXPECT_NE(log.text().find("Shader::loadGLSL(): can't open \"/nonexistent/x.frag\" file\n"), std::string::npos) << log.text();
	EXPECT_FALSE(compiler.isCreated());
}

namespace {

const char *const fragment_source =
	"#version 450\n"
	"layout(location = 0) out vec4 color;\n"
	"layout(binding = 0) uniform Tint { vec4 tint; } tintBlock;\n"
	"float unusedValue;\n"
	"void main() {}\n";

bool has_text(const Array<uint32_t> &words, const char *text) {
	std::string bytes(reinterpret_cast<const char *>(words.get()), words.size() * 4);
	return bytes.find(text) != std::string::npos;
}

} // namespace

TEST(ShaderCompiler, OneCompilerPerThreadUntilTheLastShaderGoes) {
	{
		ShaderCompiler a;
		EXPECT_EQ(get_cached_compilers(), 0u);
		ASSERT_TRUE(a.createGLSL(Shader::Fragment, fragment_source));
		EXPECT_EQ(get_cached_compilers(), 1u);
		ShaderCompiler b;
		ASSERT_TRUE(b.createGLSL(Shader::Fragment, fragment_source));
		EXPECT_EQ(get_cached_compilers(), 1u);
		EXPECT_EQ(std::vector<uint32_t>(a.getOpcodes().get(), a.getOpcodes().get() + a.getOpcodes().size()),
			std::vector<uint32_t>(b.getOpcodes().get(), b.getOpcodes().get() + b.getOpcodes().size()));
		std::thread other([] {
			ShaderCompiler c;
			EXPECT_TRUE(c.createGLSL(Shader::Fragment, fragment_source));
		});
		other.join();
		EXPECT_EQ(get_cached_compilers(), 2u);
	}
	EXPECT_EQ(get_cached_compilers(), 0u);
	ShaderCompiler d;
	ASSERT_TRUE(d.createGLSL(Shader::Fragment, fragment_source));
	EXPECT_EQ(get_cached_compilers(), 1u);
}

TEST(ShaderCompiler, PragmasSetTheCompileFlags) {
	LogCapture log;
	ShaderCompiler compiler;
	ASSERT_TRUE(compiler.createGLSL(Shader::Fragment, fragment_source));
	EXPECT_TRUE(has_text(compiler.getOpcodes(), "tintBlock"));
	EXPECT_NE(log.text().find("unused variable f32 unusedValue"), std::string::npos) << log.text();

	LogCapture quiet;
	std::string source = std::string("#pragma nodebug\n#pragma nounused\n") + fragment_source;
	ASSERT_TRUE(compiler.createGLSL(Shader::Fragment, source.c_str()));
	EXPECT_FALSE(has_text(compiler.getOpcodes(), "tintBlock"));
	// outputs keep their names whatever the flags
	EXPECT_TRUE(has_text(compiler.getOpcodes(), "color"));
	EXPECT_EQ(quiet.text().find("unused variable"), std::string::npos) << quiet.text();

	// reserved words may be declared only under noreserved
	const char *reserved = "#version 450\nlayout(location = 0) out vec4 color;\nfloat filter;\nvoid main() {}\n";
	EXPECT_FALSE(compiler.createGLSL(Shader::Fragment, reserved));
	EXPECT_NE(quiet.text().find("\"filter\" name reserved"), std::string::npos) << quiet.text();
	std::string allowed = std::string("#pragma noreserved\n") + reserved;
	EXPECT_TRUE(compiler.createGLSL(Shader::Fragment, allowed.c_str())) << quiet.text();
}
