// Collects the log lines written while it lives, through the log callback, so
// that tests can check the messages of operations that report by logging.
// The callback consumes every line, so a fatal message does not end the test.
#pragma once

#include "core/Log.h"

#include <string>
#include <vector>

struct LogCapture {
	struct Line {
		int32_t level;
		std::string text;
	};

	LogCapture() {
		Vexa::Log::setCallback(&LogCapture::collect, this);
	}
	~LogCapture() {
		Vexa::Log::setCallback(nullptr, nullptr);
	}

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
	void clear() { lines.clear(); }

	std::vector<Line> lines;

private:
	static bool collect(int32_t level, uint64_t, const char *text, void *data) {
		static_cast<LogCapture *>(data)->lines.push_back(Line{level, text});
		return true;
	}
};
