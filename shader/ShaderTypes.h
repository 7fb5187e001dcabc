// The small types that the shader object hands to the layers below it: the
// stage of a shader and the binding offsets that travel with it into every
// output format. They live apart from shader/Shader.h so that the SPIR-V
// reader, the renderer and the compiler can take them without the shader
// object that sits above them.
#pragma once

#include <cstdint>

namespace Vexa {

// Offsets added to the bindings of each resource category by the backends, and
// three option bytes that travel with them.
struct BindingOffsets {
	enum Kind : uint32_t {
		Sampler = 0,
		Texture,
		Surface,
		Uniform,
		Storage,
		Tracing,
		Texel,
		Space,
		NumKinds,
	};
	int16_t offsets[NumKinds] = {};
	uint8_t flags[3] = {};
};

// The stages of a shader; Shader takes them as its own (Shader::Vertex, ...).
struct ShaderStage {
	enum Type : uint32_t {
		Unknown = 0,
		Vertex,
		Control,
		Evaluate,
		Geometry,
		Fragment,
		Compute,
		Task,
		Mesh,
		RayGen,
		RayMiss,
		Closest,
		FirstHit,
		Intersection,
		Callable,
		NumTypes,
	};
};

} // namespace Vexa
