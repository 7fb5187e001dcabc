// The one text type of the system: a UTF-8 byte string that is always
// NUL-terminated and never has a null data pointer. Names, messages, paths,
// sources and generated outputs are all Strings, and a String is also what
// parsing code throws on error.
//
// Storage: `capacity` bits 0-30 count the characters the buffer takes without
// its NUL, bit 31 says the buffer is heap-owned by this String. An empty String
// that owns nothing points at one shared static empty text that is never
// written. StringStack<N> starts out on an inline buffer of N bytes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace Vexa {

template <uint32_t N> class StringStack;
class StringArray;

class String {
public:
	static constexpr uint32_t Owned = 0x80000000u;
	static constexpr uint32_t MaxCapacity = 0x7ffffffeu;

	// The empty String returned by reference where there is no text to give.
	static const String null;

	// Tag of the move constructor that takes the fields unconditionally.
	struct Take {};

	String();
	String(const char *str, uint32_t length = ~0u);
	String(const String &s);
	String(uint32_t size, char c);
	explicit String(const uint32_t *units, uint32_t count = ~0u);
	explicit String(const uint16_t *units, uint32_t count = ~0u);
	String(String &&s);
	String(String &&s, Take);
	String(StringStack<64> &&s);
	~String();

	void release();

	String &operator=(const String &s);
	String &operator=(const char *str);
	String &operator=(String &&s);
	String &operator=(StringStack<64> &&s);
	void moveFrom(String &s);

	void copy(const String &s, uint32_t length = ~0u);
	void copy(const char *str, uint32_t length = ~0u);
	void copy(const uint32_t *units, uint32_t count = ~0u);
	void copy(const uint16_t *units, uint32_t count = ~0u);

	void setBuffer(char *buffer, size_t size, uint32_t length);
	void setBuffer(const String &s);
	void swap(String &s);

	// access
	const char *get() const { return data; }
	char *get() { return data; }
	uint32_t size() const { return length; }
	bool empty() const { return length == 0; }
	bool isOwned() const { return (capacity & Owned) != 0; }
	uint32_t getCapacity() const { return capacity & ~Owned; }
	char &operator[](uint32_t index) { return data[index]; }
	const char &operator[](uint32_t index) const { return data[index]; }
	char &fromBack(uint32_t index) { return data[length - 1 - index]; }
	const char &fromBack(uint32_t index) const { return data[length - 1 - index]; }

	// editing
	void reserve(uint32_t size, bool discard = false);
	void resize(uint32_t size, char c = 0, bool grow = false, bool discard = false);
	void shrink();
	void clear();
	String &append(const String &s);
	String &append(const String &s, uint32_t length);
	String &append(const char *str);
	String &append(const char *str, uint32_t length);
	String &append(char c);
	String &operator+=(char c) { return append(c); }
	void insert(uint32_t pos, const char *str, uint32_t length = ~0u);
	void remove(uint32_t pos, uint32_t length = ~0u);
	void removeBack(uint32_t count);
	void reverse(uint32_t pos = 0, uint32_t length = ~0u);

	// comparison
	int32_t compare(const char *str, uint32_t pos = 0) const;
	static bool equal(const char *a, const char *b);

	// search
	uint32_t find(char c, uint32_t pos = 0) const;
	uint32_t find(const char *str, uint32_t pos = 0) const;
	uint32_t rfind(char c, uint32_t count = ~0u) const;
	uint32_t rfind(const char *str, uint32_t count = ~0u) const;
	bool contains(const char *str, uint32_t length = ~0u, uint32_t pos = 0) const;
	bool startsWith(const char *str, uint32_t length = ~0u, uint32_t pos = 0) const;
	uint32_t count(char c, uint32_t pos = 0) const;
	uint32_t count(const char *str, uint32_t pos = 0) const;
	String substr(uint32_t pos, uint32_t length = ~0u) const;

	// replacement and splitting
	String replace(char before, char after, uint32_t pos = 0) const;
	String replace(const char *before, const char *after, uint32_t pos = 0) const;
	StringArray split(const String &delimiters, uint32_t length = ~0u) const;
	StringArray split(const char *delimiters, uint32_t length = ~0u) const;

	// paths
	String dirname() const;
	String basename() const;
	String extension() const;
	String replaceExtension(const char *ext) const;
	String cleanPath() const;
	static String relativePath(const char *from, const char *to);

	// formatting engine
	String &vprintf(const char *format, va_list args);
	String &printf(const char *format, ...);
	static String format(const char *format, ...);
	static String vformat(const char *format, va_list args);
	uint32_t vscanf(const char *format, va_list args) const;
	uint32_t scanf(const char *format, ...) const;

	// integer printers
	String &appendu32(uint32_t value, uint32_t radix = 10);
	String &appendu64(uint64_t value, uint32_t radix = 10);
	String &appendi32(int32_t value, uint32_t radix = 10);
	String &appendi64(int64_t value, uint32_t radix = 10);
	static String fromu32(uint32_t value, uint32_t radix = 10);
	static String fromu64(uint64_t value, uint32_t radix = 10);
	static String fromi32(int32_t value, uint32_t radix = 10);
	static String fromi64(int64_t value, uint32_t radix = 10);

	// float printers
	String &appendf64(double value, uint32_t digits, bool compact = false, bool exponent = false);
	String &appendf32(float value, uint32_t digits, bool compact = false, bool exponent = false);
	static String fromf64(double value, uint32_t digits, bool compact = false, bool exponent = false);
	static String fromf32(float value, uint32_t digits, bool compact = false, bool exponent = false);

	// parsers
	static uint32_t tou32(const char *src, uint32_t radix = 10, uint32_t *size = nullptr);
	uint32_t tou32(uint32_t radix, uint32_t pos, uint32_t *size = nullptr) const;
	static uint64_t tou64(const char *src, uint32_t radix = 10, uint32_t *size = nullptr);
	uint64_t tou64(uint32_t radix, uint32_t pos, uint32_t *size = nullptr) const;
	static int32_t toi32(const char *src, uint32_t radix = 10, uint32_t *size = nullptr);
	int32_t toi32(uint32_t radix, uint32_t pos, uint32_t *size = nullptr) const;
	static int64_t toi64(const char *src, uint32_t radix = 10, uint32_t *size = nullptr);
	int64_t toi64(uint32_t radix, uint32_t pos, uint32_t *size = nullptr) const;
	static double tof64(const char *src, uint32_t *size = nullptr);
	double tof64(uint32_t pos, uint32_t *size = nullptr) const;
	static float tof32(const char *src, uint32_t *size = nullptr);

	// UTF conversions
	uint32_t appendUtf8(uint32_t code);
	static String fromUtf16(const uint16_t *units, uint32_t count = ~0u);
	static String fromUtf32(const uint32_t *units, uint32_t count = ~0u);
	uint32_t toUtf16(uint16_t *dst, int32_t size) const;
	uint32_t toUtf32(uint32_t *dst, int32_t size) const;
	static uint32_t readUtf8(const char *src, uint32_t *code);

	// text utilities
	// human-readable quantities; `digits` is the number of fraction digits
	static String fromAngle(double degrees, uint32_t parts);
	static String fromBytes(uint64_t bytes, uint32_t digits);
	static String fromHz(uint64_t hz, uint32_t digits);
	static String fromMetres(double metres, uint32_t digits);
	static String fromCount(uint64_t count, uint32_t digits);
	static String fromTime(uint64_t microseconds, uint32_t digits);
	// a number with an optional unit suffix; *size gets the characters read
	uint64_t toBytes(uint32_t pos, uint32_t *size = nullptr) const;
	static uint64_t toBytes(const char *src, uint32_t *size = nullptr);
	uint64_t toHz(uint32_t pos, uint32_t *size = nullptr) const;
	static uint64_t toHz(const char *src, uint32_t *size = nullptr);
	double toMetres(uint32_t pos, uint32_t *size = nullptr) const;
	static double toMetres(const char *src, uint32_t *size = nullptr);
	uint64_t toCount(uint32_t pos, uint32_t *size = nullptr) const;
	static uint64_t toCount(const char *src, uint32_t *size = nullptr);
	// "%xx" escapes decoded; length -1 reads up to the NUL
	static String decodeUrl(const char *src, int32_t length = -1);
	String capitalize(const char *separators, const char *spaces) const;
	String tolower() const;
	String toupper() const;
	// Levenshtein distance; `partial` also tries the tails of a longer str
	uint32_t distance(const char *str, bool partial) const;
	uint32_t hash(uint32_t pos = 0) const;
	uint64_t hash64(uint32_t pos = 0) const;
	// "#rgb", "#rrggbb" or "#rrggbbaa" packed as 0xAABBGGRR
	uint32_t toColor(uint32_t pos = 0) const;

	uint32_t capacity;
	uint32_t length;
	char *data;

protected:
	// grows the buffer to at least `size` characters; `exact` picks the
	// exact rule over the amortised one
	void grow(uint32_t size, bool exact, bool discard);
	static uint32_t amortised(uint64_t size);
	static uint32_t exact(uint64_t size);
	void terminate() {
		if (data != empty_text) data[length] = 0;
	}
	void init_stack(char *buffer, uint32_t size);

	static char empty_text[1];

	template <uint32_t N> friend class StringStack;
};

// A String whose first N - 1 characters live in an inline buffer.
template <uint32_t N>
class StringStack : public String {
public:
	StringStack() { init_stack(buffer, N); }
	StringStack(const char *str, uint32_t length = ~0u) {
		init_stack(buffer, N);
		copy(str, length);
	}
	StringStack(const String &s) {
		init_stack(buffer, N);
		copy(s);
	}
	StringStack(const StringStack &s) : String() {
		init_stack(buffer, N);
		copy(s);
	}
	StringStack &operator=(const String &s) {
		String::operator=(s);
		return *this;
	}
	StringStack &operator=(const StringStack &s) {
		String::operator=(s);
		return *this;
	}
	StringStack &operator=(const char *str) {
		String::operator=(str);
		return *this;
	}
	bool isInline() const { return data == buffer; }

private:
	char buffer[N];
};

// The pieces of a split: one copy of the source with every delimiter replaced
// by NUL, and unowned Strings pointing into it.
class StringArray {
public:
	StringArray();
	StringArray(const String &text, const String &delimiters, uint32_t length = ~0u);
	StringArray(const String &text, const char *delimiters, uint32_t length = ~0u);
	StringArray(const char *text, const char *delimiters, uint32_t length = ~0u);
	StringArray(const StringArray &a);
	StringArray(StringArray &&a);
	~StringArray();
	StringArray &operator=(const StringArray &a);
	StringArray &operator=(StringArray &&a);

	void clear();
	void split(const char *text, const char *delimiters, uint32_t length = ~0u);

	uint32_t getCount() const { return count; }
	const String &operator[](uint32_t index) const { return items[index]; }

	uint32_t size;
	uint32_t count;
	char *text;
	String *items;
};

// comparison
bool operator==(const String &a, const String &b);
bool operator==(const String &a, const char *b);
bool operator==(const char *a, const String &b);
bool operator!=(const String &a, const String &b);
bool operator!=(const String &a, const char *b);
bool operator!=(const char *a, const String &b);
bool operator<(const String &a, const String &b);
bool operator<(const String &a, const char *b);
bool operator<(const char *a, const String &b);
bool operator>(const String &a, const String &b);
bool operator>(const String &a, const char *b);
bool operator>(const char *a, const String &b);

// concatenation
String operator+(const String &a, const String &b);
String operator+(const String &a, const char *b);
String operator+(const char *a, const String &b);

// small helpers
template <class T>
inline void swap(T &a, T &b) {
	static_assert(sizeof(T) == 1 || sizeof(T) == 4 || sizeof(T) == 8, "swap of 1-, 4- or 8-byte values");
	T t = a;
	a = b;
	b = t;
}
inline int32_t abs(int32_t v) { return v < 0 ? (int32_t)(0u - (uint32_t)v) : v; }

bool isinf(float v);
bool isinf(double v);
bool isnan(float v);
bool isnan(double v);
int32_t fpclass(float v);
int32_t fpclass(double v);
float floor(float v);
double floor(double v);

} // namespace Vexa
