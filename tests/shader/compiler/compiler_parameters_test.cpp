// Parameters passed by value get a variable of their own, stored at the start
// of the function, exactly when the body may write them: so that a read
// before the first write in the text sees the written value when a loop runs
// it again.
#include "shader/compiler/Compiler.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <string>

using namespace Vexa;

TEST(CompilerParameters, CopiedWhenTheBodyMayWriteThem) {
	struct Row {
		const char *body;
		const char *copied; // the parameters of f(float x, float y, vec2 v) with copies
	} rows[] = {
		{"return x + y;", ""},
		{"x = 1.0; return x;", "x"},
		{"float s = x; x *= 2.0; return s + x;", "x"},
		{"v.y += y; return v.x;", "v"},
		{"++x; y--; return x + y;", "xy"},
		{"v[1] = x; return v.y;", "v"},
		{"float t = v.x + v.y; return t == x ? y : x;", ""},
		// a member of the same name is no write of the parameter
		{"S s; s.x = 1.0; return x + s.x;", ""},
	};
	for (const Row &row : rows) {
		std::string source = std::string("#version 450\nlayout(local_size_x = 1) in;\nstruct S { float x; };\n"
			"float f(float x, float y, vec2 v) { ") + row.body + " }\nvoid main() {}\n";
		LogCapture log;
		Compiler compiler;
		uint32_t offset = 0;
		ASSERT_TRUE(compiler.compileGLSL(6, source.c_str(), nullptr, &offset, Compiler::DefaultFlags & ~uint32_t(Compiler::FlagUnused)))
			<< row.body << "\n" << log.text();
		std::string copied;
		for (uint32_t i = 0; i < compiler.functions.size(); i++) {
			const Compiler::Function &function = compiler.functions[i];
			if (function.name != "f") continue;
			for (uint32_t j = 0; j < function.parameters.size(); j++) {
				if (function.parameters[j].copy != ~0u) copied += "xyv"[j];
			}
		}
		EXPECT_EQ(copied, row.copied) << row.body;
	}
}
