// Storage, growth, assignment, comparison, search and editing of String.
//
// Every text of the system flows through these few routines, so they keep two
// promises everywhere: the text is NUL-terminated and the shared empty text is
// never written. Sources that live inside this String's own buffer (appending a
// String to itself, inserting a piece of its own text) are copied out before
// the buffer can move.
#include "core/String.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Vexa {

char String::empty_text[1] = {0};
const String String::null;

namespace {

inline uint32_t c_length(const char *str, uint32_t length) {
	if (length != ~0u) return length;
	size_t n = strlen(str);
	return n > String::MaxCapacity ? String::MaxCapacity : (uint32_t)n;
}

// signed byte comparison in which the terminating NUL takes part as 0
inline int32_t compare_bytes(const char *a, const char *b) {
	for (;; a++, b++) {
		int32_t ca = (int8_t)*a, cb = (int8_t)*b;
		if (ca != cb) return ca - cb;
		if (ca == 0) return 0;
	}
}

} // namespace

//
// growth
//

uint32_t String::amortised(uint64_t size) {
	uint64_t capacity = (size * 3 + 2) / 2;
	if (capacity >= 0x7fffffffu) return MaxCapacity;
	return capacity < 64 ? 64 : (uint32_t)capacity;
}

uint32_t String::exact(uint64_t size) {
	if (size >= 0x7fffffffu) return MaxCapacity;
	return size < 64 ? 64 : (uint32_t)size;
}

void String::grow(uint32_t size, bool use_exact, bool discard) {
	if (size <= (capacity & ~Owned)) return;
	if (size > MaxCapacity) throw std::bad_alloc();
	uint32_t new_capacity = use_exact ? exact(size) : amortised(size);
	char *buffer = static_cast<char *>(::operator new((size_t)new_capacity + 1));
	if (discard) buffer[0] = 0;
	else memcpy(buffer, data, (size_t)length + 1);
	if (capacity & Owned) ::operator delete(data);
	data = buffer;
	capacity = new_capacity | Owned;
}

void String::init_stack(char *buffer, uint32_t size) {
	capacity = size - 1;
	length = 0;
	data = buffer;
	buffer[0] = 0;
}

//
// construction
//

String::String() : capacity(0), length(0), data(empty_text) {
}

String::String(const char *str, uint32_t len) : String() {
	if (str == nullptr) return;
	len = c_length(str, len);
	if (len == 0) return;
	grow(len, false, true);
	memcpy(data, str, len);
	length = len;
	data[length] = 0;
}

String::String(const String &s) : String(s.data, s.length) {
}

String::String(uint32_t size, char c) : String() {
	if (size == 0) return;
	grow(size, true, true);
	memset(data, c, size);
	length = size;
	data[length] = 0;
}

String::String(const uint32_t *units, uint32_t count) : String() {
	copy(units, count);
}

String::String(const uint16_t *units, uint32_t count) : String() {
	copy(units, count);
}

String::String(String &&s) : String() {
	if (s.capacity & Owned) {
		capacity = s.capacity;
		length = s.length;
		data = s.data;
		s.capacity = 0;
		s.length = 0;
		s.data = empty_text;
	} else {
		copy(s.data, s.length);
	}
}

String::String(String &&s, Take) : capacity(s.capacity), length(s.length), data(s.data) {
	s.capacity = 0;
	s.length = 0;
	s.data = empty_text;
}

String::String(StringStack<64> &&s) : String() {
	if ((s.capacity & Owned) && !s.isInline()) {
		capacity = s.capacity;
		length = s.length;
		data = s.data;
		s.capacity = 0;
		s.length = 0;
		s.data = empty_text;
	} else {
		copy(s.data, s.length);
	}
}

// A buffer that is not owned (an inline buffer, a caller's buffer) is left
// untouched: it may already be gone or in other use.
String::~String() {
	if (capacity & Owned) ::operator delete(data);
}

void String::release() {
	length = 0;
	if (capacity & Owned) {
		::operator delete(data);
		data = empty_text;
		capacity = 0;
	} else if (data != empty_text) {
		data[0] = 0;
	}
}

//
// assignment
//

String &String::operator=(const String &s) {
	if (data == s.data) return *this;
	copy(s.data, s.length);
	return *this;
}

String &String::operator=(const char *str) {
	if (str == data) return *this;
	if (str == nullptr) {
		clear();
		return *this;
	}
	copy(str, ~0u);
	return *this;
}

String &String::operator=(String &&s) {
	moveFrom(s);
	return *this;
}

String &String::operator=(StringStack<64> &&s) {
	if ((s.capacity & Owned) && !s.isInline()) moveFrom(s);
	else copy(s.data, s.length);
	return *this;
}

void String::moveFrom(String &s) {
	if (&s == this) return;
	if (s.capacity & Owned) {
		if (capacity & Owned) ::operator delete(data);
		capacity = s.capacity;
		length = s.length;
		data = s.data;
		s.capacity = 0;
		s.length = 0;
		s.data = empty_text;
	} else {
		copy(s.data, s.length);
	}
}

void String::copy(const String &s, uint32_t len) {
	if (len > s.length) len = s.length;
	copy(s.data, len);
}

void String::copy(const char *str, uint32_t len) {
	if (str == nullptr) {
		clear();
		return;
	}
	len = c_length(str, len);
	if (str == data) {
		// a prefix of the own text: only the length changes
		if (len < length) {
			length = len;
			terminate();
		}
		return;
	}
	if (len == 0) {
		clear();
		return;
	}
	if (len > (capacity & ~Owned)) {
		// the source may live inside the old buffer: keep it alive until copied
		uint32_t new_capacity = amortised(len);
		char *buffer = static_cast<char *>(::operator new((size_t)new_capacity + 1));
		memcpy(buffer, str, len);
		if (capacity & Owned) ::operator delete(data);
		data = buffer;
		capacity = new_capacity | Owned;
	} else {
		memmove(data, str, len);
	}
	length = len;
	data[length] = 0;
}

void String::copy(const uint32_t *units, uint32_t count) {
	clear();
	if (units == nullptr) return;
	for (uint32_t i = 0; i != count && units[i] != 0; i++) appendUtf8(units[i]);
}

void String::copy(const uint16_t *units, uint32_t count) {
	clear();
	if (units == nullptr) return;
	for (uint32_t i = 0; i != count && units[i] != 0; i++) appendUtf8(units[i]);
}

void String::setBuffer(char *buffer, size_t size, uint32_t len) {
	if (capacity & Owned) ::operator delete(data);
	if (buffer == nullptr || size == 0) {
		capacity = 0;
		length = 0;
		data = empty_text;
		return;
	}
	capacity = size - 1 > MaxCapacity ? MaxCapacity : (uint32_t)(size - 1);
	length = len > capacity ? capacity : len;
	data = buffer;
	data[length] = 0;
}

void String::setBuffer(const String &s) {
	if (&s == this) return;
	if (capacity & Owned) ::operator delete(data);
	if (s.data == nullptr || s.length == ~0u || s.data == empty_text) {
		capacity = 0;
		length = 0;
		data = empty_text;
		return;
	}
	capacity = s.length;
	length = s.length;
	data = s.data;
	data[length] = 0;
}

void String::swap(String &s) {
	Vexa::swap(capacity, s.capacity);
	Vexa::swap(length, s.length);
	Vexa::swap(data, s.data);
}

//
// editing
//

void String::reserve(uint32_t size, bool discard) {
	grow(size, false, discard);
}

void String::resize(uint32_t size, char c, bool amortise, bool discard) {
	if (size > (capacity & ~Owned)) {
		grow(size, !amortise, discard);
		if (discard) length = 0;
	}
	if (size > length) memset(data + length, c, size - length);
	length = size;
	terminate();
}

void String::shrink() {
	if (!(capacity & Owned) || (capacity & ~Owned) == length) return;
	if (length == 0) {
		::operator delete(data);
		data = empty_text;
		capacity = 0;
		return;
	}
	char *buffer = static_cast<char *>(::operator new((size_t)length + 1));
	memcpy(buffer, data, (size_t)length + 1);
	::operator delete(data);
	data = buffer;
	capacity = length | Owned;
}

void String::clear() {
	length = 0;
	terminate();
}

String &String::append(const String &s) {
	return append(s.data, s.length);
}

String &String::append(const String &s, uint32_t len) {
	if (len > s.length) len = s.length;
	return append(s.data, len);
}

String &String::append(const char *str) {
	if (str == nullptr) return *this;
	return append(str, ~0u);
}

String &String::append(const char *str, uint32_t len) {
	if (str == nullptr) return *this;
	len = c_length(str, len);
	if (len == 0) return *this;
	if ((uint64_t)length + len > MaxCapacity) throw std::bad_alloc();
	uint32_t size = length + len;
	if (size > (capacity & ~Owned)) {
		// the source may be this String's own text: copy it before the old
		// buffer is released
		uint32_t new_capacity = amortised(size);
		char *buffer = static_cast<char *>(::operator new((size_t)new_capacity + 1));
		memcpy(buffer, data, length);
		memcpy(buffer + length, str, len);
		if (capacity & Owned) ::operator delete(data);
		data = buffer;
		capacity = new_capacity | Owned;
	} else {
		memmove(data + length, str, len);
	}
	length = size;
	data[length] = 0;
	return *this;
}

String &String::append(char c) {
	if (c == 0) return *this;
	if (length == (capacity & ~Owned)) grow(length + 1, false, false);
	data[length++] = c;
	data[length] = 0;
	return *this;
}

void String::insert(uint32_t pos, const char *str, uint32_t len) {
	if (str == nullptr) return;
	len = c_length(str, len);
	if (len == 0) return;
	if (pos > length) pos = length;
	if ((uint64_t)length + len > MaxCapacity) throw std::bad_alloc();
	uint32_t size = length + len;
	if (size > (capacity & ~Owned)) {
		uint32_t new_capacity = exact(size);
		char *buffer = static_cast<char *>(::operator new((size_t)new_capacity + 1));
		memcpy(buffer, data, pos);
		memcpy(buffer + pos, str, len);
		memcpy(buffer + pos + len, data + pos, length - pos);
		if (capacity & Owned) ::operator delete(data);
		data = buffer;
		capacity = new_capacity | Owned;
	} else if (str >= data && str < data + length) {
		// inserting a piece of the own text: take a copy before moving the tail
		String piece(str, len);
		memmove(data + pos + len, data + pos, length - pos);
		memcpy(data + pos, piece.data, len);
	} else {
		memmove(data + pos + len, data + pos, length - pos);
		memcpy(data + pos, str, len);
	}
	length = size;
	data[length] = 0;
}

void String::remove(uint32_t pos, uint32_t len) {
	if (pos >= length) return;
	if (len > length - pos) len = length - pos;
	memmove(data + pos, data + pos + len, length - pos - len);
	length -= len;
	terminate();
}

void String::removeBack(uint32_t n) {
	if (n > length) n = length;
	length -= n;
	terminate();
}

void String::reverse(uint32_t pos, uint32_t len) {
	if (pos >= length) return;
	if (len > length - pos) len = length - pos;
	for (uint32_t i = pos, j = pos + len; i + 1 < j; i++, j--) Vexa::swap(data[i], data[j - 1]);
}

//
// comparison
//

int32_t String::compare(const char *str, uint32_t pos) const {
	if (str == nullptr) str = empty_text;
	if (pos > length) pos = length;
	return compare_bytes(data + pos, str);
}

bool String::equal(const char *a, const char *b) {
	if (a == b) return true;
	if (a == nullptr || b == nullptr) return false;
	return strcmp(a, b) == 0;
}

bool operator==(const String &a, const String &b) {
	if (a.data == b.data) return true;
	return a.length == b.length && memcmp(a.data, b.data, a.length) == 0;
}

bool operator==(const String &a, const char *b) {
	if (a.data == b) return true;
	if (b == nullptr) return a.length == 0;
	return strcmp(a.data, b) == 0;
}

bool operator==(const char *a, const String &b) {
	return b == a;
}

bool operator!=(const String &a, const String &b) {
	return !(a == b);
}

bool operator!=(const String &a, const char *b) {
	return !(a == b);
}

bool operator!=(const char *a, const String &b) {
	return !(b == a);
}

// A null C string orders exactly like an empty text.
bool operator<(const String &a, const String &b) {
	return compare_bytes(a.data, b.data) < 0;
}

bool operator<(const String &a, const char *b) {
	return compare_bytes(a.data, b ? b : "") < 0;
}

bool operator<(const char *a, const String &b) {
	return compare_bytes(a ? a : "", b.data) < 0;
}

bool operator>(const String &a, const String &b) {
	return b < a;
}

bool operator>(const String &a, const char *b) {
	return b < a;
}

bool operator>(const char *a, const String &b) {
	return b < a;
}

//
// search
//

uint32_t String::find(char c, uint32_t pos) const {
	for (uint32_t i = pos; i < length; i++) {
		if (data[i] == c) return i;
	}
	return ~0u;
}

uint32_t String::find(const char *str, uint32_t pos) const {
	if (str == nullptr || length == 0) return ~0u;
	size_t n = strlen(str);
	if (n > length) return ~0u;
	for (uint32_t i = pos; i + n <= length; i++) {
		if (strncmp(data + i, str, n) == 0) return i;
	}
	return ~0u;
}

uint32_t String::rfind(char c, uint32_t n) const {
	for (uint32_t i = length; i > 0 && n > 0; i--, n--) {
		if (data[i - 1] == c) return i - 1;
	}
	return ~0u;
}

uint32_t String::rfind(const char *str, uint32_t n) const {
	if (str == nullptr || length == 0) return ~0u;
	size_t size = strlen(str);
	if (size > length) return ~0u;
	for (uint32_t i = length - (uint32_t)size + 1; i > 0 && n > 0; i--, n--) {
		if (strncmp(data + i - 1, str, size) == 0) return i - 1;
	}
	return ~0u;
}

bool String::contains(const char *str, uint32_t len, uint32_t pos) const {
	if (str == nullptr) return false;
	len = c_length(str, len);
	if (len > length) return false;
	for (uint32_t i = pos; i + len <= length; i++) {
		if (memcmp(data + i, str, len) == 0) return true;
	}
	return false;
}

bool String::startsWith(const char *str, uint32_t len, uint32_t pos) const {
	if (str == nullptr) return false;
	len = c_length(str, len);
	if (pos > length || len > length - pos) return false;
	return memcmp(data + pos, str, len) == 0;
}

uint32_t String::count(char c, uint32_t pos) const {
	if (length == 0) return ~0u;
	uint32_t ret = 0;
	for (uint32_t i = pos; i < length; i++) {
		if (data[i] == c) ret++;
	}
	return ret;
}

uint32_t String::count(const char *str, uint32_t pos) const {
	if (length == 0) return ~0u;
	if (str == nullptr || pos >= length) return 0;
	size_t n = strlen(str);
	if (n == 0) return 0;
	uint32_t ret = 0;
	for (uint32_t i = pos; i + n <= length;) {
		if (strncmp(data + i, str, n) == 0) {
			ret++;
			i += (uint32_t)n;
		} else {
			i++;
		}
	}
	return ret;
}

String String::substr(uint32_t pos, uint32_t len) const {
	if (pos >= length) return String();
	if (len > length - pos) len = length - pos;
	return String(data + pos, len);
}

//
// replacement and splitting
//

String String::replace(char before, char after, uint32_t pos) const {
	String ret(*this);
	for (uint32_t i = pos; i < ret.length; i++) {
		if (ret.data[i] == before) ret.data[i] = after;
	}
	return ret;
}

String String::replace(const char *before, const char *after, uint32_t pos) const {
	if (before == nullptr || *before == 0) return String(*this);
	uint32_t size = (uint32_t)strlen(before);
	StringStack<64> ret;
	if (pos > length) pos = length;
	ret.append(data, pos);
	for (uint32_t i = pos; i < length;) {
		if (i + size <= length && memcmp(data + i, before, size) == 0) {
			ret.append(after);
			i += size;
		} else {
			ret.append(data[i++]);
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

StringArray String::split(const String &delimiters, uint32_t len) const {
	return StringArray(*this, delimiters, len);
}

StringArray String::split(const char *delimiters, uint32_t len) const {
	return StringArray(*this, delimiters, len);
}

//
// paths
//

String String::dirname() const {
	uint32_t pos = rfind('/');
	if (pos == ~0u) pos = rfind('\\');
	if (pos == ~0u) return null;
	return String(data, pos + 1);
}

String String::basename() const {
	uint32_t pos = rfind('/');
	if (pos == ~0u) pos = rfind('\\');
	if (pos == ~0u) return String(*this);
	return String(data + pos + 1, length - pos - 1);
}

namespace {

// position of the extension's '.', ~0 when the last path component has none
uint32_t extension_dot(const String &s) {
	for (uint32_t i = s.length; i > 0; i--) {
		char c = s.data[i - 1];
		if (c == '/' || c == '\\' || c == ':') break;
		if (c == '.') return i - 1;
	}
	return ~0u;
}

} // namespace

String String::extension() const {
	uint32_t pos = extension_dot(*this);
	if (pos == ~0u) return null;
	return String(data + pos + 1, length - pos - 1);
}

String String::replaceExtension(const char *ext) const {
	uint32_t pos = extension_dot(*this);
	StringStack<64> ret;
	if (pos != ~0u) {
		if (ext) {
			ret.append(data, pos + 1);
			ret.append(ext);
		} else {
			ret.append(data, pos);
		}
	} else {
		ret.append(*this);
		if (ext) {
			ret.append('.');
			ret.append(ext);
		}
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String String::cleanPath() const {
	StringStack<64> ret;
	for (uint32_t i = 0; i < length; i++) {
		char c = data[i];
		bool ends_slash = ret.length && ret.fromBack(0) == '/';
		if (c == '/' && ends_slash) continue;
		if (c == '.' && data[i + 1] == '/') {
			if (ends_slash) {
				i++;
			} else if (ret.length == 0) {
				ret.append(c);
			} else {
				ret.append('/');
				i++;
			}
			continue;
		}
		if (c == '.' && data[i + 1] == '.' && data[i + 2] == '/') {
			if (ret.length == 0 || (ret.length >= 3 && ret.startsWith("../", 3, ret.length - 3))) {
				ret.append("../");
			} else if (!ends_slash) {
				ret.append("/../");
			} else {
				// drop the last segment
				ret.removeBack(1);
				uint32_t pos = ret.rfind('/');
				ret.resize(pos == ~0u ? 0 : pos + 1);
			}
			i += 2;
			continue;
		}
		ret.append(c);
	}
	return String(static_cast<StringStack<64> &&>(ret));
}

String String::relativePath(const char *from, const char *to) {
	if (from == nullptr) from = "";
	if (to == nullptr) to = "";
	uint32_t i = 0;
	while (from[i] && from[i] == to[i]) i++;
	if (from[i] == 0 && to[i] == 0) return String();
	// back up to the last position where both hold '/'
	while (i > 0 && !(from[i] == '/' && to[i] == '/')) i--;
	if (!(from[i] == '/' && to[i] == '/')) i = 0;
	StringStack<64> ret;
	if (i == 0) return String(to);
	for (uint32_t j = i; from[j]; j++) {
		if (from[j] == '/' && from[j + 1]) ret.append("../");
	}
	ret.append(to + i + 1);
	return String(static_cast<StringStack<64> &&>(ret));
}

//
// concatenation
//

String operator+(const String &a, const String &b) {
	StringStack<64> ret(a);
	ret.append(b);
	return String(static_cast<StringStack<64> &&>(ret));
}

String operator+(const String &a, const char *b) {
	StringStack<64> ret(a);
	ret.append(b);
	return String(static_cast<StringStack<64> &&>(ret));
}

String operator+(const char *a, const String &b) {
	StringStack<64> ret(a);
	ret.append(b);
	return String(static_cast<StringStack<64> &&>(ret));
}

//
// StringArray
//

StringArray::StringArray() : size(0), count(0), text(nullptr), items(nullptr) {
}

StringArray::StringArray(const String &t, const String &delimiters, uint32_t length) : StringArray() {
	split(t.data, delimiters.data, length > t.length ? t.length : length);
}

StringArray::StringArray(const String &t, const char *delimiters, uint32_t length) : StringArray() {
	split(t.data, delimiters, length > t.length ? t.length : length);
}

StringArray::StringArray(const char *t, const char *delimiters, uint32_t length) : StringArray() {
	split(t, delimiters, length);
}

StringArray::StringArray(const StringArray &a) : StringArray() {
	*this = a;
}

StringArray::StringArray(StringArray &&a) : size(a.size), count(a.count), text(a.text), items(a.items) {
	a.size = 0;
	a.count = 0;
	a.text = nullptr;
	a.items = nullptr;
}

StringArray::~StringArray() {
	clear();
}

StringArray &StringArray::operator=(const StringArray &a) {
	if (&a == this) return *this;
	clear();
	if (a.text == nullptr) return *this;
	size = a.size;
	count = a.count;
	text = static_cast<char *>(::operator new(size));
	memcpy(text, a.text, size);
	items = new String[count];
	for (uint32_t i = 0; i < count; i++) {
		// re-point the view: an unowned piece of the new `text`
		items[i].data = text + (a.items[i].data - a.text);
		items[i].length = a.items[i].length;
		items[i].capacity = a.items[i].length;
	}
	return *this;
}

StringArray &StringArray::operator=(StringArray &&a) {
	if (&a == this) return *this;
	clear();
	size = a.size;
	count = a.count;
	text = a.text;
	items = a.items;
	a.size = 0;
	a.count = 0;
	a.text = nullptr;
	a.items = nullptr;
	return *this;
}

void StringArray::clear() {
	// the items only view `text` and never write into it when destroyed
	delete[] items;
	if (text) ::operator delete(text);
	items = nullptr;
	text = nullptr;
	size = 0;
	count = 0;
}

void StringArray::split(const char *source, const char *delimiters, uint32_t length) {
	clear();
	if (source == nullptr) return;
	if (length == ~0u) length = (uint32_t)strlen(source);
	if (delimiters == nullptr) delimiters = "";
	size = length + 1;
	text = static_cast<char *>(::operator new(size));
	memcpy(text, source, length);
	text[length] = 0;
	bool inside = false;
	for (uint32_t i = 0; i < length; i++) {
		if (text[i] != 0 && strchr(delimiters, text[i]) != nullptr) text[i] = 0;
		if (text[i] == 0) inside = false;
		else if (!inside) {
			inside = true;
			count++;
		}
	}
	items = new String[count];
	uint32_t index = 0;
	for (uint32_t i = 0; i < length && index < count;) {
		if (text[i] == 0) {
			i++;
			continue;
		}
		uint32_t begin = i;
		while (i < length && text[i] != 0) i++;
		items[index].data = text + begin;
		items[index].length = i - begin;
		items[index].capacity = i - begin;
		index++;
	}
}

} // namespace Vexa
