// The decompiled listing of real modules that nobody on this project wrote:
// every SPIR-V module of the shared corpus (each accepted by spirv-val) loads
// and either renders with no error logged, or fails on something the listing
// does not take, named by its first error; none crashes, hangs or reports a
// fault of the renderer.
//
// Which modules fail, and the first error of each, is pinned in
// tests/data/listing/corpus_failures.txt: a module that renders must keep
// rendering, and a module on the list that renders now, or fails with another
// error, fails the test as well, so that the list stays exact. After a change
// that makes more modules render, the list is written anew by
//   VEXA_WRITE_CORPUS_FAILURES=1 ./build/tests/spirv_listing_corpus_test
// (the test binary of any build directory; it writes into the source tree).
//
// The corpus lives beside the project checkout (../shared/corpus, or
// $VEXA_CORPUS); where it is missing, the test says that it was skipped.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include <chrono>
#include <map>

using namespace listing_test;

namespace {

const char *const failures_file = "listing/corpus_failures.txt";

bool write_requested() {
	const char *env = std::getenv("VEXA_WRITE_CORPUS_FAILURES");
	return env && *env && std::string(env) != "0";
}

// path -> first error, from the lines "path<TAB>error" of the list
std::map<std::string, std::string> read_failures(const std::string &text) {
	std::map<std::string, std::string> ret;
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		if (line.empty() || line[0] == '#') continue;
		size_t tab = line.find('\t');
		if (tab == std::string::npos) ret[line] = "";
		else ret[line.substr(0, tab)] = line.substr(tab + 1);
	}
	return ret;
}

// the first error line without its numbers, so that causes can be counted
std::string cause(const std::string &errors) {
	std::string line = first_line(errors);
	std::string ret;
	for (size_t i = 0; i < line.size(); i++) {
		if (line[i] >= '0' && line[i] <= '9' && (i == 0 || line[i - 1] == ' ')) {
			while (i < line.size() && line[i] >= '0' && line[i] <= '9') i++;
			ret += "N";
			if (i < line.size()) ret += line[i];
			continue;
		}
		ret += line[i];
	}
	return ret;
}

} // namespace

TEST(ListingCorpus, EveryModuleRendersOrFailsAsPinned) {
	std::string dir = corpus_dir();
	std::vector<std::string> paths;
	if (!corpus_modules(dir, paths)) GTEST_SKIP() << "SPIR-V corpus check of the listing skipped: " << dir << "/spv.tsv not found";
	bool write = write_requested();
	std::string pinned_text = read_text(data_path(failures_file));
	std::map<std::string, std::string> pinned = read_failures(pinned_text);
	if (!write) {
		EXPECT_FALSE(pinned_text.empty()) << data_path(failures_file) << " is missing or empty";
	}
	auto start = std::chrono::steady_clock::now();
	uint32_t total = 0;
	uint32_t rendered = 0;
	std::map<std::string, uint32_t> causes;
	std::string faults;     // never allowed
	std::string changes;    // allowed only by a list written anew
	std::string failures;   // the list as it is now
	std::map<std::string, std::string> unseen = pinned;
	for (const std::string &path : paths) {
		total++;
		unseen.erase(path);
		Rendered listing = render(read_words(dir + "/" + path));
		auto was = pinned.find(path);
		Failure failure = failure_of(listing);
		if (failure == Failure::None) {
			rendered++;
			if (listing.text.empty()) faults += path + ": rendered to nothing\n";
			if (was != pinned.end()) changes += path + ": renders now; remove it from the list\n";
			continue;
		}
		if (failure != Failure::Unsupported) {
			faults += path + ": " + (listing.loaded ? failure_name(failure) : "does not load") + ":\n" + listing.errors;
			continue;
		}
		std::string error = first_line(listing.errors);
		causes[cause(listing.errors)]++;
		failures += path + "\t" + error + "\n";
		if (was == pinned.end()) changes += path + ": fails, and is not on the list of modules that may: " + error + "\n";
		else if (was->second != error) changes += path + ": fails with \"" + error + "\" instead of \"" + was->second + "\"\n";
	}
	for (const auto &path : unseen) changes += path.first + ": on the list, but not in the corpus\n";
	double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	std::printf("listing of the SPIR-V corpus: %u of %u modules render (%.1f s); causes of the rest:\n", rendered, total, seconds);
	std::vector<std::pair<uint32_t, std::string>> sorted;
	for (auto &c : causes) sorted.push_back({c.second, c.first});
	std::sort(sorted.rbegin(), sorted.rend());
	for (size_t i = 0; i < sorted.size() && i < 12; i++) std::printf("  %5u  %s\n", sorted[i].first, sorted[i].second.c_str());
	EXPECT_GT(total, 0u);
	EXPECT_TRUE(faults.empty()) << faults.substr(0, 4000);
	if (write) {
		std::ofstream out(data_path(failures_file), std::ios::binary);
		out << "# The modules of the SPIR-V corpus (paths relative to it) whose listing\n"
			   "# fails, each with the first error it logs. Written anew by\n"
			   "#   VEXA_WRITE_CORPUS_FAILURES=1 ./build/tests/spirv_listing_corpus_test\n"
			<< failures;
		ASSERT_TRUE(out.good()) << data_path(failures_file);
		std::printf("wrote %s: %zu modules\n", data_path(failures_file).c_str(), std::count(failures.begin(), failures.end(), '\n'));
		if (!changes.empty()) std::printf("changes to the list:\n%s", changes.substr(0, 4000).c_str());
	} else {
		EXPECT_TRUE(changes.empty()) << changes.substr(0, 4000) << "(when the changes are meant, write the list anew: "
									 << "VEXA_WRITE_CORPUS_FAILURES=1 ./build/tests/spirv_listing_corpus_test)";
	}
}
