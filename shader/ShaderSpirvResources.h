// The resources of a module as every output sees them (ShaderSpirvResources.cpp):
// what kind of resource each variable is, the binding it has and where the
// binding assignment puts it, which images the functions read and write, which
// textures depth comparisons sample, and where the textures and samplers that
// reach a combination come from, through function parameters.
//
// What a target makes of that is its own policy: which kinds share a binding
// namespace (a row of `BindingPolicy`), which kinds it has no spelling for,
// and the text and messages of its declarations.
#pragma once

#include "core/Array.h"
#include "core/Map.h"

#include <cstdint>

namespace Vexa {

// a variable's kind of resource, from its storage class and then the type
// below its arrays
enum ResourceKind : uint32_t {
	ResourceNone,                   // no resource (an input, or a UniformConstant of another type)
	ResourceUniformBlock,           // Uniform without BufferBlock
	ResourceStorageBlock,           // StorageBuffer, or Uniform with BufferBlock
	ResourcePushConstant,
	ResourceSampledImage,           // an image of Sampled 1 (a texture)
	ResourceStorageImage,           // an image of Sampled 0 or 2
	ResourceSampler,
	ResourceCombinedImageSampler,   // an OpTypeSampledImage but of a buffer
	ResourceUniformTexelBuffer,     // a buffer image of Sampled 1, alone or combined with a sampler
	ResourceStorageTexelBuffer,     // a buffer image of Sampled 0 or 2
	ResourceAccelerationStructure,
	ResourceInputAttachment,        // a subpass-data image
	ResourceKindCount,
};

// The binding namespaces of a target: resources of one namespace collide on
// a binding, those of different ones never do. A kind whose namespace is
// `NoBindingSpace` takes no part in the assignment.
constexpr uint32_t NoBindingSpace = ~0u;
struct BindingPolicy {
	uint32_t spaces[ResourceKindCount];
	// the namespace on whose first free bindings the push-constant blocks
	// are put, in module order; NoBindingSpace where they take none
	uint32_t push_space;
};

// One resource of the binding assignment.
struct ResourceBinding {
	uint32_t variable = 0;
	ResourceKind kind = ResourceNone;
	uint32_t space = 0;
	uint32_t set = 0;               // its DescriptorSet, 0 without one
	uint32_t binding = 0;           // its Binding with the offset of its kind
	uint32_t count = 1;             // the bindings it takes: one per element of its outer array
	uint32_t assigned = 0;          // the binding it is given
};

// What keeps a resource from the assignment, or ends it.
enum BindingIssueKind : uint32_t {
	BindingIssueRuntimeArray,       // a runtime array of resources, whose bindings cannot be counted
	BindingIssueArraySize,          // an outer array of 0 or more than MaxBindingCount elements (`count`)
	BindingIssueCollision,          // `binding` of `variable` is one of `other` of the same set
};
constexpr uint32_t MaxBindingCount = 4096;

struct BindingIssue {
	BindingIssueKind kind;
	uint32_t variable;
	uint32_t other;
	uint32_t binding;
	uint32_t count;
};

// The outcome of `assign_bindings`. Resources of the lowest set keep their
// bindings; one whose bindings a resource of a lower set (or of the same set
// at a lower binding) holds already moves to the first binding above all the
// others of its namespace. A collision within one set ends the assignment:
// what comes after it is not moved, and no push-constant block is placed.
struct BindingAssignment {
	// the resources that take part, by set and then by binding; after a
	// collision those that come later keep their bindings unchecked
	Array<ResourceBinding> resources;
	// the moved ones: variable to its new binding
	Map<uint32_t, uint32_t> moved;
	// push-constant block types to the binding they are given
	Map<uint32_t, uint32_t> push;
	// in the order of the resources, the collision last
	Array<BindingIssue> issues;
};

// bits of the uses that `find_resource_uses` finds
enum : uint32_t {
	ImageRead = 1,                  // of a storage image: read, or its texel pointer taken
	ImageWrite = 2,                 // written, or its texel pointer taken
	TextureCompared = 1,            // of a texture: sampled with a depth comparison
	TextureUncompared = 2,          // sampled, gathered or fetched without one
};

// Where a texture or sampler value comes from: a variable, or a function
// parameter, which stands for the arguments of every call of its function.
// `first` and `count` are the elements (in the order of the flattened arrays)
// that it may be: of the variable, or within the parameter, where `exact`
// says the indices were constants.
struct ResourcePlace {
	uint32_t root = 0;
	uint32_t first = 0;
	uint32_t count = 1;
	bool exact = true;
};

// a variable of textures or samplers and the elements of it
struct ResourceElements {
	uint32_t variable = 0;
	uint32_t first = 0;
	uint32_t count = 1;
};

// Why the elements of a place are not known: a variable whose elements
// cannot be counted, or a parameter whose arguments do not come from known
// places (or that is its own argument). `ResourceOriginKnownFailure` is a
// parameter whose failure an earlier walk found and gave already.
enum ResourceOriginFailure : uint32_t {
	ResourceOriginNone,
	ResourceOriginElements,         // `id` is the variable
	ResourceOriginParameter,        // `id` is the parameter
	ResourceOriginKnownFailure,
};

struct ResourceOriginIssue {
	ResourceOriginFailure failure = ResourceOriginNone;
	uint32_t id = 0;
};

} // namespace Vexa
