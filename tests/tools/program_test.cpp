// The command line of `shader`: usage text, the argument walk, stage words,
// offsets and the command-line errors, checked on the real program.
#include "tools/run_program.h"
#include "tools/spirv_fixtures.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

namespace {

const std::string Program = VEXA_SHADER_PROGRAM;

std::string usage_tail() {
	return read_file(std::string(VEXA_TEST_DATA) + "/tools/usage.txt");
}

// "E: " and a time stamp in one of its forms, then the text, as a whole line
std::regex error_line(const std::string &text) {
	return std::regex("(^|\n)E: [ 0-9:.]+ (us|ms|s): " + text + "\n");
}

bool has_error(const std::string &err, const std::string &text) {
	return std::regex_search(err, error_line(text));
}

} // namespace

TEST(ShaderProgram, UsageText) {
	for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-h"}}) {
		ProgramResult r = run_program(args);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(r.err, "");
		std::regex first("Vexa Shader Compiler \\(build [A-Z][a-z]{2} [ 0-9]{2} [0-9]{4} [^)]+\\)\nUsage: " + Program + " -v shader.glsl\n");
		size_t split = r.out.find("\n", r.out.find("Usage:")) + 1;
		EXPECT_TRUE(std::regex_match(r.out.substr(0, split), first)) << r.out;
		EXPECT_EQ(r.out.substr(split), usage_tail());
	}
}

TEST(ShaderProgram, CommandLineErrors) {
	struct Case {
		std::vector<std::string> args;
		std::string message;
	};
	const Case cases[] = {
		{{"a.frag"}, Program + ": shader type is not specified"},
		{{"--h"}, Program + ": shader is not created"},
		{{"-f", "--hlsl", "out.hlsl", "a.frag"}, Program + ": shader is not created"},
		{{"-bogus"}, Program + ": shader is not created"},
		{{"-v", "-d"}, Program + ": shader is not created"},
		{{"-f", "/nonexistent/a.frag"}, Program + ": can't open \"/nonexistent/a.frag\" file\nNo such file or directory"},
		{{"-sampler", "x"}, Program + ": invalid command line option \"x\""},
		{{"-sampler", "40000"}, Program + ": invalid command line option \"40000\""},
		{{"-texel", "4x"}, Program + ": invalid command line option \"4x\""},
		// offsets are signed decimals: no other radix, sign or blanks
		{{"-texel", "0x10"}, Program + ": invalid command line option \"0x10\""},
		{{"-texel", "+5"}, Program + ": invalid command line option \"\\+5\""},
		{{"-texel", " 5"}, Program + ": invalid command line option \" 5\""},
		{{"-texel", "5 "}, Program + ": invalid command line option \"5 \""},
		{{"-texel", "-"}, Program + ": invalid command line option \"-\""},
		{{"-texel", "-32769"}, Program + ": invalid command line option \"-32769\""},
	};
	for (const Case &c : cases) {
		ProgramResult r = run_program(c.args);
		EXPECT_EQ(r.status, 1) << c.message;
		EXPECT_EQ(r.out, "");
		EXPECT_TRUE(has_error(r.err, (c.message))) << r.err;
	}
}

TEST(ShaderProgram, OptionsThatNeedNoShader) {
	const std::vector<std::string> accepted[] = {
		{"-v"},
		{"---fragment", "--rcall", "-intersection"},
		{"-DFOO=1", "-UFOO"},
		{"-no-warn", "-nw"},
		{"-sampler", "4", "-texture", "-3", "-surface", "002", "-uniform", "32767", "-storage", "-32768", "-tracing", "0", "-texel", "7"},
	};
	for (const auto &args : accepted) {
		ProgramResult r = run_program(args);
		EXPECT_EQ(r.status, 0) << r.err;
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(r.err, "");
	}
}

TEST(ShaderProgram, FirstFailureEndsTheWalk) {
	ProgramResult r = run_program({"a.frag", "b.frag"});
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(has_error(r.err, (Program + ": shader type is not specified"))) << r.err;
}

namespace {

struct SpirvInput : ::testing::Test {
	void SetUp() override {
		spv = compile_fixture("basic.comp");
		if (spv.empty()) GTEST_SKIP() << "glslangValidator is not installed";
		dir = "/tmp/vexa_program_" + std::to_string(getpid());
		std::system(("mkdir -p " + dir).c_str());
	}
	void TearDown() override {
		if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
	}
	std::string spv;
	std::string dir;
};

} // namespace

TEST_F(SpirvInput, OutputIsByteIdentical) {
	std::string out = dir + "/out.spv";
	ProgramResult r = run_program({"-c", spv, "-o", out});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(read_file(out), read_file(spv));

	ProgramResult piped = run_program({"-c", spv, "-o", "-"});
	EXPECT_EQ(piped.status, 0) << piped.err;
	EXPECT_EQ(piped.out, read_file(spv));

	// any number of outputs, in argument order, standard output still usable
	ProgramResult twice = run_program({"-c", spv, "-o", "-", "-o", "-"});
	EXPECT_EQ(twice.status, 0) << twice.err;
	EXPECT_EQ(twice.out, read_file(spv) + read_file(spv));
}

TEST_F(SpirvInput, RecognisedByItsFirstWord) {
	std::string renamed = dir + "/shader.frag";
	std::system(("cp " + shell_quote(spv) + " " + shell_quote(renamed)).c_str());
	ProgramResult r = run_program({"-c", renamed, "-o", "-"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, read_file(spv));

	// a trailing partial word is ignored
	std::string odd = dir + "/odd.spv";
	std::string bytes = read_file(spv).substr(0, 10);
	FILE *f = fopen(odd.c_str(), "wb");
	fwrite(bytes.data(), 1, bytes.size(), f);
	fclose(f);
	r = run_program({"-v", odd, "-o", "-"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, bytes.substr(0, 8));
}

TEST_F(SpirvInput, FailedOutputsExitWithOne) {
	struct Case {
		std::vector<std::string> args;
		std::vector<std::string> messages;
		bool created; // the output file exists afterwards
	};
	const std::string out = dir + "/out";
	const Case cases[] = {
		{{"-hlsl", out}, {"ShaderSpirv::get\\(\\): can't find \"HLSL_DXIL\" shader format", "ShaderCompiler::getSource\\(\\): can't load shader"}, false},
		{{"-gl", out}, {"ShaderSpirv::get\\(\\): can't find \"GL_SPV\" shader format", "ShaderCompiler::writeOpcodes\\(\\): can't load GL_SPV shader"}, false},
		{{"-o", "-v"}, {Program + ": invalid command line option \"-o\""}, false},
		{{"-gl"}, {Program + ": invalid command line option \"-gl\""}, false},
		{{"-sampler"}, {Program + ": invalid command line option \"-sampler\""}, false},
		{{"-bogus"}, {Program + ": invalid command line option \"-bogus\""}, false},
		{{"-o", dir + "/missing/out.spv"}, {Program + ": can't create \"" + dir + "/missing/out.spv\" file\nNo such file or directory"}, false},
	};
	for (const Case &c : cases) {
		std::remove(out.c_str());
		std::vector<std::string> args = {"-c", spv};
		args.insert(args.end(), c.args.begin(), c.args.end());
		ProgramResult r = run_program(args);
		EXPECT_EQ(r.status, 1) << c.args[0];
		for (const std::string &message : c.messages) EXPECT_TRUE(has_error(r.err, message)) << r.err;
		EXPECT_EQ(access(out.c_str(), F_OK) == 0, c.created) << c.args[0];
		EXPECT_EQ(r.out, "");
	}
}

TEST_F(SpirvInput, WalkGoesOnAfterAFailedOutput) {
	ProgramResult r = run_program({"-c", spv, "-hlsl", dir + "/x.hlsl", "-o", "-"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, read_file(spv));
}

TEST_F(SpirvInput, ShortAndTextFilesAreReadAsGlsl) {
	std::string tiny = dir + "/tiny.comp";
	FILE *f = fopen(tiny.c_str(), "wb");
	fwrite("\x03\x02", 1, 2, f);
	fclose(f);
	ProgramResult r = run_program({"-c", tiny, "-o", "-"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Shader::compile_glsl(): " + tiny + ":1: "), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");
}

TEST_F(SpirvInput, ClosedStandardOutput) {
	std::string err = dir + "/err";
	std::string command = "TERM=dumb " + shell_quote(VEXA_SHADER_PROGRAM) + " -c " + shell_quote(spv) + " -o - >&- 2>" + shell_quote(err);
	int raw = std::system(command.c_str());
	EXPECT_TRUE(WIFEXITED(raw));
	EXPECT_EQ(WEXITSTATUS(raw), 1);
	EXPECT_TRUE(has_error(read_file(err), "-o: can't open stdout\nBad file descriptor")) << read_file(err);
}

TEST_F(SpirvInput, FailedWritesExitWithOne) {
	if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
	ProgramResult r = run_program({"-c", spv, "-o", "/dev/full"});
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(has_error(r.err, Program + ": can't write \"/dev/full\" file\nNo space left on device")) << r.err;

	struct Case {
		std::vector<std::string> args;
		std::string message;
	};
	const Case cases[] = {
		{{"-o", "-"}, "-o: can't write stdout\nNo space left on device"},
		{{"-d"}, Program + ": can't write stdout"},
	};
	for (const Case &c : cases) {
		std::string err = dir + "/err";
		std::string command = "TERM=dumb " + shell_quote(VEXA_SHADER_PROGRAM) + " -c " + shell_quote(spv);
		for (const std::string &arg : c.args) command += " " + arg;
		command += " >/dev/full 2>" + shell_quote(err);
		int raw = std::system(command.c_str());
		EXPECT_EQ(WEXITSTATUS(raw), 1) << c.args[0];
		EXPECT_TRUE(has_error(read_file(err), c.message)) << read_file(err);
	}
}

TEST_F(SpirvInput, OnlyRegularFilesAreInputs) {
	std::string fifo = dir + "/fifo";
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	ProgramResult r = run_program({"-c", fifo, "-o", "-"});
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(has_error(r.err, Program + ": can't open \"" + fifo + "\" file\nNot a regular file")) << r.err;

	r = run_program({"-c", dir, "-o", "-"});
	EXPECT_EQ(r.status, 1);
	EXPECT_TRUE(has_error(r.err, Program + ": can't open \"" + dir + "\" file\nIs a directory")) << r.err;
}

namespace {

void write_file(const std::string &path, const std::string &text) {
	FILE *f = fopen(path.c_str(), "wb");
	ASSERT_NE(f, nullptr) << path;
	fwrite(text.data(), 1, text.size(), f);
	fclose(f);
}

// the names in dir, "." and ".." left out
std::vector<std::string> list_dir(const std::string &dir) {
	std::vector<std::string> names;
	ProgramResult r;
	FILE *p = popen(("ls -A " + shell_quote(dir)).c_str(), "r");
	char line[512];
	while (p && fgets(line, sizeof(line), p)) names.push_back(std::string(line, strcspn(line, "\n")));
	if (p) pclose(p);
	return names;
}

} // namespace

TEST_F(SpirvInput, FailedOutputLeavesTheFileAsItWas) {
	// loads (the words are checked only when an output reads them), then
	// every output of it fails
	std::string bad = dir + "/bad.spv";
	std::string words = read_file(spv).substr(0, 20) + std::string("\x05\x00\x0f\x00", 4);
	write_file(bad, words);
	std::string keep = dir + "/keep.txt";
	for (const char *option : {"-d", "-glsl", "-hlsl", "-gl"}) {
		write_file(keep, "precious\n");
		ProgramResult r = run_program({"-c", bad, option, keep});
		EXPECT_EQ(r.status, 1) << option;
		EXPECT_EQ(read_file(keep), "precious\n") << option;
		// and a failed output to a new name creates nothing
		r = run_program({"-c", bad, option, dir + "/new.txt"});
		EXPECT_EQ(r.status, 1) << option;
		EXPECT_NE(access((dir + "/new.txt").c_str(), F_OK), 0) << option;
	}
	EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"bad.spv", "keep.txt"}));
}

TEST_F(SpirvInput, CompleteOutputReplacesTheFile) {
	// the mode of the file replaced is kept, a symbolic link is followed and
	// stays a link, and no temporary file is left behind
	std::string target = dir + "/target.spv";
	std::string link = dir + "/link.spv";
	write_file(target, "old");
	ASSERT_EQ(chmod(target.c_str(), 0640), 0);
	ASSERT_EQ(symlink("target.spv", link.c_str()), 0);
	ProgramResult r = run_program({"-c", spv, "-o", link, "-d", dir + "/listing.txt"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(read_file(target), read_file(spv));
	struct stat info;
	ASSERT_EQ(lstat(link.c_str(), &info), 0);
	EXPECT_TRUE(S_ISLNK(info.st_mode));
	ASSERT_EQ(stat(target.c_str(), &info), 0);
	EXPECT_EQ(info.st_mode & 07777, 0640u);
	EXPECT_NE(read_file(dir + "/listing.txt").find("main"), std::string::npos);
	EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"link.spv", "listing.txt", "target.spv"}));

	// a device is written in place
	r = run_program({"-c", spv, "-d", "/dev/null"});
	EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(SpirvInput, DashIsStandardOutputForEveryOutput) {
	ProgramResult listing = run_program({"-c", spv, "-d"});
	ASSERT_EQ(listing.status, 0) << listing.err;
	ProgramResult r = run_program({"-c", spv, "-d", "-", "-o", "-", "-d", "-"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.out, listing.out + read_file(spv) + listing.out);
}

TEST_F(SpirvInput, PreprocessorPragmaWritesOnlyAPlainFileHere) {
	// the pragma names the file that receives the preprocessed text; it is
	// taken from the shader, so only a plain name in the current directory is
	// written, never through a link, a path or a hidden name
	std::string work = dir + "/work";
	std::system(("mkdir -p " + shell_quote(work + "/sub")).c_str());
	std::string victim = dir + "/victim";
	write_file(victim, "precious\n");
	ASSERT_EQ(symlink("../victim", (work + "/link").c_str()), 0);
	struct Case {
		std::string name;
		bool written;
	};
	const Case cases[] = {
		{"dump.glsl", true},
		{"../victim", false},
		{victim, false},
		{"sub/x", false},
		{".hidden", false},
		{"link", false},
	};
	for (const Case &c : cases) {
		write_file(work + "/a.comp", "#pragma preprocessor(" + c.name + ")\nvoid main() {}\n");
		ProgramResult r = run_program({"-c", "a.comp", "-o", "-"}, work);
		EXPECT_EQ(r.status, 1) << c.name; // nothing compiles GLSL yet
		if (c.written) {
			EXPECT_NE(read_file(work + "/" + c.name).find("void main() {}"), std::string::npos) << c.name;
			EXPECT_EQ(r.err.find("can't write preprocessed text"), std::string::npos) << r.err;
		} else {
			EXPECT_NE(r.err.find("can't write preprocessed text to \"" + c.name + "\""), std::string::npos) << r.err;
		}
		EXPECT_EQ(read_file(victim), "precious\n") << c.name;
	}
	EXPECT_NE(access((work + "/sub/x").c_str(), F_OK), 0);
	EXPECT_NE(access((work + "/.hidden").c_str(), F_OK), 0);

	// the same from an included file
	write_file(work + "/inc.h", "#pragma preprocessor(../victim)\n");
	write_file(work + "/b.comp", "#include \"inc.h\"\nvoid main() {}\n");
	ProgramResult r = run_program({"-c", "b.comp", "-o", "-"}, work);
	EXPECT_NE(r.err.find("not a plain file name"), std::string::npos) << r.err;
	EXPECT_EQ(read_file(victim), "precious\n");
}
