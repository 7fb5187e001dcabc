// The levelled log: the one channel through which every part of the system
// reports errors, warnings and messages, and through which the program prints
// its plain text output (usage, rendered sources).
//
// Levelled lines carry a prefix ("E: ") and the time since the first log call;
// they all go to standard error so that standard output carries nothing but
// the program's real output. Each message is written whole under one lock.
#pragma once

#include <cstdint>
#include <cstdio>

namespace Vexa {

class Log {
public:
	enum Level : int32_t {
		Fatal = 0,
		Error,
		Warning,
		Message,
		Verbose,
		Plain,
	};

	// sees every message before it is printed; true consumes it
	using Callback = bool (*)(int32_t level, uint64_t elapsed_us, const char *text, void *data);

	// levelled output (threshold, prefix, time stamp)
	static void print(int32_t level, const char *text);
	// plain output: no threshold, prefix or time stamp, always standard output
	static void print(const char *text);
	static void printf(int32_t level, const char *format, ...);
	static void printf(const char *format, ...);
	// the message followed by the operating system's error text
	static void printSystemError(int32_t level, const char *text);
	static void printfSystemError(int32_t level, const char *format, ...);

	static void setLevel(int32_t level);
	static int32_t getLevel();
	static void setCallback(Callback func, void *data);
	static Callback getCallback();
	static void *getCallbackData();

	// microseconds since the first call (which returns 0), on a monotonic clock
	static uint64_t getTime();

	// the stream of a level (null above the threshold), with its colour switched on
	static FILE *getStream(int32_t level);
	// restores the colour after levels 0 to 2; ends the process after level 0
	static void endMessage(int32_t level);
	static void printTime(uint64_t elapsed_us, FILE *stream);

	// the time stamp text of printTime, for callers that build lines themselves
	static void formatTime(uint64_t elapsed_us, char *buffer, size_t size);
};

} // namespace Vexa
