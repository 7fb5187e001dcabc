// stream belongs to geometry outputs: accepted on a vertex output, decorated
// Stream without the GeometryStreams capability
#version 450
layout(location = 0, stream = 1) out vec4 value;
void main() { }
