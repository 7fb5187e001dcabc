// Memory in the decompiled listing: a value that the listing writes where it
// is used must read what the module read where it loaded it. So a load is
// never written past a write that may reach its memory (another buffer, an
// aliased shared variable, an atomic, a barrier, an image write, a call); a
// volatile or coherent load, an image read and an atomic happen once however
// often their value is used; a vector stored component by component is
// computed once; and a backend that renders values its own way still reads
// the temporaries that the schedule placed. The fixtures are assembled by
// spirv-as and checked by spirv-val in the test, and every listing does, per
// function, the stores, atomics, image writes, barriers and calls that
// spirv-dis shows in the module.
#include <gtest/gtest.h>

#include "listing_fixtures.h"

#include <set>

using namespace listing_test;

namespace {

bool have_tools() {
	return have_tool("spirv-as") && have_tool("spirv-val") && have_tool("spirv-dis");
}

// where `word` stands in `text` as a whole (not inside a longer name or after
// a member dot), in order
std::vector<size_t> find_words(const std::string &text, const std::string &word) {
	std::vector<size_t> ret;
	for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
		bool open = at == 0 || !(is_word(text[at - 1]) || text[at - 1] == '.');
		size_t end = at + word.size();
		bool close = end >= text.size() || !is_word(word.back()) || !is_word(text[end]);
		if (open && close) ret.push_back(at);
	}
	return ret;
}

// the listing renders, and does per function what the module does
Rendered render_checked(const std::vector<uint32_t> &words) {
	Rendered rendered = render(words);
	EXPECT_TRUE(rendered.ok) << rendered.errors;
	expect_same_work(words, rendered, "the listing");
	return rendered;
}

} // namespace

// Each function of the fixtures loads a value, writes memory, then uses the
// value. Where the write may reach the loaded memory, the load's text stands
// only before the write (read into a temporary there); where the module
// proves the two apart, the load stays inlined in its use after the write.
TEST(ListingMemory, LoadIsReadBeforeAWriteThatMayReachIt) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	std::vector<uint32_t> words = assemble_valid_file("listing/memory_alias.spvasm");
	ASSERT_FALSE(words.empty());
	std::vector<uint32_t> blocks = assemble_valid_file("listing/memory_alias_blocks.spvasm", "vulkan1.2");
	ASSERT_FALSE(blocks.empty());
	std::string text = render_checked(words).text + render_checked(blocks).text;
	struct Case {
		const char *function;
		const char *load;
		const char *write;
		bool may_alias;
	};
	const Case cases[] = {
		{"shared_blocks", "w1.s", "w2.s =", true},
		{"device_address", "pc.address.d", "a.x =", true},
		{"two_buffers", "a.x", "b.x =", true},
		{"buffer_block", "c.x", "a.y =", true},
		{"aliased_shared", "s1", "s2 =", true},
		{"atomic_other", "a.x", "atomicAdd(b.x", true},
		{"barrier_shared", "s2", "barrier()", true},
		{"image_other", "imageLoad(img1", "imageStore(img2", true},
		{"call_private", "p", "bump()", true},
		{"restricted", "ra.x", "rb.x =", false},
		{"private_vars", "p", "q =", false},
		{"plain_shared", "s2", "s3 =", false},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.function);
		std::string body = body_of(text, c.function);
		EXPECT_FALSE(body.empty()) << text;
		std::vector<size_t> loads = find_words(body, c.load);
		std::vector<size_t> writes = find_words(body, c.write);
		EXPECT_EQ(loads.size(), 1u) << body;
		EXPECT_EQ(writes.size(), 1u) << body;
		if (loads.empty() || writes.empty()) continue;
		if (c.may_alias) EXPECT_LT(loads[0], writes[0]) << body;
		else EXPECT_GT(loads[0], writes[0]) << "no temporary needed:\n" << body;
	}
}

// A volatile load (by its memory operand, a volatile or a coherent member, a
// volatile variable), an image read and an atomic are read exactly once, as
// the module reads each once, even when their value is used twice or not at
// all; a buffer load used on both sides of a write to another buffer is read
// once, before the write.
TEST(ListingMemory, ReadsHappenOnceWhereTheyStand) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	std::vector<uint32_t> words = assemble_valid_file("listing/memory_once.spvasm");
	ASSERT_FALSE(words.empty());
	Rendered rendered = render_checked(words);
	struct Case {
		const char *function;
		const char *read;
		const char *write;   // a write the read comes before, or null
	};
	const Case cases[] = {
		{"operand_volatile", "a.x", "b.x ="},
		{"member_volatile", "v.vol", "b.x ="},
		{"member_coherent", "v.coh", "b.x ="},
		{"variable_volatile", "w.z", "b.x ="},
		{"image_read", "imageLoad(", "b.x ="},
		{"atomic_twice", "atomicAdd(", "b.x ="},
		{"unused_volatile", "v.vol", nullptr},
		{"reread", "a.y", "b.x ="},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.function);
		std::string body = body_of(rendered.text, c.function);
		EXPECT_FALSE(body.empty()) << rendered.text;
		std::vector<size_t> reads = find_words(body, c.read);
		EXPECT_EQ(reads.size(), 1u) << body;
		if (c.write && !reads.empty()) {
			std::vector<size_t> writes = find_words(body, c.write);
			EXPECT_FALSE(writes.empty()) << body;
			if (!writes.empty()) {
				EXPECT_LT(reads[0], writes[0]) << body;
			}
		}
	}
}

// Swizzled stores split into one store per component: each arithmetic
// instruction of the module is written once (not once per component), and
// the store of l.xy from l.yx reads l before it writes any component of it.
TEST(ListingMemory, SwizzledStoreComputesTheVectorOnce) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	std::vector<uint32_t> words = assemble_valid_file("listing/memory_swizzle.spvasm");
	ASSERT_FALSE(words.empty());
	Rendered rendered = render_checked(words);
	std::string dis = disassemble(words);
	std::string body = body_of(rendered.text, "main");
	ASSERT_FALSE(body.empty()) << rendered.text;
	int multiplies = count_matches(dis, std::regex(R"(OpVectorTimesScalar|OpFMul)"));
	int adds = count_matches(dis, std::regex(R"(OpFAdd)"));
	EXPECT_EQ(multiplies, 4);
	EXPECT_EQ(count_matches(body, std::regex(R"( \* )")), multiplies) << body;
	EXPECT_EQ(count_matches(body, std::regex(R"( \+ )")), adds) << body;
	// every component store stores a component of a name
	static const std::regex component_store(R"(^\t(?:l|b\.v|s)\.[xyzw] = (.*);$)");
	static const std::regex name_component(R"(^[A-Za-z_]\w*\.[xyzw]$)");
	std::istringstream lines(body);
	std::string line;
	int component_stores = 0;
	while (std::getline(lines, line)) {
		std::smatch m;
		if (!std::regex_match(line, m, component_store)) continue;
		component_stores++;
		EXPECT_TRUE(std::regex_match(std::string(m[1]), name_component)) << line;
	}
	EXPECT_EQ(component_stores, 10) << body;
	std::vector<size_t> reads = find_words(body, "l.yx");
	std::vector<size_t> writes = find_words(body, "l.x =");
	ASSERT_EQ(reads.size(), 1u) << body;
	ASSERT_EQ(writes.size(), 1u) << body;
	EXPECT_LT(reads[0], writes[0]) << body;
}

namespace {

// A backend that writes its own text for one opcode (a vector times a
// scalar, as mul(v, s)) and leaves the rest to the base. The base's
// get_value asks the schedule first, so the hook only sees values that
// were not placed.
class MulBackend : public Vexa::ShaderSpirv {
protected:
	Vexa::String render_value(uint32_t id, bool parenthesize) override {
		Iterator it = get_target(id);
		if (it.get_opcode() != 142) return ShaderSpirv::render_value(id, parenthesize);
		Vexa::String ret("mul(");
		ret.append(get_value(it[3], false));
		ret.append(", ");
		ret.append(get_value(it[4], false));
		ret.append(")");
		return ret;
	}
};

} // namespace

// The backend's multiplications are written once each, into the temporaries
// the schedule placed, and the component stores read those temporaries.
TEST(ListingMemory, BackendValueSeesTheScheduledTemporaries) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as, spirv-val or spirv-dis missing";
	std::vector<uint32_t> words = assemble_valid_file("listing/memory_swizzle.spvasm");
	ASSERT_FALSE(words.empty());
	Rendered rendered = render<MulBackend>(words);
	ASSERT_TRUE(rendered.ok) << rendered.errors;
	const std::string &text = rendered.text;
	EXPECT_EQ(count_calls(text, "mul"), 4) << text;
	EXPECT_EQ(text.find(" * "), std::string::npos) << text;
	// the four vectors stored by components are temporaries that hold the
	// backend's text, and the ten component stores read their names
	static const std::regex temporary(R"(\t\w+ (\w+) = [^;]*\bmul\()");
	std::set<std::string> names;
	for (std::sregex_iterator m(text.begin(), text.end(), temporary), end; m != end; ++m) names.insert((*m)[1]);
	EXPECT_EQ(names.size(), 4u) << text;
	static const std::regex component_store(R"(\t(?:l|b\.v|s)\.[xyzw] = (\w+)\.[xyzw];)");
	int stores = 0;
	for (std::sregex_iterator m(text.begin(), text.end(), component_store), end; m != end; ++m) {
		EXPECT_TRUE(names.count((*m)[1])) << (*m)[0];
		stores++;
	}
	EXPECT_EQ(stores, 10) << text;
}
