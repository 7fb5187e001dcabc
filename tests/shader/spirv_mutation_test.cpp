// The reader against broken modules: valid modules of every stage, cut short,
// with word counts of 0 and of 65535, an id bound of 0, 1 and 0xFFFFFFFF,
// strings without their terminator, ids and member indices out of range,
// types and values that refer to themselves, numeric types of widths and
// counts that do not exist, calls that do not match their callee, and random
// damage. Each load must fail with a "ShaderSpirv::load(): " message (or, for
// random damage, load or fail cleanly); run under the sanitizer build, nothing
// may read out of bounds, and nothing may hang. `shader -d` on such files
// exits with 1.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"
#include "tools/run_program.h"

#include <functional>
#include <random>

using namespace spirv_test;
using Vexa::ShaderSpirv;

namespace {

const char *sources[] = {
	"stage.vert", "stage.tesc", "stage.tese", "stage.geom", "stage.frag", "stage.comp", "stage.task",
	"stage.mesh", "stage.rgen", "stage.rmiss", "stage.rchit", "stage.rahit", "stage.rint", "stage.rcall",
};

// The valid modules that the mutations start from, compiled once.
const std::vector<std::vector<uint32_t>> &modules() {
	static std::vector<std::vector<uint32_t>> list;
	static bool made = false;
	if (made) return list;
	made = true;
	if (!have_tool("glslangValidator")) return list;
	for (const char *file : sources) {
		std::string name = file;
		bool new_stage = name.find(".r") != std::string::npos || name.find(".task") != std::string::npos ||
			name.find(".mesh") != std::string::npos;
		std::string out = temp_path("module.spv");
		std::string command = std::string("glslangValidator -V --target-env ") + (new_stage ? "vulkan1.2" : "vulkan1.0") + " -o " +
			out + " " + VEXA_TEST_DATA + "/spirv/" + file;
		if (run(command)) list.push_back(read_words(out));
		std::remove(out.c_str());
	}
	return list;
}

#define REQUIRE_MODULES() \
	if (modules().size() != sizeof(sources) / sizeof(sources[0])) GTEST_SKIP() << "glslangValidator is missing; mutation tests skipped"

// word indices of the instructions
std::vector<uint32_t> instructions(const std::vector<uint32_t> &words) {
	std::vector<uint32_t> list;
	for (uint32_t i = 5; i < words.size() && (words[i] >> 16) != 0; i += words[i] >> 16) list.push_back(i);
	return list;
}

uint32_t opcode(const std::vector<uint32_t> &words, uint32_t i) {
	return words[i] & 0xffffu;
}

// Loads a broken module: it must fail, and say why in the reader's own words.
void expect_rejected(const std::vector<uint32_t> &words, const std::string &what, const char *message = "ShaderSpirv::load(): ") {
	Loaded loaded(words);
	EXPECT_FALSE(loaded.ok) << what;
	EXPECT_NE(loaded.errors.find(message), std::string::npos) << what << "\n" << loaded.errors;
}

// Applies a change to every instruction of an opcode in every module.
void mutate_each(const std::vector<uint32_t> &ops, const std::function<bool(std::vector<uint32_t> &, uint32_t)> &change,
	const std::string &what, const char *message) {
	uint32_t count = 0;
	for (const std::vector<uint32_t> &module : modules()) {
		for (uint32_t i : instructions(module)) {
			if (std::find(ops.begin(), ops.end(), opcode(module, i)) == ops.end()) continue;
			std::vector<uint32_t> words = module;
			if (!change(words, i)) continue;
			expect_rejected(words, what + " at word " + std::to_string(i), message);
			count++;
		}
	}
	EXPECT_GT(count, 0u) << "no instruction to apply \"" << what << "\" to";
}

} // namespace

TEST(SpirvMutation, ValidModulesLoad) {
	REQUIRE_MODULES();
	for (const std::vector<uint32_t> &module : modules()) {
		Loaded loaded(module);
		EXPECT_TRUE(loaded.ok) << loaded.errors;
	}
}

TEST(SpirvMutation, Truncated) {
	REQUIRE_MODULES();
	for (const std::vector<uint32_t> &module : modules()) {
		for (uint32_t i : instructions(module)) {
			uint32_t count = module[i] >> 16;
			// inside an instruction: it runs past the end
			if (count > 1) {
				std::vector<uint32_t> words(module.begin(), module.begin() + i + 1);
				expect_rejected(words, "cut inside the instruction at " + std::to_string(i), "invalid word count");
			}
			// at an instruction boundary: what is left may even be a module, but it is read safely
			std::vector<uint32_t> words(module.begin(), module.begin() + i);
			Loaded loaded(words);
			if (!loaded.ok) {
				EXPECT_NE(loaded.errors.find("ShaderSpirv::load(): "), std::string::npos) << loaded.errors;
			}
		}
	}
}

TEST(SpirvMutation, WordCounts) {
	REQUIRE_MODULES();
	for (const std::vector<uint32_t> &module : modules()) {
		std::vector<uint32_t> list = instructions(module);
		for (size_t k = 0; k < list.size(); k += 3) {
			uint32_t i = list[k];
			for (uint32_t count : {0u, 0xffffu}) {
				std::vector<uint32_t> words = module;
				words[i] = (count << 16) | opcode(module, i);
				expect_rejected(words, "word count " + std::to_string(count) + " at " + std::to_string(i), "invalid word count");
			}
			// too short for what the instruction must hold: the rest is read as
			// further instructions, and something along the way is rejected
			if ((module[i] >> 16) > 1) {
				std::vector<uint32_t> words = module;
				words[i] = (1u << 16) | opcode(module, i);
				Loaded loaded(words);
				if (!loaded.ok) {
				EXPECT_NE(loaded.errors.find("ShaderSpirv::load(): "), std::string::npos) << loaded.errors;
			}
			}
		}
	}
	// instructions that keep their place but lose an operand
	mutate_each({23, 43, 59, 61, 62, 248}, [](std::vector<uint32_t> &w, uint32_t i) {
		// only where the last operand is one the instruction must have
		uint32_t count = w[i] >> 16;
		uint32_t op = opcode(w, i);
		if ((op == 43 || op == 59 || op == 61) && count != 4) return false;
		if (op == 62 && count != 3) return false;
		w[i] = ((count - 1) << 16) | opcode(w, i);
		w.erase(w.begin() + i + count - 1);
		return true;
	}, "an operand removed", "ShaderSpirv::load(): ");
}

TEST(SpirvMutation, IdBound) {
	REQUIRE_MODULES();
	for (const std::vector<uint32_t> &module : modules()) {
		for (uint32_t bound : {0u, 1u, 0x400000u, 0xffffffffu}) {
			std::vector<uint32_t> words = module;
			words[3] = bound;
			expect_rejected(words, "id bound " + std::to_string(bound), bound > 1 ? "invalid id bound" : "invalid id");
		}
		// one below what the ids need
		std::vector<uint32_t> words = module;
		words[3]--;
		expect_rejected(words, "id bound one too small", "invalid id");
	}
	// a bound far above the ids in use is taken up to a limit that grows with
	// the module, and costs nothing: the tables end at the highest id in use
	std::vector<uint32_t> words = modules()[0];
	uint32_t limit = ShaderSpirv::get_max_bound(static_cast<uint32_t>(words.size()));
	EXPECT_GE(limit, 65536u);
	uint32_t ids = words[3];
	words[3] = limit;
	Loaded loaded(words);
	EXPECT_TRUE(loaded.ok) << loaded.errors;
	EXPECT_LE(loaded.probe.records.size(), ids);
	EXPECT_EQ(loaded.probe.indices.size(), loaded.probe.records.size());
	EXPECT_EQ(loaded.probe.members.size(), loaded.probe.records.size());
	words[3] = limit + 1;
	expect_rejected(words, "id bound above the limit", "invalid id bound");
}

TEST(SpirvMutation, Strings) {
	REQUIRE_MODULES();
	// OpSourceExtension, OpName, OpMemberName, OpExtInstImport, OpEntryPoint: every byte
	// of the string's words made non-zero, so that no terminator is left inside
	mutate_each({4, 5, 6, 11, 15}, [](std::vector<uint32_t> &w, uint32_t i) {
		uint32_t count = w[i] >> 16;
		uint32_t first = (opcode(w, i) == 5 || opcode(w, i) == 11) ? 2 : opcode(w, i) == 6 ? 3 : opcode(w, i) == 15 ? 3 : 1;
		if (opcode(w, i) == 15) {
			// the interface ids follow the name: make the name reach the end
			w.resize(i + first + 1);
			w[i] = ((first + 1) << 16) | 15;
			w[i + first] = 0x41414141u;
			return true;
		}
		for (uint32_t k = first; k < count; k++) w[i + k] = 0x41414141u;
		return true;
	}, "string without terminator", "unterminated string");
}

TEST(SpirvMutation, IdsOutOfRange) {
	REQUIRE_MODULES();
	for (uint32_t value : {0u, 1u}) {
		// value 0: the bound itself; value 1: 0xffffffff
		auto id = [value](const std::vector<uint32_t> &w) { return value ? 0xffffffffu : w[3]; };
		// result types and operands of loads, stores, chains, decorations and names
		mutate_each({61, 65, 128, 129, 133, 142, 145, 79, 80, 81, 87}, [&](std::vector<uint32_t> &w, uint32_t i) {
			w[i + 1] = id(w);
			return true;
		}, "result type out of range", "invalid id");
		mutate_each({61, 62, 65, 57, 71, 5, 249, 250, 15}, [&](std::vector<uint32_t> &w, uint32_t i) {
			uint32_t k = (opcode(w, i) == 61 || opcode(w, i) == 65 || opcode(w, i) == 57) ? 3 : opcode(w, i) == 15 ? 2 : 1;
			w[i + k] = id(w);
			return true;
		}, "operand out of range", "invalid id");
		// results: every table is indexed with them
		mutate_each({19, 21, 22, 23, 32, 43, 54, 59, 248}, [&](std::vector<uint32_t> &w, uint32_t i) {
			uint32_t k = ShaderSpirv::is_value_opcode(static_cast<int32_t>(opcode(w, i))) ? 2 : 1;
			w[i + k] = id(w);
			return true;
		}, "result out of range", "invalid id");
	}
	// an opcode that the grammar does not have but the reader takes for a
	// value (85) still has its result checked
	mutate_each({129, 133}, [](std::vector<uint32_t> &w, uint32_t i) {
		w[i] = (w[i] & 0xffff0000u) | 85;
		w[i + 2] = 0xfffffff0u;
		return true;
	}, "unassigned value opcode", "invalid id");
}

TEST(SpirvMutation, MemberIndices) {
	REQUIRE_MODULES();
	for (uint32_t member : {64u, 0xffffffffu}) {
		mutate_each({6, 72}, [member](std::vector<uint32_t> &w, uint32_t i) {
			w[i + 2] = member;
			return true;
		}, "member index " + std::to_string(member), "invalid member");
	}
	// a member name on something that is no structure
	mutate_each({6}, [](std::vector<uint32_t> &w, uint32_t i) {
		w[i + 1] = w[i + 1] == 1 ? 2 : 1;
		return true;
	}, "member name of a non-structure", "ShaderSpirv::load(): ");
}

TEST(SpirvMutation, SelfReferences) {
	REQUIRE_MODULES();
	using Change = std::function<bool(std::vector<uint32_t> &, uint32_t)>;
	auto self = [](uint32_t result, uint32_t operand) -> Change {
		return [=](std::vector<uint32_t> &w, uint32_t i) {
			if ((w[i] >> 16) <= operand) return false;
			w[i + operand] = w[i + result];
			return true;
		};
	};
	const char *message = "is used before its definition";
	mutate_each({23, 24, 28, 29}, self(1, 2), "element type of itself", message); // vector, matrix, arrays
	mutate_each({32}, self(1, 3), "pointer to itself", message);
	mutate_each({30}, self(1, 2), "structure holding itself", message);
	mutate_each({61, 65}, self(2, 3), "load or chain from itself", message);
	mutate_each({61, 128, 129, 133, 59, 43}, self(2, 1), "result of its own type", message);
	mutate_each({128, 129, 133, 142, 79, 80, 81}, self(2, 3), "operation on its own result", message);
	// two types that refer to each other: the vector's component becomes a later pointer
	mutate_each({23}, [](std::vector<uint32_t> &w, uint32_t i) {
		for (uint32_t j : instructions(w)) {
			if (j > i && opcode(w, j) == 32 && w[j + 3] == w[i + 1]) {
				w[i + 2] = w[j + 1];
				return true;
			}
		}
		return false;
	}, "vector of a later pointer to it", message);
	// the same id defined twice: the second definition would redirect the first's users
	mutate_each({23}, [](std::vector<uint32_t> &w, uint32_t i) {
		w[i + 1] = w[i + 2];
		return true;
	}, "type defined twice", "defined twice");
}

TEST(SpirvMutation, MeaninglessCountsAndCalls) {
	REQUIRE_MODULES();
	// widths and counts that the format does not have, each in place of the
	// real one in every type of its kind
	struct Case {
		uint32_t opcode;
		uint32_t word;
		std::vector<uint32_t> values;
		const char *message;
	} cases[] = {
		{21, 2, {0, 1, 7, 31, 128, 0xffffffffu}, "invalid width"},            // OpTypeInt
		{22, 2, {0, 8, 31, 128, 0xffffffffu}, "invalid width"},               // OpTypeFloat
		{23, 3, {0, 1, 5, 7, 17, 0xffffffffu}, "invalid component count"},    // OpTypeVector
		{24, 3, {0, 1, 5, 16, 0xffffffffu}, "invalid column count"},          // OpTypeMatrix
	};
	for (const Case &c : cases) {
		for (uint32_t value : c.values) {
			mutate_each({c.opcode}, [&](std::vector<uint32_t> &w, uint32_t i) {
				w[i + c.word] = value;
				return true;
			}, "opcode " + std::to_string(c.opcode) + " with " + std::to_string(value), c.message);
		}
	}
	// a vector of vectors, a matrix of scalars
	auto element = [](uint32_t kind) {
		return [kind](std::vector<uint32_t> &w, uint32_t i) {
			for (uint32_t j : instructions(w)) {
				if (j >= i) break;
				if (opcode(w, j) == kind) {
					w[i + 2] = w[j + 1];
					return true;
				}
			}
			return false;
		};
	};
	mutate_each({23}, element(23), "vector of vectors", "invalid component type");
	mutate_each({24}, element(22), "matrix of scalars", "invalid column type");
	// a call with an argument too few or too many, and a call of a type
	mutate_each({57}, [](std::vector<uint32_t> &w, uint32_t i) {
		uint32_t count = w[i] >> 16;
		if (count <= 4) return false;
		w[i] = ((count - 1) << 16) | 57;
		w.erase(w.begin() + i + count - 1);
		return true;
	}, "call with an argument too few", "arguments to function");
	mutate_each({57}, [](std::vector<uint32_t> &w, uint32_t i) {
		uint32_t count = w[i] >> 16;
		if (count <= 4) return false;
		w[i] = ((count + 1) << 16) | 57;
		w.insert(w.begin() + i + count, w[i + count - 1]);
		return true;
	}, "call with an argument too many", "arguments to function");
	mutate_each({57}, [](std::vector<uint32_t> &w, uint32_t i) {
		w[i + 3] = w[i + 1];
		return true;
	}, "call of a type", "is not a function");
}

TEST(SpirvMutation, RandomDamage) {
	REQUIRE_MODULES();
	std::mt19937 random(1234);
	uint32_t loaded_count = 0;
	for (const std::vector<uint32_t> &module : modules()) {
		for (int round = 0; round < 300; round++) {
			std::vector<uint32_t> words = module;
			int changes = 1 + static_cast<int>(random() % 4);
			for (int c = 0; c < changes; c++) {
				uint32_t at = 5 + random() % (words.size() - 5);
				switch (random() % 5) {
					case 0: words[at] = random(); break;
					case 1: words[at] = random() % 64; break;
					case 2: words[at] ^= 1u << (random() % 32); break;
					case 3: words[at] = words[5 + random() % (words.size() - 5)]; break;
					case 4: words.resize(at); break;
				}
				if (words.size() <= 5) break;
			}
			Loaded loaded(words);
			if (loaded.ok) loaded_count++;
			else EXPECT_NE(loaded.errors.find("ShaderSpirv::load(): "), std::string::npos) << loaded.errors;
		}
	}
	RecordProperty("loaded", static_cast<int>(loaded_count));
}

TEST(SpirvMutation, ProgramRejectsBrokenFiles) {
	REQUIRE_MODULES();
	const std::vector<uint32_t> &module = modules()[4]; // fragment
	struct Case {
		const char *name;
		std::function<void(std::vector<uint32_t> &)> change;
		const char *message;
	} cases[] = {
		{"bound", [](std::vector<uint32_t> &w) { w[3] = 0xffffffffu; }, "ShaderSpirv::load(): invalid id bound 4294967295\n"},
		{"count", [](std::vector<uint32_t> &w) { w[5] = 0xffff0011u; }, "ShaderSpirv::load(): invalid word count 65535 at word 5\n"},
		// cut inside the first instruction, an OpCapability of two words
		{"cut", [](std::vector<uint32_t> &w) { w.resize(6); }, "ShaderSpirv::load(): invalid word count 2 at word 5\n"},
		// every vector of no components
		{"vector", [](std::vector<uint32_t> &w) {
			for (uint32_t i : instructions(w)) {
				if (opcode(w, i) == 23) w[i + 3] = 0;
			}
		}, "ShaderSpirv::load(): invalid component count 0 of vector type "},
	};
	for (const Case &c : cases) {
		std::vector<uint32_t> words = module;
		c.change(words);
		std::string path = temp_path(std::string(c.name) + ".spv");
		write_words(path, words);
		ProgramResult result = run_program({"-f", path, "-d", temp_path("out.txt")});
		std::remove(path.c_str());
		EXPECT_EQ(result.status, 1) << c.name;
		EXPECT_NE(result.err.find(c.message), std::string::npos) << c.name << "\n" << result.err;
		EXPECT_NE(result.err.find("ShaderCompiler::getSource(): can't load shader"), std::string::npos) << result.err;
	}
}
