// nonuniformEXT of an index that is not 32 bits wide: accepted as an
// OpBitcast from the 16-bit integer to a 32-bit one
#version 450
#extension GL_EXT_nonuniform_qualifier : require
#extension GL_EXT_shader_explicit_arithmetic_types : require
layout(binding = 0) uniform sampler2D textures[];
layout(location = 0) flat in uint16_t index;
layout(location = 0) out vec4 color;
void main() { color = texture(textures[nonuniformEXT(index)], vec2(0.5)); }
