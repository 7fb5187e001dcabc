// a block named like the compiler's own spelling of vec2 took the place of
// that type: the vec2 input was declared of the block's struct type (and
// counting its locations, which go through Light's vec2 member back to the
// block, never ended)
#version 450
struct Light { vec2 position; };
layout(binding = 0) uniform f32v2 { Light light; } frame;
layout(location = 0) in vec2 uv;
void main() { }
