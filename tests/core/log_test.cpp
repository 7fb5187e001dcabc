// The log: prefixes and streams, time-stamp forms, the threshold, the
// callback, the '\r' continuation rule and the fatal exit.
#include "core/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <string>
#include <unistd.h>

using Vexa::Log;

namespace {

// Captures what is written to one file descriptor while it lives.
class Capture {
public:
	explicit Capture(FILE *stream) : stream(stream), fd(fileno(stream)) {
		fflush(stream);
		saved = dup(fd);
		file = tmpfile();
		dup2(fileno(file), fd);
	}
	~Capture() { restore(); }
	std::string text() {
		restore();
		std::string ret;
		rewind(file);
		char buffer[4096];
		size_t n;
		while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) ret.append(buffer, n);
		return ret;
	}

private:
	void restore() {
		if (saved < 0) return;
		fflush(stream);
		dup2(saved, fd);
		close(saved);
		saved = -1;
	}
	FILE *stream;
	int fd;
	int saved = -1;
	FILE *file = nullptr;
};

std::string stamp(uint64_t us) {
	char buffer[64];
	Log::formatTime(us, buffer, sizeof(buffer));
	return buffer;
}

struct LogTest : ::testing::Test {
	void SetUp() override {
		Log::setLevel(4);
		Log::setCallback(nullptr, nullptr);
		// end any pending '\r' continuation from an earlier test
		Capture out(stdout);
		Log::print("");
		out.text();
	}
	void TearDown() override {
		Log::setLevel(4);
		Log::setCallback(nullptr, nullptr);
	}
};

} // namespace

TEST_F(LogTest, TimeStampForms) {
	EXPECT_EQ(stamp(42), "    42 us: ");
	EXPECT_EQ(stamp(500000), "500.00 ms: ");
	EXPECT_EQ(stamp(1234), "  1.23 ms: ");
	EXPECT_EQ(stamp(2250000), "  2.250 s: ");
	EXPECT_EQ(stamp(75000000), " 1:15.000: ");
	EXPECT_EQ(stamp(3725500000ull), "1:02:05.500: ");
	EXPECT_EQ(stamp(0), "     0 us: ");
}

TEST_F(LogTest, EveryLevelGoesToStandardErrorWithItsPrefix) {
	const char *prefixes[] = {"E: ", "W: ", "M: ", "V: "};
	for (int level = 1; level <= 4; level++) {
		Capture err(stderr);
		Capture out(stdout);
		Log::printf(level, "line %d\n", level);
		std::string e = err.text(), o = out.text();
		EXPECT_EQ(o, "");
		std::regex line(std::string(prefixes[level - 1]) + "[ 0-9:.]+ (us|ms|s): line " + std::to_string(level) + "\n");
		EXPECT_TRUE(std::regex_match(e, line)) << e;
	}
}

TEST_F(LogTest, NoEscapeSequencesWhenNotATerminal) {
	setenv("TERM", "xterm", 1);
	Capture err(stderr);
	Log::print(Log::Error, "red?\n");
	Log::print(Log::Warning, "yellow?\n");
	EXPECT_EQ(err.text().find('\033'), std::string::npos);
}

TEST_F(LogTest, ThresholdAndPlainOutput) {
	Log::setLevel(1);
	Capture err(stderr);
	Capture out(stdout);
	Log::print(Log::Warning, "warning\n");
	Log::print(Log::Message, "message\n");
	Log::print(Log::Verbose, "verbose\n");
	Log::print(Log::Error, "error\n");
	Log::print("plain\n");
	std::string e = err.text();
	EXPECT_EQ(out.text(), "plain\n");
	EXPECT_EQ(e.find("warning"), std::string::npos);
	EXPECT_EQ(e.find("message"), std::string::npos);
	EXPECT_NE(e.find("error"), std::string::npos);
}

TEST_F(LogTest, LevelFiveIsDroppedAtTheInitialThreshold) {
	Capture err(stderr);
	Capture out(stdout);
	Log::print(Log::Plain, "levelled plain\n");
	EXPECT_EQ(err.text(), "");
	EXPECT_EQ(out.text(), "");
	Log::setLevel(5);
	Capture err2(stderr);
	Log::print(Log::Plain, "now\n");
	EXPECT_TRUE(std::regex_match(err2.text(), std::regex("[ 0-9:.]+ (us|ms|s): now\n")));
}

TEST_F(LogTest, CarriageReturnContinuation) {
	Capture out(stdout);
	Log::print("\rone");
	Log::print("\rtwo");
	Log::print("three\n");
	EXPECT_EQ(out.text(), "\rone\rtwo\nthree\n");
}

TEST_F(LogTest, LongMessagesAreCut) {
	std::string text(40000, 'x');
	Capture out(stdout);
	Log::printf("%s", text.c_str());
	EXPECT_EQ(out.text().size(), 32767u);
}

TEST_F(LogTest, SystemErrorText) {
	Capture err(stderr);
	errno = ENOENT;
	Log::printSystemError(Log::Error, "can't open: ");
	std::string e = err.text();
	EXPECT_NE(e.find(std::string("can't open: ") + strerror(ENOENT) + "\n"), std::string::npos) << e;
}

namespace {

struct Seen {
	int count = 0;
	int32_t level = -1;
	std::string text;
};

bool consume(int32_t level, uint64_t, const char *text, void *data) {
	Seen *seen = static_cast<Seen *>(data);
	seen->count++;
	seen->level = level;
	seen->text = text;
	return true;
}

bool log_again(int32_t, uint64_t, const char *text, void *data) {
	Seen *seen = static_cast<Seen *>(data);
	if (seen->count++ == 0) Log::printf(Log::Error, "nested: %s", text);
	return false;
}

} // namespace

TEST_F(LogTest, CallbackConsumesMessages) {
	Seen seen;
	Log::setCallback(consume, &seen);
	EXPECT_EQ(Log::getCallbackData(), &seen);
	Capture err(stderr);
	Capture out(stdout);
	Log::print(Log::Fatal, "not fatal when consumed\n");
	EXPECT_EQ(seen.level, 0);
	Log::print("plain");
	EXPECT_EQ(seen.level, 5);
	EXPECT_EQ(seen.text, "plain");
	// the callback sees messages above the threshold too
	Log::setLevel(0);
	Log::print(Log::Verbose, "v");
	EXPECT_EQ(seen.level, 4);
	EXPECT_EQ(seen.count, 3);
	EXPECT_EQ(err.text(), "");
	EXPECT_EQ(out.text(), "");
}

TEST_F(LogTest, CallbackThatLogsDoesNotHang) {
	Seen seen;
	Log::setCallback(log_again, &seen);
	Capture err(stderr);
	Log::print(Log::Warning, "outer\n");
	std::string e = err.text();
	EXPECT_NE(e.find("nested: outer"), std::string::npos);
	EXPECT_NE(e.find("W: "), std::string::npos);
}

TEST_F(LogTest, FatalEndsTheProcessWithStatusOne) {
	EXPECT_EXIT(Log::print(Log::Fatal, "the end\n"), ::testing::ExitedWithCode(1), "F: .*the end");
}

TEST_F(LogTest, FatalAboveTheThresholdIsDropped) {
	Log::setLevel(-1);
	Capture err(stderr);
	Log::print(Log::Fatal, "dropped\n");
	EXPECT_EQ(err.text(), "");
}

TEST_F(LogTest, ClockStartsAtZeroAndIsMonotonic) {
	uint64_t a = Log::getTime();
	uint64_t b = Log::getTime();
	EXPECT_LE(a, b);
}
