// Values of the decompiled listing that must mean what the module means:
// operations whose signedness is the opcode's and not the operand types',
// float constants that read back to the same bits (checked on every module of
// the shared corpus where it is present), bit casts between types of different
// component counts, selections by a vector of conditions, and vectors built
// from the components of one vector. Every module here passes spirv-val first.
#include <gtest/gtest.h>

#include "listing_fixtures.h"
#include "shader/ShaderSpirvNumbers.h"

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

using namespace listing_test;
using namespace Vexa::Spirv;

namespace {

bool have_tools() {
	return have_tool("spirv-as") && have_tool("spirv-val");
}

// the environment that the modules of this file are assembled and checked for
const char *const values_env = "spv1.3";

// The members of the storage block of the fixtures: name, type, offset.
struct Member {
	const char *name;
	const char *type;
	int offset;
};
const Member members[] = {
	{"i", "int", 0},      {"j", "int", 4},      {"u", "uint", 8},     {"v", "uint", 12},
	{"f", "float", 16},   {"ul", "ulong", 24},  {"iv", "v2int", 32},  {"jv", "v2int", 40},
	{"uv", "v2uint", 48}, {"vv", "v2uint", 56}, {"w3", "v3float", 64}, {"w4", "v4float", 80},
	{"d", "double", 96},  {"fv", "v2float", 104},
};

// A compute shader whose body reads and writes the members of a storage
// block. `%x` in the body, for a member x, is a load of that member (added
// when the body names it; used once, it reads as the member); `%p_x` is the
// pointer to it.
std::string module(const std::string &body) {
	std::string names;
	std::string decorations;
	std::string chains;
	std::string loads;
	std::string member_types;
	for (size_t k = 0; k < sizeof(members) / sizeof(members[0]); k++) {
		const Member &m = members[k];
		names += "OpMemberName %Block " + std::to_string(k) + " \"" + m.name + "\"\n";
		decorations += "OpMemberDecorate %Block " + std::to_string(k) + " Offset " + std::to_string(m.offset) + "\n";
		member_types += std::string(" %") + m.type;
		chains += std::string("%p_") + m.name + " = OpAccessChain %ptr_" + m.type + " %block %int_" + std::to_string(k) + "\n";
		std::regex use("%" + std::string(m.name) + "\\b");
		if (std::regex_search(body, use)) {
			loads += std::string("%") + m.name + " = OpLoad %" + m.type + " %p_" + m.name + "\n";
		}
	}
	std::string pointers;
	std::string constants;
	for (const char *type : {"int", "uint", "float", "ulong", "double", "v2int", "v2uint", "v3float", "v4float", "v2float"}) {
		pointers += std::string("%ptr_") + type + " = OpTypePointer Uniform %" + type + "\n";
	}
	for (size_t k = 0; k < sizeof(members) / sizeof(members[0]); k++) {
		constants += "%int_" + std::to_string(k) + " = OpConstant %int " + std::to_string(k) + "\n";
	}
	return R"(
OpCapability Shader
OpCapability Int64
OpCapability Float64
OpCapability Float16
OpCapability GroupNonUniformArithmetic
%std = OpExtInstImport "GLSL.std.450"
OpMemoryModel Logical GLSL450
OpEntryPoint GLCompute %main "main"
OpExecutionMode %main LocalSize 1 1 1
OpName %main "main"
OpName %Block "Block"
)" + names + R"(OpDecorate %Block BufferBlock
OpDecorate %block DescriptorSet 0
OpDecorate %block Binding 0
)" + decorations + R"(
%void = OpTypeVoid
%bool = OpTypeBool
%int = OpTypeInt 32 1
%uint = OpTypeInt 32 0
%ulong = OpTypeInt 64 0
%float = OpTypeFloat 32
%double = OpTypeFloat 64
%half = OpTypeFloat 16
%v2int = OpTypeVector %int 2
%v2uint = OpTypeVector %uint 2
%v2bool = OpTypeVector %bool 2
%v2float = OpTypeVector %float 2
%v3float = OpTypeVector %float 3
%v4float = OpTypeVector %float 4
%v2half = OpTypeVector %half 2
%Block = OpTypeStruct)" + member_types + R"(
%ptr_block = OpTypePointer Uniform %Block
)" + pointers + R"(%block = OpVariable %ptr_block Uniform
%fn = OpTypeFunction %void
)" + constants + R"(%uint_0 = OpConstant %uint 0
%uint_1 = OpConstant %uint 1
%uint_3 = OpConstant %uint 3
%uint_big = OpConstant %uint 4294967294
%int_minus = OpConstant %int -1
%float_0 = OpConstant %float 0
%float_1 = OpConstant %float 1
%true = OpConstantTrue %bool
%false = OpConstantFalse %bool
%both = OpConstantComposite %v2bool %true %true
%first = OpConstantComposite %v2bool %true %false
%main = OpFunction %void None %fn
%entry = OpLabel
)" + chains + loads + body + R"(
OpReturn
OpFunctionEnd
)";
}

struct Case {
	const char *what;
	const char *body;
	const char *expected; // a line of the listing, without its indent
};

// the listing of a fixture module, which must render
std::string render_case(const Case &c) {
	std::vector<uint32_t> words = assemble_valid(module(c.body), values_env);
	if (words.empty()) return std::string();
	Rendered listing = render(words);
	EXPECT_TRUE(listing.ok) << c.what << ": " << listing.errors;
	return listing.text;
}

void check_cases(const Case *cases, size_t count) {
	for (size_t k = 0; k < count; k++) {
		const Case &c = cases[k];
		std::string text = render_case(c);
		EXPECT_TRUE(has_statement(text, c.expected)) << c.what << ": expected \"" << c.expected << "\" in\n" << text;
	}
}

} // namespace

// The opcode says whether its operands are read as signed or unsigned
// integers: an operand of the other signedness is converted bit for bit, and
// a result of the other signedness than the operation's is converted back.
TEST(ListingValues, SignednessComesFromTheOpcode) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	const Case cases[] = {
		{"a logical shift of a signed value", "%r = OpShiftRightLogical %int %i %int_2\nOpStore %p_i %r",
		 "i = i32(u32(i) >> 2);"},
		{"an arithmetic shift of an unsigned value", "%r = OpShiftRightArithmetic %uint %u %int_2\nOpStore %p_u %r",
		 "u = u32(i32(u) >> 2);"},
		{"a signed division of unsigned values", "%r = OpSDiv %uint %u %v\nOpStore %p_u %r", "u = u32(i32(u) / i32(v));"},
		{"a signed modulo of unsigned values", "%r = OpSMod %uint %u %v\nOpStore %p_u %r", "u = u32(smod(i32(u), i32(v)));"},
		// the remainder that takes the sign of the divisor, unlike '%'
		{"a signed modulo of signed values", "%r = OpSMod %int %j %i\nOpStore %p_i %r", "i = smod(j, i);"},
		{"a signed division of signed values needs nothing", "%r = OpSDiv %int %j %i\nOpStore %p_i %r", "i = j / i;"},
		{"a signed comparison of unsigned values",
		 "%c = OpSLessThan %bool %u %v\n%r = OpSelect %uint %c %uint_1 %uint_0\nOpStore %p_u %r",
		 "u = i32(u) < i32(v) ? 1u : 0u;"},
		{"an unsigned comparison of signed values",
		 "%c = OpULessThanEqual %bool %i %j\n%r = OpSelect %uint %c %uint_1 %uint_0\nOpStore %p_u %r",
		 "u = u32(i) <= u32(j) ? 1u : 0u;"},
		{"a constant is written in the operation's signedness",
		 "%c = OpSGreaterThan %bool %u %uint_big\n%r = OpSelect %uint %c %uint_1 %uint_0\nOpStore %p_u %r",
		 "u = i32(u) > -2 ? 1u : 0u;"},
		{"a signed constant in an unsigned comparison",
		 "%c = OpUGreaterThanEqual %bool %i %int_minus\n%r = OpSelect %uint %c %uint_1 %uint_0\nOpStore %p_u %r",
		 "u = u32(i) >= ~0u ? 1u : 0u;"},
		{"vectors compare in the opcode's signedness",
		 "%c = OpSLessThan %v2bool %uv %vv\n%a = OpCompositeExtract %bool %c 0\n%r = OpSelect %uint %a %uint_1 %uint_0\nOpStore %p_u %r",
		 "u = (i32v2(uv) < i32v2(vv)).x ? 1u : 0u;"},
		{"an unsigned conversion of a signed value", "%r = OpConvertUToF %float %i\nOpStore %p_f %r", "f = f32(u32(i));"},
		{"a signed conversion of an unsigned value", "%r = OpConvertSToF %float %u\nOpStore %p_f %r", "f = f32(i32(u));"},
		{"a float converted to a signed integer kept in an unsigned one", "%r = OpConvertFToS %uint %f\nOpStore %p_u %r",
		 "u = u32(i32(f));"},
		{"a signed widening of an unsigned value", "%r = OpSConvert %ulong %u\nOpStore %p_ul %r", "ul = u64(i32(u));"},
		{"an unsigned widening of a signed value", "%r = OpUConvert %ulong %i\nOpStore %p_ul %r", "ul = u64(u32(i));"},
		{"a signed negation of an unsigned value", "%r = OpSNegate %uint %u\nOpStore %p_u %r", "u = u32(-i32(u));"},
		{"a signed bit field of an unsigned value", "%r = OpBitFieldSExtract %uint %u %int_1 %int_2\nOpStore %p_u %r",
		 "u = u32(bitfieldExtract(i32(u), 1, 2));"},
		{"an unsigned bit field of a signed value", "%r = OpBitFieldUExtract %int %i %int_1 %int_2\nOpStore %p_i %r",
		 "i = i32(bitfieldExtract(u32(i), 1, 2));"},
		{"a subgroup signed minimum of unsigned values",
		 "%r = OpGroupNonUniformSMin %uint %uint_3 Reduce %u\nOpStore %p_u %r", "u = u32(subgroupMin(i32(u)));"},
		{"a subgroup unsigned maximum of signed values",
		 "%r = OpGroupNonUniformUMax %int %uint_3 Reduce %i\nOpStore %p_i %r", "i = i32(subgroupMax(u32(i)));"},
		{"SAbs of an unsigned value", "%r = OpExtInst %uint %std SAbs %u\nOpStore %p_u %r", "u = u32(abs(i32(u)));"},
		{"SAbs into an unsigned result", "%r = OpExtInst %uint %std SAbs %i\nOpStore %p_u %r", "u = u32(abs(i));"},
		{"SSign of an unsigned value", "%r = OpExtInst %int %std SSign %u\nOpStore %p_i %r", "i = sign(i32(u));"},
		{"UMax of signed vectors", "%r = OpExtInst %v2int %std UMax %iv %jv\nOpStore %p_iv %r",
		 "iv = i32v2(max(u32v2(iv), u32v2(jv)));"},
		{"UMin of a signed and an unsigned value", "%r = OpExtInst %uint %std UMin %i %v\nOpStore %p_u %r",
		 "u = min(u32(i), v);"},
		{"SMin of unsigned values", "%r = OpExtInst %uint %std SMin %u %v\nOpStore %p_u %r",
		 "u = u32(min(i32(u), i32(v)));"},
		{"SMax of unsigned vectors", "%r = OpExtInst %v2uint %std SMax %uv %vv\nOpStore %p_uv %r",
		 "uv = u32v2(max(i32v2(uv), i32v2(vv)));"},
		{"UClamp of signed values", "%r = OpExtInst %int %std UClamp %i %j %int_1\nOpStore %p_i %r",
		 "i = i32(clamp(u32(i), u32(j), 1u));"},
		{"SClamp of unsigned values", "%r = OpExtInst %uint %std SClamp %u %v %uint_3\nOpStore %p_u %r",
		 "u = u32(clamp(i32(u), i32(v), 3));"},
		{"FindUMsb of a signed value", "%r = OpExtInst %int %std FindUMsb %i\nOpStore %p_i %r", "i = i32(findMSB(u32(i)));"},
		{"FindSMsb of an unsigned value", "%r = OpExtInst %uint %std FindSMsb %u\nOpStore %p_u %r",
		 "u = u32(findMSB(i32(u)));"},
	};
	check_cases(cases, sizeof(cases) / sizeof(cases[0]));
}

// The corpus module that mixes signed and unsigned GLSL.std.450 operations
// (where the shared corpus is present): every operation reads its operands in
// the signedness of its instruction, as spirv-dis names it, and a result of
// the other signedness than the member it is stored to is cast back.
TEST(ListingValues, CorpusSignedOperations) {
	if (!have_tool("spirv-dis")) GTEST_SKIP() << "spirv-dis missing";
	std::string path = corpus_dir() + "/spv/spirv-cross/shaders-no-opt/asm/comp/glsl-signed-operations.asm.comp.spv";
	std::vector<uint32_t> words = read_words(path);
	if (words.empty()) GTEST_SKIP() << path << " not found";
	Rendered listing = render(words);
	ASSERT_TRUE(listing.ok) << listing.errors;
	// the block has i32v4 ints and u32v4 uints; the two loads are the only
	// temporaries, one of each
	std::smatch m;
	ASSERT_TRUE(std::regex_search(listing.text, m, std::regex(R"(i32v4 (\w+) = ints;\n\s*u32v4 (\w+) = uints;)"))) << listing.text;
	std::string ints = m[1];
	std::string uints = m[2];
	// the instruction behind each store, in the order of the stores
	std::string dis = disassemble(words);
	std::map<std::string, std::string> instructions;
	std::vector<std::string> stored;
	static const std::regex ext(R"((%\d+) = OpExtInst %\d+ %\d+ (\w+))");
	static const std::regex stores(R"(OpStore %\d+ (%\d+))");
	for (std::sregex_iterator i(dis.begin(), dis.end(), ext), e; i != e; ++i) instructions[(*i)[1]] = (*i)[2];
	for (std::sregex_iterator i(dis.begin(), dis.end(), stores), e; i != e; ++i) stored.push_back(instructions[(*i)[1]]);
	// every statement stores a value of the member's own type, made by a
	// function of operands of the instruction's signedness
	std::istringstream lines(listing.text);
	std::string line;
	int statements = 0;
	static const std::regex store(R"(^\s*(ints|uints) = (.*);$)");
	while (std::getline(lines, line)) {
		if (!std::regex_match(line, m, store)) continue;
		statements++;
		std::string target = m[1];
		std::string value = m[2];
		const std::string own = (target == "ints") ? "i32v4" : "u32v4";
		// unwrap a cast of the result back to the member's type
		bool cast = value.compare(0, own.size() + 1, own + "(") == 0;
		if (cast) value = value.substr(own.size() + 1, value.size() - own.size() - 2);
		size_t open = value.find('(');
		ASSERT_NE(open, std::string::npos) << line;
		std::vector<std::string> operands = split_top(value.substr(open + 1, value.size() - open - 2), ',');
		// the signedness the operation works in: the one that casts show, or
		// the operands' own
		std::set<std::string> kinds;
		for (const std::string &o : operands) {
			if (o.compare(0, 6, "i32v4(") == 0 || o == ints) kinds.insert("i");
			else if (o.compare(0, 6, "u32v4(") == 0 || o == uints) kinds.insert("u");
			else kinds.insert("?" + o);
		}
		EXPECT_EQ(kinds.size(), 1u) << "operands of mixed signedness: " << line;
		std::string kind = *kinds.begin();
		ASSERT_LT(static_cast<size_t>(statements - 1), stored.size()) << dis;
		const std::string &instruction = stored[statements - 1];
		bool is_unsigned = instruction[0] == 'U' || instruction == "FindUMsb";
		EXPECT_EQ(kind, is_unsigned ? "u" : "i") << instruction << ": " << line;
		EXPECT_EQ(cast, kind != (target == "ints" ? "i" : "u")) << "a result of the other signedness is cast back: " << line;
	}
	EXPECT_EQ(statements, 32) << listing.text;
}

// The hook that writes every float literal: the shortest digits that read
// back to the same bits, a float that reads as one, signs kept, and
// infinities and NaN in a form that says what they are.
TEST(ListingValues, FloatConstantTexts) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct Constant {
		const char *type;
		const char *literal; // as spirv-as reads it
		const char *expected;
	};
	const Constant constants[] = {
		{"float", "1", "1.0"},
		{"float", "0.1", "0.1"},
		{"float", "-0.0", "-0.0"},
		{"float", "130000", "130000.0"},
		{"float", "123456789", "123456790.0"},
		{"float", "1e21", "1.0e21"},
		{"float", "1e-7", "1.0e-7"},
		{"float", "3.4028234663852886e38", "3.4028235e38"},
		{"float", "0x1p-149", "1.0e-45"},
		{"float", "0x1p+128", "f32(inf)"},
		{"float", "-0x1p+128", "-f32(inf)"},
		{"float", "0x1.8p+128", "f32(nan 0x7fc00000)"},
		{"float", "-0x1.0002p+128", "f32(nan 0xff800100)"},
		{"double", "12345678901234568", "f64(12345678901234568.0)"},
		{"double", "1e21", "f64(1.0e21)"},
		{"double", "0.1", "f64(0.1)"},
		{"double", "-0.0", "f64(-0.0)"},
		{"double", "0x1p-1074", "f64(5.0e-324)"},
		{"double", "0x1p+1024", "f64(inf)"},
		{"double", "-0x1p+1024", "-f64(inf)"},
		{"double", "0x1.8p+1024", "f64(nan 0x7ff8000000000000)"},
		{"half", "1", "f16(1.0)"},
		{"half", "0x1.554p-2", "f16(0.3333)"},
		{"half", "0x1.ffcp+15", "f16(65500.0)"},
		{"half", "0x1p-24", "f16(6.0e-8)"},
		{"half", "-0.0", "f16(-0.0)"},
		{"half", "0x1p+16", "f16(inf)"},
		{"half", "-0x1p+16", "-f16(inf)"},
		{"half", "0x1.8p+16", "f16(nan 0x7e00)"},
	};
	// each constant is stored on its own line: a float to f, a double to d,
	// a half converted to f
	std::string types;
	std::string body;
	std::vector<std::string> expected;
	int k = 0;
	for (const Constant &c : constants) {
		std::string n = std::to_string(k++);
		types += "%c" + n + " = OpConstant %" + c.type + " " + c.literal + "\n";
		std::string type = c.type;
		if (type == "float") {
			body += "OpStore %p_f %c" + n + "\n";
			expected.push_back(std::string("f = ") + c.expected + ";");
		} else if (type == "double") {
			body += "OpStore %p_d %c" + n + "\n";
			expected.push_back(std::string("d = ") + c.expected + ";");
		} else {
			body += "%t" + n + " = OpFConvert %float %c" + n + "\nOpStore %p_f %t" + n + "\n";
			expected.push_back(std::string("f = f32(") + c.expected + ");");
		}
	}
	std::string text = module(body);
	text.insert(text.find("%main = OpFunction"), types);
	std::vector<uint32_t> words = assemble_valid(text, values_env);
	ASSERT_FALSE(words.empty());
	Rendered listing = render(words);
	ASSERT_TRUE(listing.ok) << listing.errors;
	// in the order of the stores
	size_t at = 0;
	for (int i = 0; i < k; i++) {
		size_t found = listing.text.find("\t" + expected[i] + "\n", at);
		EXPECT_NE(found, std::string::npos) << constants[i].literal << ": expected \"" << expected[i] << "\" in\n" << listing.text;
		if (found != std::string::npos) at = found + 1;
	}
}

namespace {

// A reader of the listing's float literals, apart from the renderer's own
// code: binary16 by search of all finite values, binary32 and binary64 by the
// C library.
struct HalfTable {
	std::vector<std::pair<double, uint16_t>> positive; // finite, ascending
	HalfTable() {
		for (uint32_t bits = 0; bits < 0x7c00u; bits++) {
			uint32_t exponent = bits >> 10;
			uint32_t mantissa = bits & 0x3ffu;
			double value = exponent ? std::ldexp(1024.0 + mantissa, static_cast<int>(exponent) - 25) : std::ldexp(mantissa, -24);
			positive.push_back({value, static_cast<uint16_t>(bits)});
		}
	}
	// the nearest binary16, ties to an even mantissa, infinity past the
	// midpoint above the largest value
	uint16_t read(double value) const {
		uint16_t sign = std::signbit(value) ? 0x8000u : 0u;
		double a = std::fabs(value);
		if (a >= 65520.0) return sign | 0x7c00u;
		auto above = std::lower_bound(positive.begin(), positive.end(), std::make_pair(a, uint16_t(0)));
		if (above == positive.end()) return sign | 0x7c00u;
		if (above->first == a || above == positive.begin()) return sign | above->second;
		auto below = above - 1;
		double up = above->first - a;
		double down = a - below->first;
		if (up < down) return sign | above->second;
		if (down < up) return sign | below->second;
		return sign | ((below->second & 1u) ? above->second : below->second);
	}
};

const HalfTable &half_table() {
	static HalfTable table;
	return table;
}

// the bits that a finite literal of a width reads as
uint64_t read_literal(const std::string &text, uint32_t width) {
	if (width == 16) return half_table().read(std::strtod(text.c_str(), nullptr));
	if (width == 32) {
		float f = std::strtof(text.c_str(), nullptr);
		uint32_t bits = 0;
		std::memcpy(&bits, &f, 4);
		return bits;
	}
	double d = std::strtod(text.c_str(), nullptr);
	uint64_t bits = 0;
	std::memcpy(&bits, &d, 8);
	return bits;
}

// the renderer's digits, opened to the test
struct Digits : Vexa::ShaderSpirv {
	using ShaderSpirv::get_float_digits;
};

// significant digits of a decimal literal
int significant_digits(const std::string &text) {
	std::string digits;
	for (char c : text) {
		if (c == 'e') break;
		if (c >= '0' && c <= '9') digits += c;
	}
	size_t first = digits.find_first_not_of('0');
	if (first == std::string::npos) return 1;
	size_t last = digits.find_last_not_of('0');
	return static_cast<int>(last - first + 1);
}

} // namespace

// The digits of every binary16 value, and of many binary32 and binary64
// values across their ranges, read back to the same bits, as a float (a '.'
// or an exponent), and one significant digit fewer would not.
TEST(ListingValues, FloatDigitsAreShortestAndExact) {
	auto check = [](uint32_t width, uint64_t bits, std::string &failures) {
		std::string text = Digits::get_float_digits(width, bits).get();
		if (text.empty()) {
			failures += "no digits for width " + std::to_string(width) + " bits " + std::to_string(bits) + "\n";
			return;
		}
		if (text.find('.') == std::string::npos && text.find('e') == std::string::npos) failures += text + " reads as an integer\n";
		if (read_literal(text, width) != bits) failures += text + " does not read back to its bits\n";
		// rounded to one digit fewer, it must read as another value
		int digits = significant_digits(text);
		if (digits > 1) {
			char shorter[64];
			double value = std::strtod(text.c_str(), nullptr);
			std::snprintf(shorter, sizeof(shorter), "%.*e", digits - 2, value);
			if (read_literal(shorter, width) == bits) failures += text + " is longer than " + shorter + "\n";
		}
	};
	std::string failures;
	for (uint32_t bits = 0; bits < 0x10000u && failures.size() < 2000; bits++) {
		if (((bits >> 10) & 0x1fu) == 0x1fu) continue;
		check(16, bits, failures);
	}
	std::mt19937_64 random(12);
	for (int n = 0; n < 20000 && failures.size() < 2000; n++) {
		uint32_t bits32 = static_cast<uint32_t>(random());
		if (((bits32 >> 23) & 0xffu) != 0xffu) check(32, bits32, failures);
		uint64_t bits64 = random();
		if (((bits64 >> 52) & 0x7ffu) != 0x7ffu) check(64, bits64, failures);
	}
	for (uint64_t bits : {0x1ull, 0x7f7fffffull, 0x00800000ull, 0x80000000ull, 0x3f800001ull, 0x4b800000ull}) check(32, bits, failures);
	for (uint64_t bits : {0x1ull, 0x7fefffffffffffffull, 0x0010000000000000ull, 0x8000000000000000ull, 0x4341c37937e08000ull}) {
		check(64, bits, failures);
	}
	EXPECT_TRUE(failures.empty()) << failures.substr(0, 3000);
	// non-finite values have no digits
	EXPECT_TRUE(Digits::get_float_digits(32, 0x7f800000u).empty());
	EXPECT_TRUE(Digits::get_float_digits(16, 0x7e00u).empty());
	EXPECT_TRUE(Digits::get_float_digits(64, 0xfff0000000000000ull).empty());
}

namespace {

// the bit patterns of the float constants of a module, per width, read from
// its words by this test's own walk
std::map<uint32_t, std::set<uint64_t>> float_constants(const std::vector<uint32_t> &words) {
	std::map<uint32_t, std::set<uint64_t>> ret;
	std::map<uint32_t, uint32_t> float_types;
	for (size_t i = 5; i < words.size();) {
		uint32_t count = words[i] >> 16;
		uint32_t op = words[i] & 0xffffu;
		if (count == 0 || i + count > words.size()) break;
		if (op == OpTypeFloat && count >= 3) float_types[words[i + 1]] = words[i + 2];
		// an OpConstantNull of any type may hold zeros of every float type
		if (op == OpConstantNull) {
			for (auto &type : float_types) ret[type.second].insert(0);
		}
		if ((op == OpConstant || op == OpSpecConstant) && count >= 4 && float_types.count(words[i + 1])) {
			uint32_t width = float_types[words[i + 1]];
			uint64_t bits = words[i + 3];
			if (width == 16) bits &= 0xffffu;
			if (width == 64 && count >= 5) bits |= static_cast<uint64_t>(words[i + 4]) << 32;
			ret[width].insert(bits);
		}
		i += count;
	}
	return ret;
}

// Every float literal of a listing, and every infinity and NaN in the
// listing's notation, is a constant of the module bit for bit; a faulty one
// is described in the result. A literal in "f64(...)" or "f16(...)" is a
// constant of that width or, as the operand of a conversion, a 32-bit one.
std::string check_literals(const std::string &text, const std::map<uint32_t, std::set<uint64_t>> &constants, uint32_t &checked) {
	std::string ret;
	auto has = [&](uint32_t width, uint64_t bits) {
		auto it = constants.find(width);
		return it != constants.end() && it->second.count(bits) != 0;
	};
	auto context_width = [&](size_t start, size_t end) -> uint32_t {
		if (start >= 4 && end < text.size() && text[end] == ')') {
			std::string before = text.substr(start - 4, 4);
			if (before == "f64(") return 64;
			if (before == "f16(") return 16;
		}
		return 32;
	};
	size_t i = 0;
	while (i < text.size()) {
		char c = text[i];
		if (!(is_word(c))) {
			i++;
			continue;
		}
		size_t start = i;
		if (!(c >= '0' && c <= '9')) {
			while (i < text.size() && is_word(text[i])) i++;
			std::string word = text.substr(start, i - start);
			if (word != "inf" && word != "nan") continue;
			// f32(inf), -f32(inf), f32(nan 0x7fc00000)
			uint32_t width = 0;
			if (start >= 4 && text.compare(start - 4, 2, "f1") == 0 && text.compare(start - 2, 2, "6(") == 0) width = 16;
			if (start >= 4 && text.compare(start - 4, 4, "f32(") == 0) width = 32;
			if (start >= 4 && text.compare(start - 4, 4, "f64(") == 0) width = 64;
			if (width == 0) {
				ret += "bare " + word + " in: " + text.substr(start >= 20 ? start - 20 : 0, 40) + "\n";
				continue;
			}
			checked++;
			uint64_t sign = uint64_t(1) << (width - 1);
			uint64_t exponent = (width == 16) ? 0x7c00u : (width == 32) ? 0x7f800000u : 0x7ff0000000000000ull;
			if (word == "inf") {
				bool negative = start >= 5 && text[start - 5] == '-';
				if (!has(width, exponent | (negative ? sign : 0))) ret += "no constant for " + text.substr(start - 4 - negative, 8 + negative) + "\n";
				continue;
			}
			size_t hex = text.find("0x", i);
			size_t close = text.find(')', i);
			if (hex != i + 1 || close == std::string::npos) {
				ret += "NaN without its bits: " + text.substr(start - 4, 20) + "\n";
				continue;
			}
			uint64_t bits = std::strtoull(text.substr(hex + 2, close - hex - 2).c_str(), nullptr, 16);
			if ((bits & exponent) != exponent || (bits & ~(exponent | sign)) == 0) ret += "not a NaN: " + text.substr(start - 4, close - start + 5) + "\n";
			if (!has(width, bits)) ret += "no constant for " + text.substr(start - 4, close - start + 5) + "\n";
			i = close;
			continue;
		}
		// a number: digits, letters, '.', and a sign right after an exponent
		bool hex = text.compare(start, 2, "0x") == 0 || text.compare(start, 2, "0X") == 0;
		while (i < text.size() &&
			(is_word(text[i]) || text[i] == '.' || (!hex && (text[i] == '-' || text[i] == '+') && (text[i - 1] == 'e' || text[i - 1] == 'E')))) {
			i++;
		}
		std::string number = text.substr(start, i - start);
		if (hex || (number.find('.') == std::string::npos && number.find('e') == std::string::npos)) continue;
		if (start > 0 && text[start - 1] == '.') continue; // a member or swizzle, never a number
		bool negative = start > 0 && text[start - 1] == '-' && !(start > 1 && (is_word(text[start - 2]) || text[start - 2] == ')' || text[start - 2] == ']'));
		size_t literal_start = negative ? start - 1 : start;
		std::string literal = text.substr(literal_start, i - literal_start);
		checked++;
		if (number.find_first_not_of("0123456789.e-") != std::string::npos) {
			ret += "not a float literal: " + literal + "\n";
			continue;
		}
		uint32_t width = context_width(literal_start, i);
		if (has(width, read_literal(literal, width))) continue;
		if (width != 32 && has(32, read_literal(literal, 32))) continue;
		ret += "no constant for " + (width == 32 ? literal : text.substr(literal_start - 4, i - literal_start + 5)) + "\n";
	}
	return ret;
}

} // namespace

// The literal check on the listing of every module of the shared corpus that
// renders (where it is present).
TEST(ListingValues, CorpusFloatLiteralsAreConstantsOfTheModule) {
	std::string dir = corpus_dir();
	std::vector<std::string> paths;
	if (!corpus_modules(dir, paths)) GTEST_SKIP() << "float literal check skipped: " << dir << "/spv.tsv not found";
	uint32_t rendered = 0;
	uint32_t literals = 0;
	std::string faults;
	for (const std::string &path : paths) {
		std::vector<uint32_t> words = read_words(dir + "/" + path);
		Rendered listing = render(words);
		if (!listing.ok) continue;
		rendered++;
		std::string fault = check_literals(listing.text, float_constants(words), literals);
		if (!fault.empty()) faults += path + ":\n" + fault;
	}
	std::printf("float literals of the corpus listings: %u in %u modules, each a constant of its module\n", literals, rendered);
	EXPECT_GT(rendered, 0u);
	EXPECT_TRUE(faults.empty()) << faults.substr(0, 4000);
}

// OpBitcast between types of different component counts keeps every bit:
// two 16-bit values in one 32-bit value and back, a 64-bit value as two
// 32-bit ones and back. Casts of equal counts keep their names.
TEST(ListingValues, BitcastAcrossComponentCounts) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	const Case cases[] = {
		{"32 bits as two halves and back", "%h = OpBitcast %v2half %u\n%r = OpBitcast %uint %h\nOpStore %p_u %r",
		 "u = bitcast<u32>(bitcast<f16v2>(u));"},
		{"64 bits as two 32-bit values", "%r = OpBitcast %v2uint %ul\nOpStore %p_uv %r", "uv = bitcast<u32v2>(ul);"},
		{"two 32-bit values as a 64-bit value", "%r = OpBitcast %ulong %uv\nOpStore %p_ul %r", "ul = bitcast<u64>(uv);"},
		{"two 32-bit values as a double", "%r = OpBitcast %double %uv\nOpStore %p_d %r", "d = bitcast<f64>(uv);"},
		{"a double as two floats", "%r = OpBitcast %v2float %d\nOpStore %p_fv %r", "fv = bitcast<f32v2>(d);"},
		{"equal counts keep the named casts", "%r = OpBitcast %float %u\nOpStore %p_f %r", "f = uintBitsToFloat(u);"},
		{"equal counts of integers convert", "%r = OpBitcast %v2int %uv\nOpStore %p_iv %r", "iv = i32v2(uv);"},
	};
	check_cases(cases, sizeof(cases) / sizeof(cases[0]));
}

// A selection by a vector of conditions picks each component on its own; a
// scalar condition, and a constant vector of one repeated condition, pick the
// whole value.
TEST(ListingValues, SelectByVectorPicksPerComponent) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	const Case cases[] = {
		{"a vector of conditions",
		 "%c = OpULessThan %v2bool %uv %vv\n%r = OpSelect %v2int %c %iv %jv\nOpStore %p_iv %r",
		 "iv = mix(jv, iv, uv < vv);"},
		{"a scalar condition", "%c = OpSLessThan %bool %i %j\n%r = OpSelect %uint %c %u %v\nOpStore %p_u %r",
		 "u = i < j ? u : v;"},
		{"a constant vector of one condition", "%r = OpSelect %v2int %both %iv %jv\nOpStore %p_iv %r",
		 "iv = true ? iv : jv;"},
		{"a constant vector of two conditions", "%r = OpSelect %v2int %first %iv %jv\nOpStore %p_iv %r",
		 "iv = mix(jv, iv, b32v2(true, false));"},
	};
	check_cases(cases, sizeof(cases) / sizeof(cases[0]));
}

// A vector built from components taken in order from one vector names that
// vector, or one swizzle of it, instead of every component.
TEST(ListingValues, ConstructFromComponentsInOrder) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	const Case cases[] = {
		{"a whole vector and one more",
		 "%x = OpCompositeExtract %float %w3 0\n%y = OpCompositeExtract %float %w3 1\n%z = OpCompositeExtract %float %w3 2\n"
		 "%r = OpCompositeConstruct %v4float %x %y %z %float_1\nOpStore %p_w4 %r",
		 "w4 = f32v4(w3, 1.0);"},
		{"a run in the middle",
		 "%y = OpCompositeExtract %float %w4 1\n%z = OpCompositeExtract %float %w4 2\n"
		 "%r = OpCompositeConstruct %v4float %float_0 %y %z %float_1\nOpStore %p_w4 %r",
		 "w4 = f32v4(0.0, w4.yz, 1.0);"},
		{"components out of order stay apart",
		 "%x = OpCompositeExtract %float %w3 0\n%y = OpCompositeExtract %float %w3 1\n%z = OpCompositeExtract %float %w3 2\n"
		 "%r = OpCompositeConstruct %v3float %y %x %z\nOpStore %p_w3 %r",
		 "w3 = f32v3(w3.y, w3.x, w3.z);"},
		{"two vectors",
		 "%x = OpCompositeExtract %float %w3 0\n%y = OpCompositeExtract %float %w3 1\n%a = OpCompositeExtract %float %fv 0\n"
		 "%b = OpCompositeExtract %float %fv 1\n%r = OpCompositeConstruct %v4float %x %y %a %b\nOpStore %p_w4 %r",
		 "w4 = f32v4(w3.xy, fv);"},
	};
	check_cases(cases, sizeof(cases) / sizeof(cases[0]));
}

// A logical not is written as the operator `!` on a scalar and as not() on a
// vector, inlined where it is used once or in a temporary where it is used
// twice alike.
TEST(ListingValues, LogicalNotOfScalarsAndVectors) {
	if (!have_tools()) GTEST_SKIP() << "spirv-as or spirv-val missing";
	struct NotCase {
		const char *what;
		const char *body;
		const char *expected; // a part of the listing
	};
	const NotCase cases[] = {
		{"a scalar used once", "%c = OpSLessThan %bool %i %j\n%n = OpLogicalNot %bool %c\n%r = OpSelect %int %n %i %j\nOpStore %p_i %r",
		 "i = !(i < j) ? i : j;"},
		{"a scalar used twice",
		 "%c = OpSLessThan %bool %i %j\n%n = OpLogicalNot %bool %c\n%r = OpSelect %int %n %i %j\nOpStore %p_i %r\n"
		 "%s = OpSelect %uint %n %u %v\nOpStore %p_u %s",
		 " = !(i < j);\n"},
		{"a vector used twice",
		 "%c = OpULessThan %v2bool %uv %vv\n%n = OpLogicalNot %v2bool %c\n%r = OpSelect %v2int %n %iv %jv\nOpStore %p_iv %r\n"
		 "%s = OpSelect %v2int %n %jv %iv\nOpStore %p_jv %s",
		 " = not(uv < vv);\n"},
	};
	for (const NotCase &c : cases) {
		std::vector<uint32_t> words = assemble_valid(module(c.body), values_env);
		ASSERT_FALSE(words.empty()) << c.what;
		Rendered listing = render(words);
		EXPECT_TRUE(listing.ok) << c.what << ": " << listing.errors;
		EXPECT_NE(listing.text.find(c.expected), std::string::npos) << c.what << ": expected \"" << c.expected << "\" in\n" << listing.text;
	}
}
