// Runs the `shader` program as a user would and collects its exit status and
// both output streams, so that tests check the real process.
#pragma once

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ProgramResult {
	int status = -1;
	std::string out;
	std::string err;
};

inline std::string read_file(const std::string &path) {
	std::ifstream file(path, std::ios::binary);
	std::stringstream ss;
	ss << file.rdbuf();
	return ss.str();
}

inline std::string shell_quote(const std::string &s) {
	std::string ret = "'";
	for (char c : s) {
		if (c == '\'') ret += "'\\''";
		else ret += c;
	}
	return ret + "'";
}

// Runs the program with the arguments in the given directory (or the current one).
inline ProgramResult run_program(const std::vector<std::string> &args, const std::string &dir = "") {
	static int counter = 0;
	std::string base = "/tmp/vexa_run_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
	std::string command;
	if (!dir.empty()) command = "cd " + shell_quote(dir) + " && ";
	command += "TERM=dumb " + shell_quote(VEXA_SHADER_PROGRAM);
	for (const std::string &arg : args) command += " " + shell_quote(arg);
	command += " >" + base + ".out 2>" + base + ".err";
	int raw = std::system(command.c_str());
	ProgramResult ret;
	ret.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
	ret.out = read_file(base + ".out");
	ret.err = read_file(base + ".err");
	std::remove((base + ".out").c_str());
	std::remove((base + ".err").c_str());
	return ret;
}
