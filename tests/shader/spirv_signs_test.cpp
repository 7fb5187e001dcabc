// Signedness repair and the OpSpecConstantOp of default values in the base
// renderer. The repair is a table of opcodes and operand types against the
// signedness each operand is read in, for a target of typed operators (whose
// + - * << | ^ & == != and - ~ take operands of one type) and for the base's
// listing. The specialisation constants are written on their default values
// in GLSL's spelling, and the reference compiler folds each text as a
// constant expression: an array whose size is -1 unless the text has the
// value that SPIR-V gives the operation is its error.
#include <gtest/gtest.h>

#include "spirv_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"
#include "shader/backends/ShaderSpirvGLSL.h"

#include <string>
#include <vector>

namespace {

using namespace spirv_test;
using namespace Vexa;

class SignProbe : public ShaderSpirv {
public:
	bool typed = false;
	bool has_typed_operators() const override { return typed; }
	using ShaderSpirv::get_iterator;
	using ShaderSpirv::get_sign_repair;
	using ShaderSpirv::is_sign_cast_result;
	using ShaderSpirv::records;

	// per operand word from 3 on: '.' read as it is, 's' or 'u' cast to that
	// signedness, 'S' or 'U' the same where a constant may be written as a
	// literal of it; one letter more for the word past the instruction
	std::string repairs(const Iterator &it) const {
		std::string ret;
		for (uint32_t k = 3; k <= it.get_size(); k++) {
			SignRepair repair = get_sign_repair(it, k);
			char c = repair.sign == SignSigned ? 's' : repair.sign == SignUnsigned ? 'u' : '.';
			if (repair.literal && c != '.') c = static_cast<char>(c - 'a' + 'A');
			ret += c;
		}
		return ret;
	}
};

class SpecProbe : public ShaderSpirvGLSL {
public:
	SpecProbe() : ShaderSpirvGLSL(450, 0) {}
	using ShaderSpirv::get_specialization_value;
	using ShaderSpirv::records;
};

// the id of a name the module gives, 0 for none
template <class Probe> uint32_t find_id(const Probe &probe, const std::string &name) {
	for (uint32_t i = 0; i < probe.records.size(); i++) {
		if (name == probe.records[i].name.get()) return i;
	}
	return 0;
}

const char *const header = R"(
               OpCapability Shader
          %1 = OpExtInstImport "GLSL.std.450"
               OpMemoryModel Logical GLSL450
               OpEntryPoint GLCompute %main "main"
               OpExecutionMode %main LocalSize 1 1 1
)";

const char *const types = R"(
       %void = OpTypeVoid
         %fn = OpTypeFunction %void
       %bool = OpTypeBool
        %int = OpTypeInt 32 1
       %uint = OpTypeInt 32 0
      %v2int = OpTypeVector %int 2
     %v2uint = OpTypeVector %uint 2
)";

// one result of each row, named after it
const char *const operations = R"(
               OpName %add_mixed "add_mixed"
               OpName %add_int "add_int"
               OpName %shl_mixed "shl_mixed"
               OpName %neg_mixed "neg_mixed"
               OpName %neg_unsigned "neg_unsigned"
               OpName %eq_mixed "eq_mixed"
               OpName %sdiv_unsigned "sdiv_unsigned"
               OpName %ugt_mixed "ugt_mixed"
               OpName %sra_unsigned "sra_unsigned"
               OpName %slt_mixed "slt_mixed"
               OpName %and_vectors "and_vectors"
               OpName %not_mixed "not_mixed"
               OpName %umax_mixed "umax_mixed"
%TYPES
          %i = OpConstant %int 5
          %u = OpConstant %uint 7
         %vi = OpConstantComposite %v2int %i %i
       %main = OpFunction %void None %fn
      %entry = OpLabel
  %add_mixed = OpIAdd %uint %i %u
    %add_int = OpIAdd %int %i %i
  %shl_mixed = OpShiftLeftLogical %int %u %u
  %neg_mixed = OpSNegate %uint %i
%neg_unsigned = OpSNegate %uint %u
   %eq_mixed = OpIEqual %bool %i %u
%sdiv_unsigned = OpSDiv %uint %u %u
   %ugt_mixed = OpUGreaterThan %bool %i %u
%sra_unsigned = OpShiftRightArithmetic %uint %u %i
  %slt_mixed = OpSLessThan %bool %u %i
%and_vectors = OpBitwiseAnd %v2uint %vi %vi
  %not_mixed = OpNot %int %u
 %umax_mixed = OpExtInst %int %1 UMax %i %u
               OpReturn
               OpFunctionEnd
)";

std::string module_text(const char *body) {
	std::string text = std::string(header) + body;
	size_t at = text.find("%TYPES");
	if (at != std::string::npos) text.replace(at, 6, types);
	return text;
}

TEST(SignRepair, OperandsOfEachOpcode) {
	if (!have_tool("spirv-as")) GTEST_SKIP() << "spirv-as missing";
	std::vector<uint32_t> words = assemble(module_text(operations));
	ASSERT_EQ(spirv_val(words), "");
	// the repairs of the operands (SignProbe::repairs) and whether the
	// result is cast back to its type
	struct Row {
		const char *name;
		const char *typed;
		bool typed_result;
		const char *listing;
		bool listing_result;
	};
	const Row rows[] = {
		// done in the result's type on a target of typed operators
		{"add_mixed", "u.", false, "..", false},
		{"add_int", "..", false, "..", false},
		// the shift amount is a count
		{"shl_mixed", "s.", false, "..", false},
		{"neg_mixed", "u", false, ".", true},
		// no mix: the opcode's own signedness, and back
		{"neg_unsigned", "S", true, "S", true},
		// equality reads the second operand as the first
		{"eq_mixed", ".s", false, "..", false},
		{"sdiv_unsigned", "SS", true, "SS", true},
		{"ugt_mixed", "U.", false, "U.", false},
		{"sra_unsigned", "S.", true, "S.", true},
		{"slt_mixed", "S.", false, "S.", false},
		{"and_vectors", "uu", false, "..", false},
		{"not_mixed", "s", false, ".", false},
		// the extended instructions' operands begin at word 5
		{"umax_mixed", "..U.", true, "..U.", true},
	};
	for (bool typed : {true, false}) {
		SignProbe probe;
		probe.typed = typed;
		LogCapture capture;
		ASSERT_TRUE(probe.load(to_array(words))) << capture.errors;
		for (const Row &row : rows) {
			SCOPED_TRACE(std::string(row.name) + (typed ? " typed" : " listing"));
			uint32_t id = find_id(probe, row.name);
			ASSERT_NE(id, 0u);
			ShaderSpirv::Iterator it = probe.get_target(id);
			// no word past the instruction is an operand
			EXPECT_EQ(probe.repairs(it), std::string(typed ? row.typed : row.listing) + ".");
			EXPECT_EQ(probe.is_sign_cast_result(it), typed ? row.typed_result : row.listing_result);
		}
	}
}

// the rows of OpSpecConstantOp on a = -7, b = 3u, c = 2 and a true condition:
// the result's GLSL type and the value GLSL must fold the text to
const char *const specializations = R"(
               OpName %add_mixed "add_mixed"
               OpName %sub_int "sub_int"
               OpName %mul_mixed "mul_mixed"
               OpName %sdiv_int "sdiv_int"
               OpName %sdiv_mixed "sdiv_mixed"
               OpName %udiv_int "udiv_int"
               OpName %shl_mixed "shl_mixed"
               OpName %sra_int "sra_int"
               OpName %srl_int "srl_int"
               OpName %and_mixed "and_mixed"
               OpName %not_mixed "not_mixed"
               OpName %neg_mixed "neg_mixed"
               OpName %eq_mixed "eq_mixed"
               OpName %slt_int "slt_int"
               OpName %ult_mixed "ult_mixed"
               OpName %select_int "select_int"
               OpDecorate %a SpecId 0
               OpDecorate %b SpecId 1
               OpDecorate %c SpecId 2
               OpDecorate %t SpecId 3
%TYPES
          %a = OpSpecConstant %int -7
          %b = OpSpecConstant %uint 3
          %c = OpSpecConstant %int 2
          %t = OpSpecConstantTrue %bool
  %add_mixed = OpSpecConstantOp %uint IAdd %a %b
    %sub_int = OpSpecConstantOp %int ISub %a %c
  %mul_mixed = OpSpecConstantOp %int IMul %b %a
   %sdiv_int = OpSpecConstantOp %int SDiv %a %c
 %sdiv_mixed = OpSpecConstantOp %uint SDiv %a %b
   %udiv_int = OpSpecConstantOp %uint UDiv %a %b
  %shl_mixed = OpSpecConstantOp %uint ShiftLeftLogical %a %c
    %sra_int = OpSpecConstantOp %int ShiftRightArithmetic %a %c
    %srl_int = OpSpecConstantOp %int ShiftRightLogical %a %c
  %and_mixed = OpSpecConstantOp %int BitwiseAnd %b %a
  %not_mixed = OpSpecConstantOp %int Not %b
  %neg_mixed = OpSpecConstantOp %uint SNegate %a
   %eq_mixed = OpSpecConstantOp %bool IEqual %a %b
    %slt_int = OpSpecConstantOp %bool SLessThan %a %c
  %ult_mixed = OpSpecConstantOp %bool ULessThan %a %b
 %select_int = OpSpecConstantOp %int Select %t %a %c
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)";

TEST(Specialization, DefaultValuesFoldToSpirvResults) {
	if (!have_tool("spirv-as") || !have_tool("glslangValidator")) GTEST_SKIP() << "spirv-as or glslangValidator missing";
	std::vector<uint32_t> words = assemble(module_text(specializations));
	ASSERT_EQ(spirv_val(words), "");
	struct Row {
		const char *name;
		const char *type;
		const char *value;
	};
	const Row rows[] = {
		{"add_mixed", "uint", "4294967292u"},
		{"sub_int", "int", "-9"},
		{"mul_mixed", "int", "-21"},
		{"sdiv_int", "int", "-3"},
		{"sdiv_mixed", "uint", "4294967294u"},
		{"udiv_int", "uint", "1431655763u"},
		{"shl_mixed", "uint", "4294967268u"},
		{"sra_int", "int", "-2"},
		{"srl_int", "int", "1073741822"},
		{"and_mixed", "int", "1"},
		{"not_mixed", "int", "-4"},
		{"neg_mixed", "uint", "7u"},
		{"eq_mixed", "bool", "false"},
		{"slt_int", "bool", "true"},
		{"ult_mixed", "bool", "false"},
		{"select_int", "int", "-7"},
	};
	SpecProbe probe;
	LogCapture capture;
	ASSERT_TRUE(probe.load(to_array(words))) << capture.errors;
	std::string source = "#version 450\nlayout(local_size_x = 1) in;\n";
	for (const Row &row : rows) {
		uint32_t id = find_id(probe, row.name);
		ASSERT_NE(id, 0u) << row.name;
		std::string text = probe.get_specialization_value(probe.get_target(id), false).get();
		ASSERT_FALSE(text.empty()) << row.name << ": " << capture.errors;
		source += std::string("const ") + row.type + " " + row.name + " = " + text + ";\n";
		source += std::string("int ") + row.name + "_check[(" + row.name + " == " + row.value + ") ? 1 : -1];\n";
	}
	source += "void main() {}\n";
	EXPECT_EQ(capture.errors, "");
	std::string input = temp_path("specialization.comp");
	std::string output = temp_path("specialization.spv");
	std::ofstream(input) << source;
	std::string errors;
	EXPECT_TRUE(run("glslangValidator -V -o " + output + " " + input, &errors)) << errors << "\n" << source;
	std::remove(input.c_str());
	std::remove(output.c_str());
}

// an operation of no known form is an error that names it, not a text
TEST(Specialization, UnknownOperationIsAnError) {
	if (!have_tool("spirv-as")) GTEST_SKIP() << "spirv-as missing";
	std::vector<uint32_t> words = assemble(module_text(R"(
               OpName %r "r"
%TYPES
          %a = OpSpecConstant %int 1
          %r = OpSpecConstantOp %int QuantizeToF16 %a
       %main = OpFunction %void None %fn
      %entry = OpLabel
               OpReturn
               OpFunctionEnd
)"));
	ASSERT_FALSE(words.empty());
	SpecProbe probe;
	LogCapture capture;
	ASSERT_TRUE(probe.load(to_array(words))) << capture.errors;
	EXPECT_EQ(probe.get_specialization_value(probe.get_target(find_id(probe, "r")), false), String());
	EXPECT_NE(capture.errors.find("unknown SpecConstantOp"), std::string::npos) << capture.errors;
}

} // namespace
