// The printers of the structured tree that the statement renderer builds
// (ShaderSpirvBlocks.cpp): the C family's forms of every node, the text of
// the listing and of the languages that write their statements so. A loop
// and a switch print through virtual operations, for the languages whose
// forms of them differ.
#include "shader/ShaderSpirv.h"

namespace Vexa {

namespace {

void append_indent(String &out, uint32_t indent) {
	for (uint32_t i = 0; i < indent; i++) out.append('\t');
}

// a branch body of one line is pulled up behind the "{" that opens it
bool append_body(String &out, const String &body) {
	if (body.count('\n') != 1 || body.empty() || body.fromBack(0) != '\n' || out.empty() || out.fromBack(0) != '\n') {
		out.append(body);
		return false;
	}
	out.removeBack(1);
	out.append(' ');
	uint32_t start = 0;
	while (start < body.size() && body[start] == '\t') start++;
	out.append(body.get() + start, body.size() - start - 1);
	return true;
}

} // namespace

void ShaderSpirv::print_line(String &out, uint32_t indent, const String &text) {
	append_indent(out, indent);
	out.append(text);
	out.append(";\n");
}

String ShaderSpirv::print_flow(const FlowNode &node, uint32_t indent) {
	String out;
	if (in_clause) print_clause(out, node);
	else print_node(out, node, indent);
	return out;
}

void ShaderSpirv::print_node(String &out, const FlowNode &node, uint32_t indent) {
	switch (node.kind) {
		case FlowNode::Sequence:
		case FlowNode::Case:
			for (uint32_t i = 0; i < node.children.size(); i++) print_node(out, node.children[i], indent);
			break;
		case FlowNode::Statement:
		case FlowNode::Return:
			print_line(out, indent, node.text);
			break;
		case FlowNode::Text:
			out.append(node.text);
			break;
		case FlowNode::If:
			print_if(out, node, indent);
			break;
		case FlowNode::Loop:
			print_loop(out, node, indent);
			break;
		case FlowNode::Switch:
			print_switch(out, node, indent);
			break;
		case FlowNode::Break:
			print_line(out, indent, String("break"));
			break;
		case FlowNode::Continue:
			print_line(out, indent, String("continue"));
			break;
	}
}

void ShaderSpirv::print_if(String &out, const FlowNode &node, uint32_t indent) {
	if (node.children.size() == 0) return;
	const FlowNode &then = node.children[0];
	if (node.jump) {
		// a jump alone stands behind its condition
		const FlowNode *jump = then.children.size() == 1 ? &then.children[0] : nullptr;
		append_indent(out, indent);
		out.append("if(");
		out.append(node.condition);
		if (jump && (jump->kind == FlowNode::Break || jump->kind == FlowNode::Continue)) {
			out.append(jump->kind == FlowNode::Break ? ") break;\n" : ") continue;\n");
			return;
		}
		out.append(") {\n");
		print_node(out, then, indent + 1);
		append_indent(out, indent);
		out.append("}\n");
		return;
	}
	append_indent(out, indent);
	out.append(node.control);
	out.append("if(");
	out.append(node.condition);
	out.append(") {\n");
	String body;
	print_node(body, then, indent + 1);
	bool pulled = append_body(out, body);
	if (node.children.size() > 1) {
		if (pulled) {
			out.append(" }\n");
			append_indent(out, indent);
			out.append("else {\n");
		} else {
			append_indent(out, indent);
			out.append("} else {\n");
		}
		body = String();
		print_node(body, node.children[1], indent + 1);
		append_body(out, body);
	}
	if (!out.empty() && out.fromBack(0) == '\n') {
		append_indent(out, indent);
		out.append("}\n");
	} else {
		out.append(" }\n");
	}
}

void ShaderSpirv::print_clause(String &out, const FlowNode &node) {
	if (node.kind == FlowNode::Text) {
		out.append(node.text);
		return;
	}
	if (node.kind == FlowNode::Statement) {
		out.append(node.text);
		return;
	}
	if (node.kind != FlowNode::Sequence) {
		print_node(out, node, 0);
		return;
	}
	// the statements of one block, one expression each
	String list;
	for (uint32_t i = 0; i < node.children.size(); i++) {
		const FlowNode &child = node.children[i];
		if (child.kind != FlowNode::Statement) {
			print_clause(list, child);
			continue;
		}
		if (child.text.empty()) continue;
		if (!list.empty()) list.append(", ");
		list.append(child.text);
	}
	out.append(list);
}

void ShaderSpirv::print_loop(String &out, const FlowNode &node, uint32_t indent) {
	if (node.children.size() < 3) return;
	const FlowNode &body = node.children[0];
	const FlowNode &continuing = node.children[1];
	if (node.single_block) {
		append_indent(out, indent);
		out.append(node.control);
		out.append("for(;;) {\n");
		print_node(out, body, indent + 1);
		append_indent(out, indent);
		out.append("}\n");
		return;
	}
	if (node.form == FlowNode::LoopTail) {
		append_indent(out, indent);
		out.append(node.control);
		out.append("do {\n");
		print_node(out, body, indent + 1);
		append_indent(out, indent);
		out.append("} while(");
		out.append(node.condition);
		out.append(");\n");
		return;
	}
	bool head = node.form == FlowNode::LoopHead;
	if (head && !node.has_clause && !node.has_init) {
		append_indent(out, indent);
		out.append(node.control);
		out.append("while(");
		out.append(node.condition);
		out.append(") {\n");
	} else {
		if (node.has_init) {
			if (!node.init.empty()) {
				append_indent(out, indent);
				out.append(node.control);
				out.append("for(");
				out.append(node.init);
				out.append("; ");
			}
		} else {
			append_indent(out, indent);
			out.append(node.control);
			out.append(head ? "for(; " : "for(;");
		}
		if (head) {
			out.append(node.condition);
			out.append("; ");
		} else {
			out.append(node.has_clause ? "; " : ";");
		}
		if (node.has_clause) print_clause(out, node.children[2]);
		out.append(") {\n");
	}
	print_node(out, body, indent + 1);
	print_node(out, continuing, indent + 1);
	append_indent(out, indent);
	out.append("}\n");
}

void ShaderSpirv::print_switch(String &out, const FlowNode &node, uint32_t indent) {
	append_indent(out, indent);
	out.append(node.control);
	out.append("switch(");
	out.append(node.condition);
	out.append(") {\n");
	for (uint32_t i = 0; i < node.children.size(); i++) {
		const FlowNode &c = node.children[i];
		for (uint32_t n = 0; n < c.labels.size(); n++) {
			append_indent(out, indent + 1);
			out.append(c.labels[n]);
			out.append((n + 1 == c.labels.size() && !c.is_default) ? " {\n" : "\n");
		}
		if (c.is_default) {
			append_indent(out, indent + 1);
			out.append(c.default_label);
			out.append(" {\n");
		}
		print_node(out, c, indent + 2);
		if (c.falls && !c.fallthrough.empty()) print_line(out, indent + 2, c.fallthrough);
		append_indent(out, indent + 1);
		out.append("}\n");
	}
	append_indent(out, indent);
	out.append("}\n");
}

} // namespace Vexa
