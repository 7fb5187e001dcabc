// a geometry output of a stream (valid) was decorated Stream without the
// GeometryStreams capability
#version 450
layout(points) in;
layout(points, max_vertices = 1) out;
layout(location = 0, stream = 1) out vec4 value;
void main() { }
