// Preprocessing of shader text.
#include "shader/Shader.h"
#include "shader/ShaderState.h"

namespace Vexa {

// Until directives and macros are expanded here, text passes through as it is.
bool Shader::preprocessor(const char *src, String &dst, State &, bool) {
	dst = src;
	return true;
}

String Shader::State::expand_text(const char *text) {
	String ret(text);
	uint32_t begin = 0, end = ret.size();
	while (begin < end && (ret[begin] == ' ' || ret[begin] == '\t')) begin++;
	while (end > begin && (ret[end - 1] == ' ' || ret[end - 1] == '\t')) end--;
	return ret.substr(begin, end - begin);
}

} // namespace Vexa
