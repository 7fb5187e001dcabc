// The structured form of a function body: what the statement renderer
// decides (ShaderSpirvBlocks.cpp) before anything is printed. The renderer
// builds one tree per function, its values and plain statements already
// rendered by the value slots, and the printers of `ShaderSpirv` walk it
// (ShaderSpirvFlow.cpp). The base prints the C family's forms; a backend
// whose loops or switches are written otherwise overrides only the printing
// of those nodes.
#pragma once

#include "core/Array.h"
#include "core/String.h"

#include <cstdint>

namespace Vexa {

struct FlowNode {
	enum Kind : uint8_t {
		Sequence,   // `children` in order
		Statement,  // `text`: one statement without its ';'
		Text,       // `text`: lines written as they stand, indentation and all
		If,         // `condition`; children: the then-part, and the else-part when there is one
		Loop,       // see the loop fields; children: body, continuing part, third clause
		Switch,     // `condition` is the selector; children: its cases in order of the text
		Case,       // `labels`, `is_default`, `falls`; children: its body
		Break,
		Continue,
		Return,     // `text`: the statement; `condition`: the value returned, empty for none
	};
	// how a loop tests its condition
	enum LoopForm : uint8_t {
		LoopInfinite,   // no condition: `for(;;)`; the body leaves it where it must
		LoopHead,       // `condition` decides before each iteration (while and for)
		LoopTail,       // `condition` decides after each iteration (do-while)
	};
	Kind kind = Sequence;
	// If: a conditional jump out of a loop (`if(...) break;`): the then-part
	// is the Phi assignments of the jump and the jump itself
	bool jump = false;
	// Loop
	LoopForm form = LoopInfinite;
	bool has_init = false;      // a for-statement that declares its variable
	bool has_clause = false;    // a for-statement with a third clause (children[2])
	bool single_block = false;  // the header is its own continue target
	// Case
	bool is_default = false;
	bool falls = false;         // runs on into the case after it
	String text;
	String control;             // what stands before the keyword (`get_control`)
	String condition;           // a loop's: the condition to go on
	String init;                // a for-statement's initialiser: "type name = value"
	String fallthrough;         // a falling case's statement, empty where none is written
	String default_label;
	Array<String> labels;       // a case's labels, one per literal
	Array<FlowNode> children;

	explicit FlowNode(Kind kind = Sequence) : kind(kind) {}

	// a new child of the given kind, which stays where it is until the next is added
	FlowNode &add(Kind child) {
		children.append(FlowNode(child));
		return children[children.size() - 1];
	}
	// a node built elsewhere, moved in as the last child
	void take(FlowNode &node) {
		children.append(FlowNode());
		children[children.size() - 1] = static_cast<FlowNode &&>(node);
	}
	void add_statement(const String &line) { add(Statement).text = line; }
};

} // namespace Vexa
