// Levelled log output: threshold, prefixes, time stamps, colours, the
// callback and the '\r' continuation rule, all under one spin lock.
#include "core/Log.h"

#include "core/SpinLock.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace Vexa {

namespace {

constexpr size_t BufferSize = 32768;

const char *const prefixes[] = {"F: ", "E: ", "W: ", "M: ", "V: ", ""};
const char *const colours[] = {"\033[01;35m", "\033[01;31m", "\033[01;33m"};

struct State {
	std::atomic<int32_t> threshold{4};
	SpinLock lock;
	Log::Callback callback = nullptr;
	void *data = nullptr;
	bool continuation = false;
	bool terminal_checked = false;
	bool colour = false;
	bool clock_started = false;
	uint64_t clock_origin = 0;
};

State &state() {
	static State s;
	return s;
}

// The thread that holds the log lock, so that a callback which logs again
// prints directly instead of spinning on its own lock forever.
thread_local bool holds_lock = false;

class LogLock {
public:
	LogLock() : nested(holds_lock) {
		if (!nested) {
			state().lock.lock();
			holds_lock = true;
		}
	}
	~LogLock() { unlock(); }
	void unlock() {
		if (!nested && holds_lock) {
			holds_lock = false;
			state().lock.unlock();
		}
	}
	bool isNested() const { return nested; }

private:
	bool nested;
};

uint64_t clock_us() {
	timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

// Colour only on a terminal whose type is known to take escape sequences.
void check_terminal() {
	State &s = state();
	if (s.terminal_checked) return;
	s.terminal_checked = true;
	const char *term = getenv("TERM");
	s.colour = term != nullptr && *term != 0 && strcmp(term, "dumb") != 0 && isatty(fileno(stderr));
}

// writes one message; the lock is held by the caller
void write_message(FILE *stream, int32_t level, const char *text, uint64_t elapsed, bool levelled) {
	State &s = state();
	if (s.continuation && text[0] != '\r') fputs("\n", stream);
	if (levelled) {
		fputs(prefixes[level >= 0 && level <= Log::Plain ? level : Log::Plain], stream);
		Log::printTime(elapsed, stream);
	}
	fputs(text, stream);
	fflush(stream);
	s.continuation = text[0] == '\r';
}

} // namespace

void Log::print(int32_t level, const char *text) {
	if (text == nullptr) text = "";
	State &s = state();
	LogLock lock;
	uint64_t elapsed = getTime();
	if (s.callback && !lock.isNested()) {
		if (s.callback(level, elapsed, text, s.data)) return;
	}
	FILE *stream = getStream(level);
	if (stream == nullptr) return;
	write_message(stream, level, text, elapsed, true);
	if (level == Fatal) lock.unlock();
	endMessage(level);
}

void Log::print(const char *text) {
	if (text == nullptr) text = "";
	State &s = state();
	LogLock lock;
	uint64_t elapsed = getTime();
	if (s.callback && !lock.isNested()) {
		if (s.callback(Plain, elapsed, text, s.data)) return;
	}
	write_message(stdout, Plain, text, elapsed, false);
}

void Log::printf(int32_t level, const char *format, ...) {
	char buffer[BufferSize];
	va_list args;
	va_start(args, format);
	vsnprintf(buffer, sizeof(buffer), format ? format : "", args);
	va_end(args);
	print(level, buffer);
}

void Log::printf(const char *format, ...) {
	char buffer[BufferSize];
	va_list args;
	va_start(args, format);
	vsnprintf(buffer, sizeof(buffer), format ? format : "", args);
	va_end(args);
	print(buffer);
}

void Log::printSystemError(int32_t level, const char *text) {
	if (text == nullptr) text = "";
	int error = errno;
	if (error == 0) {
		print(level, text);
		return;
	}
	char buffer[BufferSize];
	snprintf(buffer, sizeof(buffer), "%s%s\n", text, strerror(error));
	print(level, buffer);
}

void Log::printfSystemError(int32_t level, const char *format, ...) {
	int error = errno;
	char buffer[BufferSize];
	va_list args;
	va_start(args, format);
	vsnprintf(buffer, sizeof(buffer), format ? format : "", args);
	va_end(args);
	errno = error;
	printSystemError(level, buffer);
}

void Log::setLevel(int32_t level) {
	state().threshold = level;
}

int32_t Log::getLevel() {
	return state().threshold;
}

void Log::setCallback(Callback func, void *data) {
	state().callback = func;
	state().data = data;
}

Log::Callback Log::getCallback() {
	return state().callback;
}

void *Log::getCallbackData() {
	return state().data;
}

uint64_t Log::getTime() {
	State &s = state();
	uint64_t now = clock_us();
	if (!s.clock_started) {
		s.clock_started = true;
		s.clock_origin = now;
	}
	return now - s.clock_origin;
}

FILE *Log::getStream(int32_t level) {
	State &s = state();
	if (level > s.threshold) return nullptr;
	check_terminal();
	if (s.colour && level >= Fatal && level <= Warning) fputs(colours[level], stderr);
	return stderr;
}

void Log::endMessage(int32_t level) {
	State &s = state();
	if (s.colour && level >= Fatal && level <= Warning) {
		fputs("\033[m", stderr);
		fflush(stderr);
	}
	if (level == Fatal) {
		fflush(stdout);
		exit(1);
	}
}

void Log::formatTime(uint64_t elapsed, char *buffer, size_t size) {
	uint32_t s = (uint32_t)(elapsed / 1000000u);
	uint32_t us = (uint32_t)(elapsed % 1000000u);
	uint32_t h = s / 3600, m = (s % 3600) / 60, sec = s % 60;
	uint32_t ms = us / 1000, rest = us % 1000;
	if (h != 0) snprintf(buffer, size, "%u:%02u:%02u.%03u: ", h, m, sec, ms);
	else if (m != 0) snprintf(buffer, size, "%2u:%02u.%03u: ", m, sec, ms);
	else if (sec != 0) snprintf(buffer, size, " %2u.%03u s: ", sec, ms);
	else if (ms != 0) snprintf(buffer, size, "%3u.%02u ms: ", ms, rest / 10);
	else snprintf(buffer, size, "   %3u us: ", rest);
}

void Log::printTime(uint64_t elapsed, FILE *stream) {
	char buffer[64];
	formatTime(elapsed, buffer, sizeof(buffer));
	fputs(buffer, stream);
}

} // namespace Vexa
