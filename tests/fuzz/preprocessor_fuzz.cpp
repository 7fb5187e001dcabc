// Fuzz target of the preprocessor: arbitrary bytes as shader text, with a
// few macros predefined and in-memory include files cut from the same input,
// so that directives, expansions, includes and their failures are all
// reachable. Any crash, hang, leak or sanitizer report is a fault: bad text
// must only ever end in a logged error.
//
// The input is split at NUL bytes: the first piece is the shader text, the
// following ones are the files "a.h", "b.h", "c.h" and "d.h".
//
// Built with clang from this file and the library's sources with
// -fsanitize=fuzzer,address,undefined (and zlib); run for instance as
//   preprocessor_fuzz -max_len=4096 -max_total_time=60 CORPUS_DIR
#include "core/Log.h"
#include "core/String.h"
#include "shader/Shader.h"
#include "shader/ShaderState.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// swallows every log line, a fatal one included, so that the run goes on
bool quiet(int32_t, uint64_t, const char *, void *) {
	return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
	Vexa::Log::setCallback(quiet, nullptr);
	std::string input(reinterpret_cast<const char *>(data), size);
	std::string pieces[5];
	size_t count = 0;
	size_t start = 0;
	while (count < 5) {
		size_t end = input.find('\0', start);
		pieces[count++] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
		if (end == std::string::npos) break;
		start = end + 1;
	}

	Vexa::Shader::State state;
	state.set_macros("__LINE__=0;VEXA_GLSL=1;ONE=1;F(x)=[x];V(a, ...)=__VA_ARGC__ __VA_ARGS__");
	// a sixteenth of the usual work limit: an input that spends it all then
	// takes a fraction of a second, so that work the limit fails to count
	// stands out among the slow inputs
	state.expansion_limit = Vexa::Shader::State::MaxExpansionWork / 16;
	static const char *const names[] = {"a.h", "b.h", "c.h", "d.h"};
	for (size_t i = 1; i < count; i++) state.add_file(names[i - 1], pieces[i].c_str());

	Vexa::String out;
	Vexa::Shader::preprocessor(pieces[0].c_str(), out, state, true);
	// the line table must answer for every offset of the output
	for (uint32_t offset = 0; offset <= out.size(); offset += 1 + out.size() / 64) {
		state.get_line(offset);
		state.get_file(offset);
	}
	return 0;
}
