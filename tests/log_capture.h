// Collects the log lines written while it lives, through the log callback, so
// that tests can check the messages of operations that report by logging.
// The callback consumes every line: nothing reaches the console, and a fatal
// message does not end the test. The callback in place before is restored at
// the end, so captures nest (an inner one takes the lines while it lives).
#pragma once

#include "core/Log.h"

#include <cstdint>
#include <string>
#include <vector>

struct LogCapture {
	struct Line {
		int32_t level;
		std::string text;
	};

	LogCapture() : previous(Vexa::Log::getCallback()), previous_data(Vexa::Log::getCallbackData()) {
		Vexa::Log::setCallback(&LogCapture::collect, this);
	}
	~LogCapture() {
		Vexa::Log::setCallback(previous, previous_data);
	}
	LogCapture(const LogCapture &) = delete;
	LogCapture &operator=(const LogCapture &) = delete;

	// every line of the level (all levels for -1) joined
	std::string text(int32_t level = -1) const {
		std::string ret;
		for (const Line &line : lines) {
			if (level < 0 || line.level == level) ret += line.text;
		}
		return ret;
	}
	bool contains(const std::string &part, int32_t level = -1) const {
		return text(level).find(part) != std::string::npos;
	}
	void clear() {
		lines.clear();
		errors.clear();
	}

	std::vector<Line> lines;
	// the lines of error level joined, as they come
	std::string errors;

private:
	static bool collect(int32_t level, uint64_t, const char *text, void *data) {
		LogCapture *capture = static_cast<LogCapture *>(data);
		capture->lines.push_back(Line{level, text});
		if (level == Vexa::Log::Error) capture->errors += text;
		return true;
	}

	Vexa::Log::Callback previous;
	void *previous_data;
};
