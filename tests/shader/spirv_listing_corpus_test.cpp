// The decompiled listing of real modules that nobody on this project wrote:
// every SPIR-V module of the shared corpus either renders with no error
// logged, or fails with a logged error that names what the listing does not
// know; none crashes or hangs. The corpus lives beside the project checkout
// (../shared/corpus, or $VEXA_CORPUS); where it is missing, the test says that
// it was skipped.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include <chrono>
#include <map>

using namespace listing_test;

namespace {

std::string corpus_dir() {
	const char *env = std::getenv("VEXA_CORPUS");
	if (env && *env) return env;
	return std::string(VEXA_TEST_DATA) + "/../../../shared/corpus";
}

// the first error line without its numbers, so that causes can be counted
std::string cause(const std::string &errors) {
	std::string line = errors.substr(0, errors.find('\n'));
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

TEST(ListingCorpus, EveryModuleRendersOrNamesWhatIsUnknown) {
	std::string dir = corpus_dir();
	std::ifstream list(dir + "/spv.tsv");
	if (!list) GTEST_SKIP() << "SPIR-V corpus check of the listing skipped: " << dir << "/spv.tsv not found";
	auto start = std::chrono::steady_clock::now();
	std::string row;
	std::getline(list, row); // the column names
	uint32_t total = 0;
	uint32_t rendered = 0;
	std::map<std::string, uint32_t> causes;
	std::string faults;
	while (std::getline(list, row)) {
		std::string path = row.substr(0, row.find('\t'));
		if (path.empty()) continue;
		total++;
		Rendered listing = render(read_words(dir + "/" + path));
		if (!listing.loaded) continue;
		if (listing.ok) {
			rendered++;
			if (!listing.errors.empty()) faults += path + ": rendered, but logged " + listing.errors;
			if (listing.text.empty()) faults += path + ": rendered to nothing\n";
			continue;
		}
		causes[cause(listing.errors)]++;
		if (listing.errors.find("unknown") == std::string::npos && listing.errors.find("invalid") == std::string::npos) {
			faults += path + ": failed without naming the cause: " + listing.errors;
		}
	}
	double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
	std::printf("listing of the SPIR-V corpus: %u of %u modules render (%.1f s); causes of the rest:\n", rendered, total, seconds);
	std::vector<std::pair<uint32_t, std::string>> sorted;
	for (auto &c : causes) sorted.push_back({c.second, c.first});
	std::sort(sorted.rbegin(), sorted.rend());
	for (size_t i = 0; i < sorted.size() && i < 12; i++) std::printf("  %5u  %s\n", sorted[i].first, sorted[i].second.c_str());
	EXPECT_GT(total, 0u);
	EXPECT_TRUE(faults.empty()) << faults.substr(0, 4000);
}
