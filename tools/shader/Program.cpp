// The command line of the `shader` program: walks its arguments once, left to right. Every option
// takes effect when it is met, the first argument without a leading '-' loads
// the shader, and each output option writes its output at once with the
// settings in force at that moment.
#include "core/File.h"
#include "core/Log.h"
#include "core/String.h"
#include "shader/Shader.h"
#include "tools/shader/Program.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace Vexa {

namespace {

const char *const usage_lines[] = {
	"  -D<macro>[=<val>]  Define a macro and its value\n",
	"  -U<macro>          Undefine a macro\n",
	"  -no-warn, -nw      No warnings output\n",
	"  -vertex, -v        Vertex shader\n",
	"  -control, -tc      Control shader\n",
	"  -evaluate, -te     Evaluate shader\n",
	"  -geometry, -g      Geometry shader\n",
	"  -fragment, -f      Fragment shader\n",
	"  -compute, -c       Compute shader\n",
	"  -task, -t          Task shader\n",
	"  -mesh, -m          Mesh shader\n",
	"  -raygen, -rg       RayGen shader\n",
	"  -raymiss, -rm      RayMiss shader\n",
	"  -closest, -rc      Closest shader\n",
	"  -firsthit, -rf     FirstHit shader\n",
	"  -intersection, -ri Intersection shader\n",
	"  -callable, -rcall  Callable shader\n",
	"  -sampler <offset>  Sampler offset\n",
	"  -texture <offset>  Texture offset\n",
	"  -surface <offset>  Surface offset\n",
	"  -uniform <offset>  Uniform offset\n",
	"  -storage <offset>  Storage offset\n",
	"  -tracing <offset>  Tracing offset\n",
	"  -texel <offset>    Texel offset\n",
	"  -d <filename>      Decompile shader\n",
	"  -o <filename>      Output Vulkan SPIR-V binary\n",
	"  -gl <filename>     Create OpenGL SPIR-V binary\n",
	"  -glsl <filename>   Create GLSL OpenGL shader source\n",
	"  -glsles <filename> Create GLSL OpenGLES shader source\n",
	"  -hlsl <filename>   Create HLSL DXIL shader source\n",
	"  -hlslbc <filename> Create HLSL DXBC shader source\n",
	"  -wgsl <filename>   Create WGSL shader source\n",
	"  -msl <filename>    Create MSL shader source\n",
	"  -cu <filename>     Create CU shader source\n",
	"  -hip <filename>    Create HIP shader source\n",
};

struct StageWord {
	const char *name;
	const char *short_name;
	uint32_t type;
};

const StageWord stage_words[] = {
	{"vertex", "v", 1},
	{"control", "tc", 2},
	{"evaluate", "te", 3},
	{"geometry", "g", 4},
	{"fragment", "f", 5},
	{"compute", "c", 6},
	{"task", "t", 7},
	{"mesh", "m", 8},
	{"raygen", "rg", 9},
	{"raymiss", "rm", 10},
	{"closest", "rc", 11},
	{"firsthit", "rf", 12},
	{"intersection", "ri", 13},
	{"callable", "rcall", 14},
};

// binding-offset words, in the order the offsets are handed to the compiler
const char *const offset_words[] = {"sampler", "texture", "surface", "uniform", "storage", "tracing", "texel"};
constexpr uint32_t NumOffsets = sizeof(offset_words) / sizeof(offset_words[0]);

struct OutputWord {
	const char *name;
	const char *format;
	bool binary;
};

const OutputWord output_words[] = {
	{"d", nullptr, false},
	{"o", nullptr, true},
	{"gl", "GL_SPV", true},
	{"glsl", "GLSL_GL", false},
	{"glsles", "GLSL_GLES", false},
	{"hlsl", "HLSL_DXIL", false},
	{"hlslbc", "HLSL_DXBC", false},
	{"wgsl", "WGSL", false},
	{"msl", "MSL", false},
	{"cu", "CU", false},
	{"hip", "HIP", false},
};

void print_usage(const char *program) {
	Log::printf("Vexa Shader Compiler (build " __DATE__ " https://vexa.dev)\nUsage: %s -v shader.glsl\n", program);
	for (const char *line : usage_lines) Log::print(line);
}

// A binding offset is a signed decimal that fits in 16 bits: an optional '-'
// and digits, nothing else (no sign '+', no blanks, no radix prefix); anything
// else is refused instead of being read as 0 or silently truncated.
bool parse_offset(const char *text, int32_t &value) {
	const char *s = text;
	bool negative = *s == '-';
	if (negative) s++;
	if (*s == 0) return false;
	int64_t v = 0;
	for (; *s; s++) {
		if (*s < '0' || *s > '9') return false;
		v = v * 10 + (*s - '0');
		if (v > 32768) return false;
	}
	if (negative) v = -v;
	if (v < INT16_MIN || v > INT16_MAX) return false;
	value = (int32_t)v;
	return true;
}

// An output file is written beside its target under a temporary name and
// renamed into place once it is complete, so that a failed output leaves
// whatever was there before. A symbolic link is followed to the file it
// names; a target that exists and is not a regular file (a device such as
// /dev/null, a FIFO) cannot be replaced and is written directly.
class OutputFile {
public:
	~OutputFile() { discard(); }

	// opens file on the output for name; false with errno set
	bool open(File &file, const char *name) {
		discard();
		target = name;
		struct stat info;
		if (lstat(name, &info) == 0 && S_ISLNK(info.st_mode)) {
			char *resolved = realpath(name, nullptr);
			if (resolved != nullptr) {
				target = resolved;
				free(resolved);
			}
		}
		bool exists = stat(target.c_str(), &info) == 0;
		if (exists && !S_ISREG(info.st_mode)) return file.open(target.c_str(), "wb");

		size_t slash = target.rfind('/');
		std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + (slash == 0));
		std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
		temporary = dir + "/." + base + ".XXXXXX";
		int fd = mkstemp(&temporary[0]);
		if (fd < 0) {
			temporary.clear();
			return false;
		}
		// the mode a newly created file would get, or the one of the file replaced
		mode_t mode = exists ? (info.st_mode & 07777) : (0666 & ~current_umask());
		if (fchmod(fd, mode) != 0 || !file.open(fd, name, "wb")) {
			int error = errno;
			::close(fd);
			discard();
			errno = error;
			return false;
		}
		return true;
	}

	// puts a complete output in place, or drops a failed one; false when the
	// output could not be put in place (errno set)
	bool finish(bool ok) {
		if (temporary.empty()) return true;
		bool moved = ok && rename(temporary.c_str(), target.c_str()) == 0;
		int error = errno;
		if (!moved) unlink(temporary.c_str());
		temporary.clear();
		errno = error;
		return moved || !ok;
	}

private:
	static mode_t current_umask() {
		mode_t mask = umask(0);
		umask(mask);
		return mask;
	}

	void discard() {
		if (!temporary.empty()) unlink(temporary.c_str());
		temporary.clear();
	}

	std::string target;
	std::string temporary;
};

class Program {
public:
	Program(int argc, char **argv) : argc(argc), argv(argv) {}

	int run() {
		for (int i = 1; i < argc; i++) {
			const char *arg = argv[i];
			bool ok = arg[0] != '-' ? load(arg) : option(i);
			if (!ok) return 1;
		}
		return status;
	}

private:
	bool load(const char *name) {
		if (stage == 0) {
			Log::printf(Log::Error, "%s: shader type is not specified\n", argv[0]);
			return false;
		}
		// the input is read twice (its first word, then the load), which only a
		// regular file allows: a pipe would block or lose its first bytes
		struct stat info;
		if (stat(name, &info) == 0 && !S_ISREG(info.st_mode)) {
			Log::printf(Log::Error, "%s: can't open \"%s\" file\n%s\n", argv[0], name, S_ISDIR(info.st_mode) ? strerror(EISDIR) : "Not a regular file");
			return false;
		}
		errno = 0;
		if (!file.open(name, "rb")) {
			Log::printfSystemError(Log::Error, "%s: can't open \"%s\" file\n", argv[0], name);
			return false;
		}
		// a file shorter than one word is read as GLSL
		bool complete = true;
		uint32_t magic = file.readu32(&complete);
		if (!complete) magic = 0;
		file.close();
		Shader::Type type = (Shader::Type)stage;
		if (magic == SpirvMagic) return compiler.loadSPIRV(type, name);
		return compiler.loadGLSL(type, name, String::null, nullptr, 0);
	}

	bool option(int &i) {
		const char *arg = argv[i];
		const char *word = arg;
		while (*word == '-') word++;
		String name(word);
		if (name.startsWith("D")) {
			if (!Shader::setMacros(word + 1)) status = 1;
			return true;
		}
		if (name.startsWith("U")) {
			Shader::removeMacro(word + 1);
			return true;
		}
		if (name == "no-warn" || name == "nw") {
			Log::setLevel(Log::Error);
			return true;
		}
		for (const StageWord &stage_word : stage_words) {
			if (name == stage_word.name || name == stage_word.short_name) {
				stage = stage_word.type;
				return true;
			}
		}
		for (uint32_t j = 0; j < NumOffsets; j++) {
			if (name == offset_words[j] && i + 1 < argc) {
				if (!parse_offset(argv[i + 1], offsets[j])) {
					Log::printf(Log::Error, "%s: invalid command line option \"%s\"\n", argv[0], argv[i + 1]);
					return false;
				}
				i++;
				return true;
			}
		}
		if (!compiler.isCreated()) {
			Log::printf(Log::Error, "%s: shader is not created\n", argv[0]);
			return false;
		}
		compiler.setSamplerOffset(offsets[0]);
		compiler.setTextureOffset(offsets[1]);
		compiler.setSurfaceOffset(offsets[2]);
		compiler.setUniformOffset(offsets[3]);
		compiler.setStorageOffset(offsets[4]);
		compiler.setTracingOffset(offsets[5]);
		compiler.setTexelOffset(offsets[6]);

		const OutputWord *output = nullptr;
		for (const OutputWord &output_word : output_words) {
			if (name == output_word.name) output = &output_word;
		}
		if (output == nullptr) return invalid(arg);
		const char *next = i + 1 < argc ? argv[i + 1] : nullptr;

		// output to a file
		if (next != nullptr && next[0] != '-') {
			i++;
			errno = 0;
			OutputFile output_file;
			if (!output_file.open(file, next)) {
				Log::printfSystemError(Log::Error, "%s: can't create \"%s\" file\n", argv[0], next);
				return false;
			}
			bool ok = false;
			if (output->binary) {
				ok = compiler.writeOpcodes(file, output->format);
			} else {
				String text = compiler.getSource(output->format, &ok);
				if (ok && !file.puts(text)) ok = false;
			}
			errno = 0;
			bool written = file.close();
			if (written && !output_file.finish(ok)) written = false;
			if (!written) {
				Log::printfSystemError(Log::Error, "%s: can't write \"%s\" file\n", argv[0], next);
				output_file.finish(false);
				ok = false;
			}
			if (!ok) status = 1;
			return true;
		}

		// text to standard output; a lone '-' names it too
		if (!output->binary) {
			if (next != nullptr && strcmp(next, "-") == 0) i++;
			bool ok = false;
			String text = compiler.getSource(output->format, &ok);
			Log::print(text.get());
			if (ferror(stdout)) {
				Log::printf(Log::Error, "%s: can't write stdout\n", argv[0]);
				ok = false;
			}
			if (!ok) status = 1;
			return true;
		}

		// binary to standard output
		if (next == nullptr || strcmp(next, "-") != 0) return invalid(arg);
		i++;
		fflush(stdout);
		// a duplicate of the descriptor, so that closing the File leaves
		// standard output open for what follows
		errno = 0;
		int fd = dup(fileno(stdout));
		if (fd < 0 || !file.open(fd, "stdout", "wb")) {
			if (fd >= 0) close(fd);
			Log::printfSystemError(Log::Error, "%s: can't open stdout\n", arg);
			return false;
		}
		bool ok = compiler.writeOpcodes(file, output->format);
		errno = 0;
		if (!file.close()) {
			Log::printfSystemError(Log::Error, "%s: can't write stdout\n", arg);
			ok = false;
		}
		if (!ok) status = 1;
		return true;
	}

	bool invalid(const char *arg) {
		Log::printf(Log::Error, "%s: invalid command line option \"%s\"\n", argv[0], arg);
		return false;
	}

	static constexpr uint32_t SpirvMagic = 0x07230203u;

	int argc;
	char **argv;
	File file;
	ShaderCompiler compiler;
	uint32_t stage = 0;
	int32_t offsets[NumOffsets] = {};
	int status = 0;
};

} // namespace

int runShaderProgram(int argc, char **argv) {
	if (argc < 2 || strcmp(argv[1], "-h") == 0) {
		print_usage(argv[0]);
		return 0;
	}
	Program program(argc, argv);
	return program.run();
}

} // namespace Vexa
