// Fuzz target of the GLSL compiler: arbitrary bytes as preprocessed shader
// text of any stage, compiled by one Compiler object that is reused from input
// to input, as a thread's compiler is. Any crash, hang, leak or sanitizer
// report is a fault: bad text must only ever end in a logged error. A shader
// that compiles must give a module whose instructions tile its words exactly;
// whether the module is valid is checked outside, since a validator per input
// would slow the fuzzing down too much (see check_compiler_corpus.sh).
//
// The first byte picks the stage (1 + byte % 14: 0 vertex, 4 fragment,
// 5 compute, ...); the other bytes, cut at the first NUL, are the text.
//
// With VEXA_FUZZ_SPIRV set to a folder, every input that compiles is written
// there as NAME.glsl (the input, stage byte included) and its module as
// NAME.spv, NAME being a hash of the input; run so over a corpus with -runs=0
// to validate the modules of all its inputs.
//
// Built with clang from this file and the library's sources with
// -fsanitize=fuzzer,address,undefined (and zlib); run for instance as
//   compiler_fuzz -max_len=4096 -max_total_time=60 -dict=compiler.dict CORPUS_DIR
#include "core/Log.h"
#include "shader/compiler/Compiler.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// swallows every log line, a fatal one included, so that the run goes on
bool quiet(int32_t, uint64_t, const char *, void *) {
	return true;
}

// the module's framing: the SPIR-V header, then instructions whose word
// counts add up to the module's size
void check_module(const Vexa::Array<uint32_t> &words) {
	if (words.size() < 5 || words[0] != 0x07230203u || words[3] == 0 || words[4] != 0) abort();
	uint32_t i = 5;
	while (i < words.size()) {
		uint32_t count = words[i] >> 16;
		if (count == 0 || count > words.size() - i) abort();
		i += count;
	}
}

bool write_file(const std::string &name, const void *data, size_t size) {
	FILE *file = fopen(name.c_str(), "wb");
	if (file == nullptr) return false;
	bool ok = fwrite(data, 1, size, file) == size;
	return fclose(file) == 0 && ok;
}

// keeps the input and its module in the folder of VEXA_FUZZ_SPIRV
void keep(const char *folder, const uint8_t *data, size_t size, const Vexa::Array<uint32_t> &words) {
	uint64_t hash = 14695981039346656037ull;
	for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 1099511628211ull;
	char name[32];
	snprintf(name, sizeof(name), "/%016llx", static_cast<unsigned long long>(hash));
	std::string base = std::string(folder) + name;
	if (!write_file(base + ".glsl", data, size) || !write_file(base + ".spv", words.get(), words.size() * sizeof(uint32_t))) {
		fprintf(stderr, "compiler_fuzz: can't write %s.spv\n", base.c_str());
		abort();
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	if (size == 0) return 0;
	Vexa::Log::setCallback(quiet, nullptr);
	static Vexa::Compiler compiler;
	static const char *folder = getenv("VEXA_FUZZ_SPIRV");

	uint32_t stage = 1 + data[0] % 14;
	// the text ends at the first NUL, as a C string does
	std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
	uint32_t error_offset = 0;
	if (!compiler.compileGLSL(stage, text.c_str(), "", &error_offset, Vexa::Compiler::DefaultFlags)) return 0;
	check_module(compiler.words);
	if (folder != nullptr && *folder != '\0') keep(folder, data, size, compiler.words);
	return 0;
}
