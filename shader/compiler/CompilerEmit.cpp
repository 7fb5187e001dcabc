// Word emission: every instruction the compiler makes goes through these, into
// the code of a function or into the module's declaration words. An
// instruction is its first word, (word count << 16) | opcode, and its
// operands; literal strings are packed four bytes a word, little-endian, with
// the terminating NUL always inside the last word.
#include "shader/compiler/Compiler.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

namespace {

// the word count field has 16 bits: a longer instruction can't be written
uint32_t first_word(uint32_t count, uint32_t opcode) {
	if (count > 0xffffu) throwError("too many words in %u opcode\n", opcode);
	return (count << 16) | (opcode & 0xffffu);
}

void append_words(Array<uint32_t> &dst, std::initializer_list<uint32_t> list, const Array<uint32_t> &extra) {
	dst.reserve(dst.size() + static_cast<uint32_t>(list.size()) + extra.size());
	for (uint32_t word : list) dst.append(word);
	for (uint32_t i = 0; i < extra.size(); i++) dst.append(extra[i]);
}

// the packed words of str: size / 4 + 1 of them
void append_string(Array<uint32_t> &dst, const String &str) {
	uint32_t size = str.size();
	const unsigned char *src = reinterpret_cast<const unsigned char *>(str.get());
	dst.reserve(dst.size() + size / 4 + 1);
	for (uint32_t i = 0; i <= size; i += 4) {
		uint32_t word = 0;
		for (uint32_t j = 0; j < 4 && i + j < size; j++) word |= static_cast<uint32_t>(src[i + j]) << (8 * j);
		dst.append(word);
	}
}

// the branches, returns and kills, and the instructions that end an
// invocation's work: terminating and ignoring rays, emitting mesh tasks
bool is_terminator(uint32_t opcode) {
	return (opcode >= Spirv::OpBranch && opcode <= Spirv::OpUnreachable) || opcode == Spirv::OpTerminateInvocation || opcode == Spirv::OpIgnoreIntersection || opcode == Spirv::OpTerminateRay || opcode == Spirv::OpEmitMeshTasks;
}

} // namespace

void Compiler::add_function_opcode(Function &function, uint32_t opcode, std::initializer_list<uint32_t> list, const Array<uint32_t> &extra) {
	uint32_t first = first_word(1 + static_cast<uint32_t>(list.size()) + extra.size(), opcode);
	// code after a terminator starts a block of its own, whose label id is
	// given when the function is emitted; nothing branches to it
	if (opcode != Spirv::OpLabel && is_terminator(function.last_opcode)) {
		function.code.append((2u << 16) | Spirv::OpLabel);
		function.labels.append(function.code.size());
		function.code.append(~0u);
		function.dead = true;
	}
	function.code.append(first);
	append_words(function.code, list, extra);
	function.last_opcode = opcode;
}

void Compiler::add_module_opcode(uint32_t opcode, std::initializer_list<uint32_t> list, const Array<uint32_t> &extra) {
	words.append(first_word(1 + static_cast<uint32_t>(list.size()) + extra.size(), opcode));
	append_words(words, list, extra);
}

void Compiler::add_module_string(const String &str) {
	append_string(words, str);
}

void Compiler::add_module_string_opcode(uint32_t opcode, std::initializer_list<uint32_t> list, const String &str, const Array<uint32_t> &extra) {
	uint64_t count = 1 + list.size() + str.size() / 4 + 1 + extra.size();
	words.append(first_word(count > 0xffffu ? 0x10000u : static_cast<uint32_t>(count), opcode));
	for (uint32_t word : list) words.append(word);
	append_string(words, str);
	append_words(words, {}, extra);
}

} // namespace Vexa
