// Structured control flow: if, while, do, for and switch compiled straight
// into the blocks SPIR-V asks for. Forward branches are written with a
// placeholder operand whose code position is kept, and patched once the
// target block has its label. Each loop installs its own break and continue
// lists for its body, a switch its own break list; the enclosing lists come
// back when the statement ends, also when it throws.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "core/Parser.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using CompilerBits::skip_spaces;
using CompilerBits::starts_name;

namespace {

constexpr uint32_t Placeholder = ~0u;

// the branches, returns and kills, and the instructions that end an
// invocation's work: terminating and ignoring rays, emitting mesh tasks
bool is_terminator(uint32_t opcode) {
	return (opcode >= Spirv::OpBranch && opcode <= Spirv::OpUnreachable) || opcode == Spirv::OpTerminateInvocation || opcode == Spirv::OpIgnoreIntersection || opcode == Spirv::OpTerminateRay || opcode == Spirv::OpEmitMeshTasks;
}

// past spaces and comments
const char *skip_blanks(const char *s) {
	for (;;) {
		s = skip_spaces(s);
		if (!Parser::isComment(s)) return s;
		s += Parser::skipComment(s);
	}
}

// whether the word stands at s as a whole word
bool is_word(const char *s, const char *word) {
	size_t size = strlen(word);
	if (strncmp(s, word, size) != 0) return false;
	char c = s[size];
	return !(starts_name(c) || (c >= '0' && c <= '9'));
}

// the text between the parentheses at s; s moves past them
String read_parentheses(const char *&s) {
	s = skip_blanks(s);
	if (*s != '(') throwError("expecting '%c'\n", '(');
	String ret;
	const char *start = s;
	s += Parser::readRegion(s, ret, '(', ')');
	if (s == start || s[-1] != ')') throwError("expecting '%c'\n", ')');
	return ret;
}

// a condition: the whole text, as a bool
uint32_t parse_condition(Compiler &compiler, const String &text, Compiler::Function &function, Compiler::Scope &scope) {
	const char *t = text.get();
	if (*skip_spaces(t) == '\0') throwError("invalid expression\n");
	uint32_t id = compiler.parse_expression(&t, String("b32"), function, &scope);
	t = skip_spaces(t);
	if (*t == ',') throwError("comma operator is not supported\n");
	if (*t != '\0') throwError("unexpected \"%s\"\n", String(t).substr(0, 32).get());
	uint32_t flags = compiler.get_target_flags(id);
	if ((flags & Compiler::TypeKindMask) != Compiler::TypeBool || !(flags & Compiler::TypeScalar)) {
		throwError("invalid condition of %s type\n", compiler.get_target_type_name(id).get());
	}
	return id;
}

// an instruction whose last operand is a placeholder: its position
uint32_t add_forward(Compiler &compiler, Compiler::Function &function, uint32_t opcode, std::initializer_list<uint32_t> operands) {
	compiler.add_function_opcode(function, opcode, operands);
	return function.code.size() - 1;
}

void patch(Compiler::Function &function, uint32_t position, uint32_t id) {
	if (position != ~0u) function.code[position] = id;
}

// the end of a part of a construct: a branch to be patched, whose position is
// returned, or ~0u where the block has ended already or no branch reaches it
// (such a block ends as unreachable: it may not jump into the construct)
uint32_t add_exit(Compiler &compiler, Compiler::Function &function) {
	if (is_terminator(function.last_opcode)) return ~0u;
	if (function.dead) {
		compiler.add_function_opcode(function, Spirv::OpUnreachable, {});
		return ~0u;
	}
	return add_forward(compiler, function, Spirv::OpBranch, {Placeholder});
}

void patch(Compiler::Function &function, const Compiler::BreakList &list, uint32_t id) {
	for (uint32_t i = 0; i < list.size(); i++) function.code[list[i]] = id;
}

// the jump lists of a loop body or a switch, with the enclosing ones given
// back when it ends
class JumpLists {
public:
	JumpLists(Compiler::Function &function, bool loop) : function(function), breaks(function.breaks), continues(function.continues),
		switch_breaks(function.switch_breaks) {
		if (loop) {
			function.breaks = &own_breaks;
			function.continues = &own_continues;
			function.switch_breaks = nullptr;
		} else {
			function.breaks = nullptr;
			function.continues = nullptr;
			function.switch_breaks = &own_breaks;
		}
	}
	~JumpLists() { restore(); }
	JumpLists(const JumpLists &) = delete;
	JumpLists &operator=(const JumpLists &) = delete;

	void restore() {
		function.breaks = breaks;
		function.continues = continues;
		function.switch_breaks = switch_breaks;
	}

	Compiler::BreakList own_breaks;
	Compiler::BreakList own_continues;

private:
	Compiler::Function &function;
	Compiler::BreakList *breaks;
	Compiler::BreakList *continues;
	Compiler::BreakList *switch_breaks;
};

// the header of a loop: a branch into it, OpLoopMerge with placeholders for
// the merge and continue blocks, and a branch to the block after it, whose id
// is returned; merge and continue get the placeholders' positions
uint32_t open_loop(Compiler &compiler, Compiler::Function &function, uint32_t control, uint32_t &header, uint32_t &merge, uint32_t &next) {
	header = compiler.next_id++;
	compiler.add_function_opcode(function, Spirv::OpBranch, {header});
	compiler.add_function_label(function, header);
	// the header is reached if the block before it is, and so is the body
	compiler.add_function_opcode(function, Spirv::OpLoopMerge, {Placeholder, Placeholder, control});
	merge = function.code.size() - 3;
	next = compiler.next_id++;
	compiler.add_function_opcode(function, Spirv::OpBranch, {next});
	compiler.add_function_label(function, next);
	return merge + 1;
}

// the continue block, after the body: it patches the loop's continue operand
// and the jumps to it; it is reached from the body's end or a continue. Its
// branch back to the header is written also when nothing reaches it: a loop
// has one back edge.
uint32_t open_continue(Compiler &compiler, Compiler::Function &function, uint32_t continue_operand, const Compiler::BreakList &continues) {
	uint32_t block = compiler.next_id++;
	uint32_t end = add_exit(compiler, function);
	patch(function, end, block);
	patch(function, continue_operand, block);
	patch(function, continues, block);
	compiler.add_function_label(function, block);
	function.dead = end == ~0u && continues.size() == 0;
	return block;
}

// the body of a while or do loop, in a scope of its own
void parse_loop_body(Compiler &compiler, const char *src, const char **cursor, uint32_t *error_offset, Compiler::Function &function,
	Compiler::Scope &scope) {
	Compiler::Scope inner;
	inner.parent = &scope;
	compiler.parse_statement(src, cursor, error_offset, function, inner, 0);
}

} // namespace

void Compiler::add_function_label(Function &function, uint32_t id) {
	function.code.append((2u << 16) | Spirv::OpLabel);
	function.code.append(id);
	function.last_opcode = Spirv::OpLabel;
}

void Compiler::parse_if(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	// an else-if chain is walked here, link by link, rather than by
	// recursion: each link's selection is nested in the else block of the
	// one before, and the merges are closed innermost first at the end
	struct Link {
		uint32_t merge;       // position of the merge operand
		uint32_t then_branch; // position of the then part's exit, ~0u: none
		uint32_t merge_block;
		bool merge_reached;
	};
	Array<Link> chain;
	bool last_has_else = false;
	for (;;) {
		String text = read_parentheses(s);
		uint32_t condition = parse_condition(*this, text, function, scope);
		uint32_t merge = add_forward(*this, function, Spirv::OpSelectionMerge, {Placeholder, control}) - 1;
		bool header_dead = function.dead;
		uint32_t then_block = next_id++;
		uint32_t false_operand = add_forward(*this, function, Spirv::OpBranchConditional, {condition, then_block, Placeholder});
		add_function_label(function, then_block);
		function.dead = header_dead;
		parse_statement(src, &s, error_offset, function, scope, 0);
		Link link;
		link.merge = merge;
		link.then_branch = add_exit(*this, function);
		link.merge_block = next_id++;
		// the merge is reached from a live end of a branch, or from the
		// header when there is no else
		link.merge_reached = link.then_branch != ~0u;

		// "else" only as a whole word: "elsewhere = 1;" is a statement of its own
		const char *p = skip_blanks(s);
		if (!is_word(p, "else")) {
			patch(function, false_operand, link.merge_block);
			link.merge_reached = link.merge_reached || !header_dead;
			chain.append(link);
			break;
		}
		s = p + 4;
		uint32_t else_block = next_id++;
		patch(function, false_operand, else_block);
		add_function_label(function, else_block);
		function.dead = header_dead;
		chain.append(link);
		const char *q = skip_blanks(s);
		if (is_word(q, "if")) {
			s = q + 2;
			continue;
		}
		parse_statement(src, &s, error_offset, function, scope, control);
		last_has_else = true;
		break;
	}
	// the merges, innermost first: each ends the else part of the link
	// around it; the last link's own else part is open here, if it has one
	for (uint32_t i = chain.size(); i > 0; i--) {
		Link &link = chain[i - 1];
		if (i < chain.size() || last_has_else) {
			uint32_t else_branch = add_exit(*this, function);
			patch(function, else_branch, link.merge_block);
			link.merge_reached = link.merge_reached || else_branch != ~0u;
		}
		patch(function, link.then_branch, link.merge_block);
		patch(function, link.merge, link.merge_block);
		add_function_label(function, link.merge_block);
		function.dead = !link.merge_reached;
	}
	*cursor = s;
}

void Compiler::parse_while(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	uint32_t header = 0;
	uint32_t merge = 0;
	uint32_t condition_block = 0;
	uint32_t continue_operand = open_loop(*this, function, control, header, merge, condition_block);
	bool header_dead = function.dead;
	String text = read_parentheses(s);
	uint32_t condition = parse_condition(*this, text, function, scope);
	uint32_t body = next_id++;
	uint32_t false_operand = add_forward(*this, function, Spirv::OpBranchConditional, {condition, body, Placeholder});
	add_function_label(function, body);
	JumpLists lists(function, true);
	parse_loop_body(*this, src, &s, error_offset, function, scope);
	lists.restore();
	open_continue(*this, function, continue_operand, lists.own_continues);
	add_function_opcode(function, Spirv::OpBranch, {header});
	uint32_t merge_block = next_id++;
	patch(function, false_operand, merge_block);
	patch(function, merge, merge_block);
	patch(function, lists.own_breaks, merge_block);
	add_function_label(function, merge_block);
	function.dead = header_dead && lists.own_breaks.size() == 0;
	*cursor = s;
}

void Compiler::parse_do(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	uint32_t header = 0;
	uint32_t merge = 0;
	uint32_t body = 0;
	uint32_t continue_operand = open_loop(*this, function, control, header, merge, body);
	bool header_dead = function.dead;
	JumpLists lists(function, true);
	parse_loop_body(*this, src, &s, error_offset, function, scope);
	lists.restore();
	open_continue(*this, function, continue_operand, lists.own_continues);
	bool continue_dead = function.dead;
	s = skip_blanks(s);
	String word;
	if (starts_name(*s)) s += Parser::readName(s, word);
	if (word.empty() && *s != '\0') word = String(s, 1);
	if (word != "while") throwError("unexpected \"%s\"\n", word.get());
	String text = read_parentheses(s);
	uint32_t condition = parse_condition(*this, text, function, scope);
	s = skip_blanks(s);
	if (*s != ';') throwError("expecting ';'\n");
	s++;
	uint32_t merge_block = next_id++;
	add_function_opcode(function, Spirv::OpBranchConditional, {condition, header, merge_block});
	patch(function, merge, merge_block);
	patch(function, lists.own_breaks, merge_block);
	add_function_label(function, merge_block);
	function.dead = (header_dead || continue_dead) && lists.own_breaks.size() == 0;
	*cursor = s;
}

void Compiler::parse_for(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	String header_text = read_parentheses(s);

	// the three parts, split at the two ';' outside brackets
	String parts[3];
	{
		const char *t = header_text.get();
		const char *start = t;
		uint32_t part = 0;
		int32_t depth = 0;
		for (; *t; t++) {
			char c = *t;
			if (c == '(' || c == '[' || c == '{') depth++;
			else if (c == ')' || c == ']' || c == '}') depth--;
			else if (c == ';' && depth == 0) {
				if (part == 2) throwError("unexpected \"%s\"\n", String(t).substr(0, 32).get());
				// the init part keeps its ';', which ends its statement
				parts[part] = String(start, uint32_t(t - start + (part == 0 ? 1 : 0)));
				part++;
				start = t + 1;
			}
		}
		if (part != 2) throwError("expecting '%c'\n", ';');
		parts[2] = String(start, uint32_t(t - start));
	}

	Scope for_scope;
	for_scope.parent = &scope;
	uint32_t private_offset = 0;
	if (*skip_spaces(parts[0].get()) != ';') {
		const char *t = parts[0].get();
		parse_block(parts[0].get(), &t, &private_offset, function, for_scope);
	}
	uint32_t header = 0;
	uint32_t merge = 0;
	uint32_t condition_block = 0;
	uint32_t continue_operand = open_loop(*this, function, control, header, merge, condition_block);
	bool header_dead = function.dead;
	uint32_t body = next_id++;
	uint32_t false_operand = ~0u;
	if (*skip_spaces(parts[1].get()) != '\0') {
		uint32_t condition = parse_condition(*this, parts[1], function, for_scope);
		false_operand = add_forward(*this, function, Spirv::OpBranchConditional, {condition, body, Placeholder});
	} else {
		// for (;;) leaves only by break or return
		add_function_opcode(function, Spirv::OpBranch, {body});
	}
	add_function_label(function, body);
	JumpLists lists(function, true);
	parse_statement(src, &s, error_offset, function, for_scope, 0);
	lists.restore();
	open_continue(*this, function, continue_operand, lists.own_continues);
	if (*skip_spaces(parts[2].get()) != '\0') {
		const char *t = parts[2].get();
		private_offset = 0;
		parse_block(parts[2].get(), &t, &private_offset, function, for_scope);
	}
	add_function_opcode(function, Spirv::OpBranch, {header});
	uint32_t merge_block = next_id++;
	patch(function, false_operand, merge_block);
	patch(function, merge, merge_block);
	patch(function, lists.own_breaks, merge_block);
	add_function_label(function, merge_block);
	// without a condition, only a break leaves the loop
	function.dead = (header_dead || false_operand == ~0u) && lists.own_breaks.size() == 0;
	*cursor = s;
}

void Compiler::parse_switch(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control) {
	DepthGuard guard(*this);
	const char *s = *cursor;
	String text = read_parentheses(s);
	const char *t = text.get();
	if (*skip_spaces(t) == '\0') throwError("invalid expression\n");
	uint32_t selector = parse_expression(&t, String(), function, &scope);
	if (*skip_spaces(t) == ',') throwError("comma operator is not supported\n");
	if (*skip_spaces(t) != '\0') throwError("unexpected \"%s\"\n", String(skip_spaces(t)).substr(0, 32).get());
	uint32_t flags = get_target_flags(selector);
	if (!(flags & TypeScalar) || !(flags & (TypeInt | TypeUint)) || (flags & (TypeFloat | TypeBool | Type64))) {
		throwError("invalid switch selector of %s type\n", get_target_type_name(selector).get());
	}
	s = skip_blanks(s);
	if (*s != '{') throwError("expecting '%c'\n", '{');
	s++;

	// the case blocks are compiled first, and moved behind the switch
	// instruction once its targets are known
	uint32_t start = function.code.size();
	uint32_t last_at_start = function.last_opcode;
	// the switch instruction goes where the cases start: after a terminator
	// it needs a block of its own
	if (is_terminator(last_at_start)) {
		add_function_label(function, next_id++);
		function.dead = true;
		start = function.code.size();
		last_at_start = Spirv::OpLabel;
	}
	bool header_dead = function.dead;
	uint32_t default_label = ~0u;
	uint32_t label = ~0u;
	Array<uint32_t> targets; // literal, label pairs in source order
	Set<uint32_t> literals;
	JumpLists lists(function, false);
	// the cases share one scope, the switch's own
	Scope switch_scope;
	switch_scope.parent = &scope;
	Compiler::Scope *case_scope = function.case_scope;
	function.case_scope = &switch_scope;
	struct Restore {
		Compiler::Function &function;
		Compiler::Scope *case_scope;
		~Restore() { function.case_scope = case_scope; }
	} restore{function, case_scope};
	bool closed = false;
	while (!closed) {
		*error_offset = uint32_t(s - src);
		s = skip_blanks(s);
		if (*s == '}') {
			s++;
			break;
		}
		if (*s == '\0') throwError("expecting '%c'\n", '}');
		String word;
		if (starts_name(*s)) s += Parser::readName(s, word);
		if (word != "case" && word != "default") throwError("unexpected \"%s\"\n", word.empty() ? String(s).substr(0, 32).get() : word.get());
		// consecutive labels share one block; code before a label falls
		// through to it (also from a block that an inner statement opened)
		bool label_open = label != ~0u && function.last_opcode == Spirv::OpLabel && function.code[function.code.size() - 1] == label;
		if (!label_open) {
			uint32_t block = next_id++;
			if (label != ~0u) patch(function, add_exit(*this, function), block);
			add_function_label(function, block);
			label = block;
		}
		function.dead = header_dead;
		s = skip_blanks(s);
		if (word == "default") {
			if (default_label != ~0u) throwError("default target is already declared\n");
			default_label = label;
		} else {
			// the label's constant expression runs to the ':' outside brackets and conditionals
			const char *end = s;
			int32_t depth = 0;
			int32_t conditionals = 0;
			for (; *end; end++) {
				char c = *end;
				if (c == '(' || c == '[') depth++;
				else if (c == ')' || c == ']') depth--;
				else if (c == '?' && depth == 0) conditionals++;
				else if (c == ':' && depth == 0 && conditionals-- == 0) break;
				else if ((c == ';' || c == '{' || c == '}') && depth == 0) break;
			}
			if (*end != ':') throwError("expecting '%c'\n", ':');
			String label_text(s, uint32_t(end - s));
			Value value;
			parse_constant_expression(value, label_text.get(), &switch_scope, false);
			if (value.count == 0) throwError("invalid expression\n");
			uint32_t literal = 0;
			if (value.flags & TypeFloat) literal = uint32_t(int32_t(value.get_f64(0) >= 2147483647.0 ? 2147483647.0 : value.get_f64(0) <= -2147483648.0 ? -2147483648.0 : value.get_f64(0)));
			else literal = uint32_t(value.get_u64(0));
			// the literal has the selector's width, sign-extended to the word
			// for a signed selector
			if ((flags & Type16) && (flags & TypeInt)) literal = uint32_t(int32_t(int16_t(uint16_t(literal & 0xffffu))));
			else if (flags & Type16) literal &= 0xffffu;
			if (literals.find(literal)) throwError("%d target is already declared\n", int32_t(literal));
			literals.insert(literal);
			targets.append(literal);
			targets.append(label);
			s = end;
		}
		s = skip_blanks(s);
		if (*s != ':') throwError("expecting '%c'\n", ':');
		s++;
		// the case body runs to the next label or the switch's '}'
		function.closed = false;
		parse_block(src, &s, error_offset, function, switch_scope);
		closed = function.closed;
		function.closed = false;
	}
	lists.restore();
	if (label == ~0u) {
		*cursor = s;
		return;
	}

	// the merge block: an empty label block at the end is it, other code
	// falls through into it
	uint32_t merge_block = ~0u;
	bool merge_reached = (!header_dead && default_label == ~0u) || lists.own_breaks.size() != 0;
	if (function.last_opcode == Spirv::OpLabel && function.code[function.code.size() - 1] == label) {
		merge_block = label;
		merge_reached = !header_dead;
	} else {
		merge_block = next_id++;
		uint32_t end = add_exit(*this, function);
		patch(function, end, merge_block);
		merge_reached = merge_reached || end != ~0u;
		add_function_label(function, merge_block);
	}
	if (default_label == ~0u) default_label = merge_block;
	patch(function, lists.own_breaks, merge_block);
	function.dead = !merge_reached;

	Expressions::Segment cases = Expressions::detach(function, start, last_at_start);
	add_function_opcode(function, Spirv::OpSelectionMerge, {merge_block, control});
	add_function_opcode(function, Spirv::OpSwitch, {selector, default_label}, targets);
	Expressions::attach(function, cases);
	*cursor = s;
}

} // namespace Vexa
