// The GLSL compiler: one object that turns one preprocessed GLSL shader into a
// SPIR-V module in a single pass over the text. There is no syntax tree: the
// parsers read the text through a cursor and emit instructions as they
// recognise them, into the code of the current function or into the module's
// declaration words. Everything one compilation gathers lives in the object:
// the compile flags, the stage with its capabilities and execution modes, the
// scopes of names, the records of variables, structures and functions, the
// module words, the registry of result ids (types, constants, targets) and the
// name tables of the GLSL vocabulary.
//
// Conventions shared by every part of the compiler:
// - ~0u (0xFFFFFFFF) means "none" in every id, record index, array length,
//   storage class, image format and value field;
// - result ids come from one counter (`next_id`), so an id is unique across
//   types, constants, variables, functions and instruction results;
// - types and constants are made once, keyed by a text in `types`;
// - errors are thrown as a formatted String (throwError) whose text ends with
//   a line feed; only compileGLSL catches them. The `find_*` lookups return
//   ~0u when they find nothing, the `get_*` lookups throw;
// - warnings are logged at warning level and never stop a compilation.
//
// Type names: inside the compiler a type is known by an internal name and by
// a TypeFlags word. Numeric names are a kind letter (f, u, i, b), the bit
// width, then "v" and the vector size, then "m" and the column count for
// float matrices ("f32v3m4" is four columns of "f32v3"). Other names: "void",
// "sampler", "accelerationStructure", "rayQuery", image names ("image2DIArray",
// "texture3DU", "imageCubeU64"), combined image-samplers ("sampler2DArray"),
// structures by their own name; arrays append "[%u]" or "[]".
//
// Layout sizes follow the GLSL buffer rules: a three-component vector takes
// three components of room and aligns like four; matrix columns are laid out
// at the column alignment.
#pragma once

#include "core/Array.h"
#include "core/Map.h"
#include "core/String.h"

#include <cstdint>
#include <initializer_list>

namespace Vexa {

namespace Expressions {
struct Operand;
}

// 0 counts as a power of two
bool is_pow2(uint32_t x);
uint32_t max(uint32_t a, uint32_t b);
// a NaN first argument gives b
double max(double a, double b);
double min(double a, double b);

// A compile-time constant: up to 16 components of 64 bits each. The kind bits
// of `flags` (read in the order float, unsigned, signed, bool) select what the
// components hold: doubles, unsigned or signed 64-bit integers, or 0 and 1.
// The Values kept for constant ids carry the constant type's whole TypeFlags
// word. Reading a component of a one-component Value reads component 0 (it
// broadcasts); reading at or past `count` gives 0. A Value never holds more
// than 16 components: operations that would need more report it (append
// returns false) and their callers reject the constant with an error.
struct Value {
	static constexpr uint32_t MaxComponents = 16;

	Value();
	explicit Value(uint32_t count);
	Value(uint32_t flags, uint32_t count);
	// component index of value alone, or count components from first
	Value(const Value &value, uint32_t index);
	Value(const Value &value, uint32_t first, uint32_t count);

	// typed reads of component index, with the broadcast rule
	uint64_t get_bits(uint32_t index) const;
	bool get_bool(uint32_t index) const;
	double get_f64(uint32_t index) const;
	int64_t get_i64(uint32_t index) const;
	uint64_t get_u64(uint32_t index) const;

	// stores component index (below 16; the count is not changed) and adds
	// the kind bit of the stored type
	void set_bool(uint32_t index, bool value);
	void set_f64(uint32_t index, double value);
	void set_i64(uint32_t index, int64_t value);
	void set_u64(uint32_t index, uint64_t value);

	// appends count components of source from first (count 0: the rest),
	// converted to this Value's kind; a Value without flags takes the
	// source's first. False when 16 components were reached before all were
	// appended.
	bool append(const Value &source, uint32_t first = 0, uint32_t count = 0);

	// component 0 repeated, and the components selected by indices (an index
	// from count up selects from a second copy); empty beyond 16 components
	// or for an index out of range
	Value splat(uint32_t count) const;
	Value shuffle(const Array<uint32_t> &indices) const;
	Value negate() const;
	// the components reinterpreted as the kind of flags: each one's bits at
	// its width (a float as the machine holds it) read back in that kind; an
	// empty Value when the widths differ or a kind is missing
	Value bit_cast(uint32_t flags) const;

	// folding of one instruction over constant operands; a result with count
	// 0 means that nothing was folded (also when the instruction's result is
	// undefined for these operands, as for an integer division by zero)
	Value unary_operation(uint32_t opcode, uint32_t extended) const;
	Value binary_operation(const Value &b, uint32_t opcode, uint32_t extended) const;
	// a comparison (OpLogicalEqual to OpFUnordGreaterThanEqual): a bool for
	// each component
	Value compare(const Value &b, uint32_t opcode) const;
	// a product of linear algebra (OpMatrixTimesMatrix, OpMatrixTimesVector,
	// OpVectorTimesMatrix), of the shapes the operands' flags give
	Value product(const Value &b, uint32_t opcode) const;
	// GLSL.std.450 instructions of three operands (clamp, mix, smoothstep)
	Value ternary_operation(const Value &b, const Value &c, uint32_t extended) const;
	// what gives a scalar of vectors, or a vector of other components:
	// OpDot, and GLSL.std.450 Length, Distance and Cross
	Value reduction(const Value &b, uint32_t opcode, uint32_t extended) const;

	bool is_uniform() const;
	bool is_right_identity(uint32_t opcode) const;
	bool is_left_identity(uint32_t opcode) const;

	static double ceil(double x);

	uint32_t flags;
	uint32_t count;
	// raw bits; a double is stored by its bit pattern
	uint64_t components[MaxComponents];
};

class Compiler {
public:
	// compile flags
	enum Flags : uint32_t {
		FlagDebug = 1u << 0,      // source names as debug names
		FlagUnused = 1u << 1,     // unused variable and function warnings
		FlagInline = 1u << 2,     // warning when a call can't be inlined
		FlagConversion = 1u << 3, // warning when an argument conversion may lose information
		FlagReserved = 1u << 4,   // declarations may not use reserved words or GLSL type names
		DefaultFlags = 31,
	};

	// The bit set by which the compiler tests every type.
	enum TypeFlags : uint32_t {
		TypeVoid = 0x1u,
		Type16 = 0x2u,
		Type32 = 0x4u,
		Type64 = 0x8u,
		TypeFloat = 0x10u,
		TypeUint = 0x20u,
		TypeInt = 0x40u,
		TypeBool = 0x80u,
		TypeScalar = 0x100u,
		TypeVector2 = 0x200u, // a two-bit field: 2, 3 or 4 (both bits) components
		TypeVector3 = 0x400u,
		TypeVector4 = 0x600u,
		TypeMatrix2 = 0x800u, // a two-bit field: 2, 3 or 4 (both bits) columns
		TypeMatrix3 = 0x1000u,
		TypeMatrix4 = 0x1800u,
		TypeRowMajor = 0x2000u, // matrix laid out row by row
		TypeImage2D = 0x4000u,
		TypeImage3D = 0x8000u,
		TypeImageCube = 0x10000u,
		TypeImageArray = 0x20000u,
		TypeImageShadow = 0x40000u,
		TypeImageBuffer = 0x80000u,
		TypeTexture = 0x100000u, // sampled image (texture), not a storage image
		TypeImageFormat = 0x200000u,
		TypeImageMS = 0x400000u,
		TypeSampled = 0x800000u, // combined image and sampler
		TypeSampler = 0x1000000u,
		TypeAccelerationStructure = 0x2000000u,
		TypeRayQuery = 0x4000000u,
		TypeComposite = 0x8000000u, // vector, matrix or array
		TypeStructure = 0x10000000u,
		TypeFunction = 0x20000000u,
		TypePointer = 0x40000000u,
		TypeRuntimeArray = 0x80000000u, // every array type, sized or not

		TypeWidthMask = Type16 | Type32 | Type64,
		TypeKindMask = TypeFloat | TypeUint | TypeInt | TypeBool,
		TypeVectorMask = TypeVector4,
		TypeMatrixMask = TypeMatrix4,
		TypeImageMask = TypeImage2D | TypeImage3D | TypeImageCube | TypeImageBuffer,
		// the resources, which hold no number a value could convert
		TypeOpaqueMask = TypeImageMask | TypeSampler | TypeAccelerationStructure | TypeRayQuery,
	};

	// type, type flags and array length of one result id
	struct Target {
		Target() : type(~0u), flags(0), length(~0u) {}
		Target(uint32_t type, uint32_t flags, uint32_t length) : type(type), flags(flags), length(length) {}
		uint32_t type;   // value type; for a type id its element type, or itself
		uint32_t flags;  // TypeFlags of the value's type
		uint32_t length; // array length of a variable or value, ~0u when none
	};

	// The names visible at one level; lookups go outwards through the parents.
	struct Scope {
		Scope *parent = nullptr;
		Map<String, uint32_t> variables;  // name -> variable index
		Map<String, uint32_t> structures; // name -> structure index
	};

	// code positions of branches still to be patched (break, continue)
	using BreakList = ArrayStack<uint32_t, 16>;

	struct Parameter {
		uint32_t variable; // variable index of the parameter
		uint32_t copy;     // id of its local copy, ~0u when it is used in place
	};

	struct Variable {
		String name;
		String type;  // internal type name
		String value; // value text of a named constant, else empty
		uint32_t index = ~0u;
		uint32_t id = ~0u;
		uint32_t length = ~0u;    // array length, ~0u when it is no array
		uint32_t storage = ~0u;   // storage class
		uint32_t offset = ~0u;    // byte offset of a member in its structure
		uint32_t structure = ~0u; // structure index of a member, ~0u for a variable that is no member
		uint32_t function = ~0u;  // function index of a parameter or local
		uint32_t parameter = ~0u; // position of a parameter passed by value
		Map<uint32_t, uint32_t> decorations; // decoration -> value (~0u: no operand)
		Scope *scope = nullptr;              // where it was found last
		uint32_t initializer = ~0u;          // constant id a module-level variable starts with
		bool used = false;
		bool dropped = false; // a parameter of a prototype that a later declaration replaced
		bool held_bool = false; // a bool member, held as a 32-bit integer
	};

	struct Structure {
		String name;
		Scope scope; // the members
		uint32_t index = ~0u;
		uint32_t id = ~0u;       // type id
		uint32_t size = ~0u;     // laid-out byte size, the array stride of arrays of it
		uint32_t alignment = 16; // of the laid-out structure as a member
		uint32_t packing = 0;    // 140 or 430 as the declaration asked, 0 when it did not
		bool std140 = true;      // its offsets are those the std140 rules give
		uint32_t storage = ~0u;  // storage class of a block
		uint32_t variable = ~0u; // index of the instance variable
		Array<uint32_t> members; // variable indices in declaration order
		Map<uint32_t, uint32_t> decorations;
		uint32_t declaration = 0;      // first word of its declaration in the module words
		uint32_t declaration_size = 0; // word count of it, ~0u: to the end
		bool used = false;
	};

	struct Function {
		String name;
		String return_type; // internal type name
		Scope scope;        // the parameters
		String arguments;   // "(" and the parameter types; the signature is return_type + arguments
		uint32_t index = ~0u;
		uint32_t id = ~0u;
		uint32_t function_type = ~0u; // id of its OpTypeFunction
		uint32_t control = 0;         // function control mask; Inline (1) bodies are parsed first
		const char *body = nullptr;   // body text, null for a prototype
		Array<Parameter> parameters;
		Array<uint32_t> locals;  // variable indices
		Array<uint32_t> callees; // function indices called from the body
		Array<uint32_t> code;    // instruction words, emptied when the function is emitted
		Array<uint32_t> labels;  // code positions of label ids allocated at emission
		// jump lists of the innermost loop and switch, null outside them
		BreakList *breaks = nullptr;
		BreakList *continues = nullptr;
		BreakList *switch_breaks = nullptr;
		uint32_t last_opcode = 0;
		bool closed = false; // the last statement list ended at its '}'
		bool dead = false;   // no branch reaches the current block
		Scope *case_scope = nullptr; // the statement list of the innermost switch, where its labels stand
		bool used = false;
	};

	// Records of one kind, kept in pages that never move: references to a
	// record, and pointers to the scopes inside records, stay valid while
	// more records are added. Clearing keeps the records for reuse.
	template <class T>
	class Records {
	public:
		static constexpr uint32_t PageBits = 6;
		static constexpr uint32_t PageSize = 1u << PageBits;

		Records() : length(0) {}
		Records(const Records &) = delete;
		Records &operator=(const Records &) = delete;
		~Records() {
			for (uint32_t i = 0; i < pages.size(); i++) delete[] pages[i];
		}

		uint32_t size() const { return length; }
		T &operator[](uint32_t index) { return pages[index >> PageBits][index & (PageSize - 1)]; }
		const T &operator[](uint32_t index) const { return pages[index >> PageBits][index & (PageSize - 1)]; }
		T &back() { return (*this)[length - 1]; }

		// a slot that takes the value by assignment (value may be a record)
		T &append(const T &value) {
			reserve(length + 1);
			T &ret = (*this)[length];
			ret = value;
			length++;
			return ret;
		}
		T &append() { return append(T()); }
		// the last record goes; its slot is reused by the next append
		void pop() {
			if (length) length--;
		}

		void reserve(uint32_t size) {
			while (pages.size() * PageSize < size) pages.append(new T[PageSize]);
		}
		void clear() { length = 0; }

	private:
		uint32_t length;
		Array<T *> pages;
	};

	// Working records of the expression parsers.
	struct StackValue {
		StackValue() : id(~0u), pointer(~0u) {}
		explicit StackValue(const String &text) : id(~0u), pointer(~0u), text(text) {}
		StackValue(uint32_t id, uint32_t pointer) : id(id), pointer(pointer) {}
		uint32_t id;      // result id, ~0u while the operand is a text
		uint32_t pointer; // the pointer it was loaded from
		String text;      // constant text not yet typed
	};

	struct Token {
		Token() : kind(0), a(~0u), b(~0u) {}
		explicit Token(uint32_t kind) : kind(kind), a(~0u), b(~0u) {}
		Token(uint32_t kind, const String &name) : kind(kind), a(~0u), b(~0u), name(name) {}
		Token(uint32_t kind, const String &text, const String &name) : kind(kind), a(~0u), b(~0u), text(text), name(name) {}
		Token(uint32_t kind, uint32_t a, const String &name) : kind(kind), a(a), b(~0u), name(name) {}
		Token(uint32_t kind, uint32_t a, uint32_t b) : kind(kind), a(a), b(b) {}
		uint32_t kind; // ExpressionType
		uint32_t a;
		uint32_t b;
		String text;
		String name;
	};

	struct ConstantToken {
		ConstantToken() : kind(0) {}
		explicit ConstantToken(uint32_t kind) : kind(kind) {}
		ConstantToken(uint32_t kind, const Value &value) : kind(kind), value(value) {}
		uint32_t kind; // ConstantOperator
		Value value;
	};

	// u32 stacks with inline room for N words
	template <uint32_t N>
	class WordStack : public ArrayStack<uint32_t, N> {
	public:
		WordStack() {}
		WordStack(uint32_t size, uint32_t value) : ArrayStack<uint32_t, N>(size, value) {}
		WordStack(const uint32_t *words, uint32_t size) { this->assign(words, size); }
		WordStack(const Array<uint32_t> &words) : ArrayStack<uint32_t, N>(words) {}
	};

	// Bounds the nesting of the parsers that re-enter themselves, so that
	// deeply nested text fails with an error instead of exhausting the stack.
	static constexpr uint32_t MaxDepth = 200;
	class DepthGuard {
	public:
		explicit DepthGuard(Compiler &compiler);
		~DepthGuard() { compiler.depth--; }
		DepthGuard(const DepthGuard &) = delete;
		DepthGuard &operator=(const DepthGuard &) = delete;

	private:
		Compiler &compiler;
	};

	Compiler();
	~Compiler();
	Compiler(const Compiler &) = delete;
	Compiler &operator=(const Compiler &) = delete;

	// driver
	bool compileGLSL(uint32_t type, const char *src, const char *context, uint32_t *error_offset, uint32_t flags);

	// The GLSL extensions whose features the compiler has, for the macros
	// that name them in every text (GLSL defines one, with the value 1, for
	// each extension an implementation supports). "#extension" takes any
	// name all the same.
	static const char *const *get_extension_names(uint32_t *count);

	// state: reset before every compilation (the name tables stay); clear
	// does the same and leaves the work-group z size as it is
	void reset();
	void clear();

	// name tables, each built while it is empty
	void init_tables();

	// module assembly
	void create_opcodes(uint32_t language, uint32_t version, const char *context);
	void add_function_opcodes(Function &function);

	// parsers
	void parse_declarations(const char *text, uint32_t *error_offset, bool builtin);
	void parse_block(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope);
	void parse_statement(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t selection_control);
	// the control statements, from the text after their keyword; control is
	// the loop or selection control mask of a flow attribute
	void parse_if(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control);
	void parse_while(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control);
	void parse_do(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control);
	void parse_for(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control);
	void parse_switch(const char *src, const char **cursor, uint32_t *error_offset, Function &function, Scope &scope, uint32_t control);
	// a call of one of the shader's functions, from the text between its
	// parentheses; the result id
	uint32_t parse_shader_function(const char *arguments, const String &name, Function &function, Scope *scope);
	// a call of a built-in that maps onto core instructions, from the text
	// between its parentheses; ~0u for a call without a result
	uint32_t parse_internal_function(const char *arguments, const String &name, Function &function, Scope *scope);
	// geometry emission, barriers, atomics and subgroup operations; matched
	// is false when the name is none of them
	uint32_t parse_atomic_function(const Array<Expressions::Operand> &operands, const Array<uint32_t> &arguments, const String &name,
		Function &function, Scope *scope, bool &matched);
	// task and mesh output, ray tracing, ray queries and the remaining built-ins
	uint32_t parse_remaining_function(const Array<Expressions::Operand> &operands, const Array<uint32_t> &arguments, const String &name,
		Function &function, Scope *scope, bool &matched);
	// sampler2D(texture, sampler) and the like: an OpSampledImage of the
	// texture's own image type; name is the GLSL type of the call
	uint32_t add_combined_sampler(const String &name, const Expressions::Operand &texture_operand, uint32_t texture, uint32_t sampler,
		Function &function);
	// texel != ~0u: the sparse form, whose texel goes into that l-value
	// operand's pointer; the result is the residency code then
	uint32_t parse_image_function(const Array<uint32_t> &arguments, const String &name, Function &function, Scope *scope,
		const Expressions::Operand *texel = nullptr, const String *shown_name = nullptr);
	// a call of a GLSL.std.450 built-in, from the text between its parentheses
	uint32_t parse_external_function(const char *arguments, const String &name, Function &function, Scope *scope);
	uint32_t inline_call(Function &function, const Function &callee, const Array<uint32_t> &arguments, uint32_t *stopped);
	// refuses a function that calls itself, directly or through others
	void check_recursion();
	// opens a block with that label id
	void add_function_label(Function &function, uint32_t id);
	// an optional "[n]" or "[]" at the cursor: ~0u without one, 0 for "[]"
	uint32_t parse_array_length(const char **cursor, Scope *scope);
	// one expression up to ',' ';' or the end, converted to type unless it
	// is empty; the result id
	uint32_t parse_expression(const char **cursor, const String &type, Function &function, Scope *scope);
	// a variable with its selectors: its pointer, or a value for a read of a
	// parameter passed by value (*pointer tells which)
	uint32_t parse_variable(const char **cursor, const String &name, Function &function, Scope *scope, bool write, bool *pointer = nullptr);
	// refuses a write into the variable of that record (a constant, an input,
	// a uniform, a read-only buffer)
	void check_write(uint32_t index);
	// the NonUniform decoration of a value that differs between invocations
	bool is_non_uniform(uint32_t id) const;
	void set_non_uniform(uint32_t id);
	// parameters passed by value that the body may write get variables of
	// their own before the body is compiled
	void copy_written_parameters(Function &function);
	// an assignment statement from its target's name; the target's pointer
	uint32_t parse_assignment(const char **cursor, const String &name, Function &function, Scope *scope);
	uint32_t parse_type_constructor(const char *arguments, const String &type, Function &function, Scope *scope);
	uint32_t parse_structure_constructor(const char *arguments, uint32_t type, Function &function, Scope *scope);
	Value &parse_constant_expression(Value &result, const char *text, Scope *scope, bool typed);
	// the value of an expression the constant evaluator does not read
	// (swizzles, elements, comparisons, built-in calls), compiled as any
	// expression into code that is thrown away: false when it does not fold
	bool fold_expression(Value &result, const char *text, const String &type, Scope *scope);
	void check_variables();

	// types: names, flags and layout
	static uint32_t get_type_flags(const String &name);
	static String get_type_name(uint32_t flags);
	static uint32_t get_vector_size(uint32_t flags);
	static uint32_t get_column_count(uint32_t flags);
	static uint32_t get_type_components(uint32_t flags);
	static uint32_t get_type_size(uint32_t flags);
	static uint32_t get_type_alignment(uint32_t flags);
	// the distance between array elements: the size rounded up to the alignment
	static uint32_t get_type_stride(uint32_t flags);
	static uint32_t get_swizzle_index(char c);
	uint32_t add_conversion(Function &function, uint32_t flags, uint32_t id);

	// word emission
	void add_function_opcode(Function &function, uint32_t opcode, std::initializer_list<uint32_t> words, const Array<uint32_t> &extra = Array<uint32_t>());
	void add_module_opcode(uint32_t opcode, std::initializer_list<uint32_t> words, const Array<uint32_t> &extra = Array<uint32_t>());
	void add_module_string(const String &str);
	void add_module_string_opcode(uint32_t opcode, std::initializer_list<uint32_t> words, const String &str, const Array<uint32_t> &extra = Array<uint32_t>());
	static uint32_t get_word_opcode(uint32_t word) { return word & 0xffffu; }
	static uint32_t get_word_count(uint32_t word) { return word >> 16; }
	static uint32_t align_size(uint32_t value, uint32_t alignment);

	// type registry
	uint32_t add_type(const String &name, uint32_t length = ~0u, Scope *scope = nullptr);
	uint32_t add_type(const char *name, uint32_t length = ~0u, Scope *scope = nullptr);
	uint32_t add_type(uint32_t flags);
	uint32_t add_image_type(const String &name, uint32_t format = ~0u);
	// the array (length 0: runtime array) of element, entered under key
	uint32_t add_array_type(const String &key, uint32_t element, uint32_t length);
	// an array type of its own for a block whose layout rules give its
	// elements another stride than their size (std140 arrays of scalars)
	uint32_t add_strided_array(uint32_t element, uint32_t length, uint32_t stride);
	// a pointer to type as given (an array type itself for an array); a length
	// keeps pointers apart by the array length they were made for
	uint32_t add_pointer_type(uint32_t type, uint32_t length, uint32_t storage);

	// targets
	void add_target(uint32_t id, uint32_t type, uint32_t length = ~0u);
	void set_target(uint32_t id, uint32_t type, uint32_t flags, uint32_t length = ~0u);
	uint32_t get_target_type(uint32_t id) const;
	uint32_t get_target_flags(uint32_t id) const;
	uint32_t get_target_length(uint32_t id) const;
	uint32_t get_target_components(uint32_t id) const;
	String get_target_type_name(uint32_t id) const;

	// constants and folding; an operation's result is a constant (it is in
	// `constants`) only when the operands folded, which a caller that needs a
	// constant (an array size, a case label) tests to report the error
	uint32_t add_binary_operation(Function &function, uint32_t opcode, uint32_t type, uint32_t a, uint32_t b);
	uint32_t add_unary_operation(Function &function, uint32_t opcode, uint32_t type, uint32_t x);
	uint32_t add_splat(Function &function, uint32_t type, uint32_t scalar);
	uint32_t add_shuffle(Function &function, uint32_t type, uint32_t source, const Array<uint32_t> &indices);
	uint32_t add_constant(const String &name, const Value &value);
	uint32_t add_constant(const String &name, uint64_t value);
	uint32_t add_constant(const char *name, uint64_t value);
	// a specialization constant: a run-time value with a default, never folded
	uint32_t add_spec_constant(const String &type, const Value &value, uint32_t spec_id);
	uint32_t parse_constant(const String &type, const char *text);
	// the decimal digits of an integer literal: octal ones ("017") converted
	static String get_decimal_digits(const String &digits);
	// the shortest decimal text of a finite double that reads back as that
	// same double, always in the form of a float literal
	static String get_float_text(double value);
	String get_constant_string(const Value &value, bool keep) const;

	// built-in variables
	uint32_t add_builtin_variable(const String &name);
	void add_builtin_capability(uint32_t builtin);

	// symbols and scopes
	uint32_t add_function(const String &name, const String &return_type, uint32_t control, Scope &scope);
	uint32_t add_structure(const String &name, uint32_t storage, Scope &scope);
	uint32_t add_variable(const String &name, const String &type, uint32_t length, uint32_t storage, Scope &scope);
	// record index of the first function of that name (and argument text,
	// unless it is empty), ~0u when there is none
	uint32_t find_function(const String &name, const String &arguments);
	uint32_t get_function(uint32_t id) const;
	uint32_t find_structure(const String &name, Scope *scope);
	uint32_t get_structure(uint32_t id) const;
	uint32_t find_variable(const String &name, Scope *scope);
	uint32_t get_variable(uint32_t id) const;
	void check_qualifiers(uint32_t bits) const;
	void check_constant_qualifiers(uint32_t bits) const;

	// predicates
	static bool is_letter(char c);
	bool is_compute_stage() const;
	bool is_tracing_stage() const;
	bool is_reserved(const String &name) const;
	static bool is_declared(const String &name, const Scope &scope);

	uint32_t flags;
	uint32_t depth; // nesting of the re-entrant parsers
	Set<String> extensions; // enabled by #extension, written as OpSourceExtension
	Set<uint32_t> capabilities;
	uint32_t execution_model;
	Map<uint32_t, uint32_t> execution_modes; // mode -> value, ~0u: no operand
	uint32_t group_size[3];                  // local size; z 0: not declared
	Scope global_scope;
	Array<uint32_t> storage_pointers; // module word positions of StorageBuffer pointer types
	// module-level variables whose initialisers run when the entry point starts
	struct Initializer {
		uint32_t variable;
		uint32_t offset; // of the initialiser in the source, for errors
		String text;
	};
	Array<Initializer> initializers;
	Records<Variable> variables;
	Records<Structure> structures;
	Records<Function> functions;
	Array<uint32_t> words; // declarations while parsing, the whole module after assembly
	uint32_t next_id;
	uint32_t glsl_id; // id of the GLSL.std.450 import
	Map<uint32_t, Value> constants;
	Map<String, uint32_t> types;   // key text of a type, pointer, constant or signature -> id
	Map<uint32_t, uint32_t> records; // function, variable or structure id -> record index
	// function lookups without a scan of the records: name -> function indices
	// in declaration order, and name with argument text -> the first function
	// index of that signature, for every function but the last (whose argument
	// text the declaration parser may still be extending)
	Map<String, Array<uint32_t>> function_names;
	Map<String, uint32_t> function_signatures;
	Map<uint32_t, Map<uint32_t, uint32_t>> decorations; // decorations of ids without records
	Map<uint32_t, Target> targets;
	Map<uint32_t, uint32_t> array_strides; // array types made for one stride -> that stride
	Map<uint32_t, uint32_t> array_constants; // constant array variable index -> its constant id
	// pointers to bool members (held as integers) and values read of them,
	// made by parse_variable: reads of them are bools
	Set<uint32_t> held_bools;

	// name tables
	Map<String, String> glsl_types;     // GLSL type keyword -> internal name
	Map<String, String> internal_types; // internal name -> GLSL type keyword
	Set<String> internal_functions;     // built-ins lowered to core instructions
	Set<String> external_functions;     // built-ins lowered to GLSL.std.450 instructions
	Set<String> keywords;               // reserved words
	Map<String, uint32_t> image_formats;         // -> ImageFormat
	Map<String, uint32_t> builtin_variables;     // -> BuiltIn, ~0u: declared without one
	Map<String, uint32_t> storage_qualifiers;    // -> StorageClass
	Map<String, uint32_t> block_qualifiers;      // -> Block decoration
	Map<String, uint32_t> decoration_qualifiers; // -> Decoration
	Map<String, uint32_t> fragment_qualifiers;   // layout keyword -> ExecutionMode
	Map<String, uint32_t> layout_qualifiers;     // layout keyword -> Decoration
};

} // namespace Vexa
