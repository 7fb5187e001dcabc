// Control flow whose size is in the source, not in the nesting the compiler
// takes: a long else-if chain compiles to nested selections that spirv-val
// accepts, as code generators write them.
#include "compiler_fixtures.h"
#include "shader/spirv_fixtures.h"

#include <gtest/gtest.h>

TEST(CompilerFlow, LongElseIfChains) {
	std::string source = "#version 450\nlayout(local_size_x = 1) in;\nlayout(std430, binding = 0) buffer B { int x; int r; };\nvoid main() {\n  ";
	for (int i = 0; i < 300; i++) source += "if (x == " + std::to_string(i) + ") r = " + std::to_string(i * 3) + ";\n  else ";
	source += "r = -1;\n}\n";
	LogCapture capture;
	Vexa::Compiler compiler;
	uint32_t offset = 0;
	ASSERT_TRUE(compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Vexa::Compiler::DefaultFlags)) << capture.text();
	std::vector<uint32_t> words(compiler.words.get(), compiler.words.get() + compiler.words.size());
	if (!spirv_test::have_tool("spirv-val")) GTEST_SKIP() << "spirv-val is not installed";
	EXPECT_EQ(spirv_test::spirv_val(words, "vulkan1.0"), "");
}
