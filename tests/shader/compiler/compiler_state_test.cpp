// The compiler object's state: a reset empties all that a compilation
// gathered and keeps the name tables, so that compilations in sequence on one
// object give what fresh objects give; records stay where they are while more
// are added.
#include "compiler_fixtures.h"

#include "shader/ShaderSpirvNumbers.h"

#include <gtest/gtest.h>

using Vexa::Compiler;
using Vexa::String;

namespace {

namespace Spirv = Vexa::Spirv;

// a stretch of registry work like one compilation's declarations
void declare(Compiler &c) {
	uint32_t vec = c.add_type("f32v3");
	c.add_type("sampler2DArrayShadow");
	c.add_type("u32", 8);
	c.add_pointer_type(vec, ~0u, Spirv::StorageStorageBuffer);
	c.add_constant("i32", 7);
	Compiler::Function &function = c.functions.append();
	function.name = "main";
	function.index = 0;
	function.id = c.next_id++;
	Compiler::Variable &variable = c.variables.append();
	variable.name = "v";
	variable.id = c.next_id++;
	variable.decorations.insert(30, 1);
	variable.scope = &function.scope;
	c.global_scope.variables.insert(String("v"), 0u);
	c.add_function_opcode(function, Spirv::OpReturn, {});
	c.capabilities.insert(61);
	c.extensions.insert(String("GL_EXT_test"));
	c.execution_model = 4;
	c.execution_modes.insert(7, ~0u);
	c.records.insert(function.id, 0u);
	c.decorations.insert(vec, Vexa::Map<uint32_t, uint32_t>());
	c.flags = Compiler::DefaultFlags;
	c.glsl_id = c.next_id++;
	c.group_size[2] = 4;
}

std::vector<uint32_t> words(const Compiler &c) {
	return std::vector<uint32_t>(c.words.get(), c.words.get() + c.words.size());
}

TEST(CompilerState, ConstructionAndReset) {
	Compiler c;
	EXPECT_EQ(c.flags, 0u);
	EXPECT_EQ(c.execution_model, ~0u);
	EXPECT_EQ(c.group_size[0], 0u);
	EXPECT_EQ(c.group_size[2], 0u);
	EXPECT_EQ(c.next_id, 1u);
	EXPECT_EQ(c.glsl_id, ~0u);

	c.init_tables();
	declare(c);
	c.reset();
	EXPECT_EQ(c.flags, 0u);
	EXPECT_FALSE(c.extensions);
	EXPECT_FALSE(c.capabilities);
	EXPECT_EQ(c.execution_model, ~0u);
	EXPECT_FALSE(c.execution_modes);
	EXPECT_EQ(c.group_size[0], 1u);
	EXPECT_EQ(c.group_size[1], 1u);
	EXPECT_EQ(c.group_size[2], 0u);
	EXPECT_FALSE(c.global_scope.variables);
	EXPECT_EQ(c.storage_pointers.size(), 0u);
	EXPECT_EQ(c.variables.size(), 0u);
	EXPECT_EQ(c.structures.size(), 0u);
	EXPECT_EQ(c.functions.size(), 0u);
	EXPECT_EQ(c.words.size(), 0u);
	EXPECT_EQ(c.next_id, 1u);
	EXPECT_EQ(c.glsl_id, ~0u);
	EXPECT_FALSE(c.constants);
	EXPECT_FALSE(c.types);
	EXPECT_FALSE(c.records);
	EXPECT_FALSE(c.decorations);
	EXPECT_FALSE(c.targets);
	// the name tables stay
	EXPECT_EQ(c.glsl_types.size(), 171u);
	EXPECT_EQ(c.layout_qualifiers.size(), 15u);

	// clear leaves the declared work-group depth
	c.group_size[2] = 8;
	c.clear();
	EXPECT_EQ(c.group_size[2], 8u);
}

TEST(CompilerState, SequenceOnOneObjectMatchesFreshObjects) {
	Compiler reused;
	reused.init_tables();
	std::vector<uint32_t> runs[2];
	for (auto &run : runs) {
		reused.reset();
		declare(reused);
		run = words(reused);
		// a reused record starts empty
		EXPECT_EQ(reused.functions[0].code.size(), 1u);
		EXPECT_EQ(reused.variables[0].decorations.size(), 1u);
	}
	Compiler fresh;
	fresh.reset();
	fresh.init_tables();
	declare(fresh);
	EXPECT_EQ(runs[0], words(fresh));
	EXPECT_EQ(runs[1], words(fresh));
	EXPECT_EQ(reused.next_id, fresh.next_id);
}

TEST(CompilerState, RecordsStayInPlace) {
	Compiler c;
	c.reset();
	Compiler::Function &first = c.functions.append();
	first.name = "first";
	Compiler::Scope *scope = &first.scope;
	Compiler::Variable &variable = c.variables.append();
	variable.scope = scope;
	for (uint32_t i = 0; i < 1000; i++) {
		Compiler::Function &function = c.functions.append(c.functions[0]);
		function.scope.parent = scope;
		c.variables.append().name = "x";
	}
	EXPECT_EQ(&c.functions[0], &first);
	EXPECT_EQ(&c.variables[0], &variable);
	EXPECT_EQ(c.functions[999].scope.parent, scope);
	EXPECT_EQ(c.functions[1000].name, String("first"));
	EXPECT_EQ(c.functions.size(), 1001u);
	EXPECT_EQ(&c.functions.back(), &c.functions[1000]);

	// cleared records are reused in place and start as new ones
	c.functions[0].code.append(1);
	c.reset();
	Compiler::Function &again = c.functions.append();
	EXPECT_EQ(&again, &first);
	EXPECT_EQ(again.code.size(), 0u);
	EXPECT_EQ(again.name, String());
	EXPECT_EQ(again.id, ~0u);
}

TEST(CompilerState, WorkingRecords) {
	Compiler::StackValue text(String("1.0"));
	EXPECT_EQ(text.id, ~0u);
	EXPECT_EQ(text.text, String("1.0"));
	Compiler::StackValue ids(4, 5);
	EXPECT_EQ(ids.pointer, 5u);
	Compiler::Token token(3, 7, String("name"));
	EXPECT_EQ(token.a, 7u);
	EXPECT_EQ(token.b, ~0u);
	EXPECT_EQ(token.name, String("name"));
	Compiler::Token pair(3, 7, 8);
	EXPECT_EQ(pair.b, 8u);
	uint32_t data[3] = {1, 2, 3};
	Compiler::WordStack<16> stack(data, 3);
	EXPECT_EQ(stack.size(), 3u);
	EXPECT_TRUE(stack.isInline());
	Compiler::WordStack<16> filled(20, 9);
	EXPECT_EQ(filled[19], 9u);
	EXPECT_FALSE(filled.isInline());
}

} // namespace
