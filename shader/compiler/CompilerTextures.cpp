// Calls of the built-ins that map onto core SPIR-V instructions: the common
// front (argument reading, the final error) and the texture and image
// families: size and sample queries, sampling, gathers, fetches, image loads
// and stores. Arguments are converted to the types the instructions take
// (float coordinates, int texel coordinates, float LODs, int offsets); the
// result has the sampled type of the image; outside fragment shaders,
// implicit-LOD forms sample LOD 0, as Vulkan requires.
#include "shader/compiler/Compiler.h"
#include "shader/compiler/CompilerBits.h"
#include "shader/compiler/CompilerExpressions.h"

#include "core/Error.h"
#include "shader/ShaderSpirvNumbers.h"

namespace Vexa {

using CompilerBits::skip_spaces;

namespace {

enum Family : uint8_t { Sampling, Gather };

// the sampling and gather calls: name, argument count, instruction, the
// operands after the coordinate in order (bias, lod, grad, offset)
struct SampleRow {
	const char *name;
	uint8_t arguments;
	uint16_t instruction;
	uint32_t mask;
	bool projective;
	Family family;
};

const SampleRow sample_rows[] = {
	{"texture", 2, 87, 0, false, Sampling},
	{"texture", 3, 87, Spirv::ImageOperandsBias, false, Sampling},
	{"textureLod", 3, 88, Spirv::ImageOperandsLod, false, Sampling},
	{"textureGrad", 4, 88, Spirv::ImageOperandsGrad, false, Sampling},
	{"textureProj", 2, 91, 0, true, Sampling},
	{"textureProj", 3, 91, Spirv::ImageOperandsBias, true, Sampling},
	{"textureProjLod", 3, 92, Spirv::ImageOperandsLod, true, Sampling},
	{"textureProjGrad", 4, 92, Spirv::ImageOperandsGrad, true, Sampling},
	{"textureGather", 2, 96, 0, false, Gather},
	{"textureGather", 3, 96, 0, false, Gather},
	{"textureOffset", 3, 87, Spirv::ImageOperandsOffset, false, Sampling},
	{"textureOffset", 4, 87, Spirv::ImageOperandsBias | Spirv::ImageOperandsOffset, false, Sampling},
	{"textureLodOffset", 4, 88, Spirv::ImageOperandsLod | Spirv::ImageOperandsOffset, false, Sampling},
	{"textureGradOffset", 5, 88, Spirv::ImageOperandsGrad | Spirv::ImageOperandsOffset, false, Sampling},
	{"textureProjOffset", 3, 91, Spirv::ImageOperandsOffset, true, Sampling},
	{"textureProjOffset", 4, 91, Spirv::ImageOperandsBias | Spirv::ImageOperandsOffset, true, Sampling},
	{"textureProjLodOffset", 4, 92, Spirv::ImageOperandsLod | Spirv::ImageOperandsOffset, true, Sampling},
	{"textureProjGradOffset", 5, 92, Spirv::ImageOperandsGrad | Spirv::ImageOperandsOffset, true, Sampling},
	{"textureGatherOffset", 3, 96, Spirv::ImageOperandsOffset, false, Gather},
	{"textureGatherOffset", 4, 96, Spirv::ImageOperandsOffset, false, Gather},
	{"textureGatherOffsets", 3, 96, Spirv::ImageOperandsOffsets, false, Gather},
	{"textureGatherOffsets", 4, 96, Spirv::ImageOperandsOffsets, false, Gather},
};

// the plain call a sparse one stands for: "sparseTextureLod" is
// "textureLod"; GLSL spells them with an "ARB" ending
String get_sparse_base(const String &name) {
	String base = name;
	if (base.size() > 3 && base.startsWith("ARB", 3, base.size() - 3)) base = base.substr(0, base.size() - 3);
	if (base == "sparseTextureGradProj") return String("textureProjGrad");
	if (base.startsWith("sparseTexture")) return String("texture") + base.substr(13);
	if (base.startsWith("sparseTexelFetch")) return String("texelFetch") + base.substr(16);
	return String();
}

bool is_integer(uint32_t flags) {
	uint32_t kind = flags & Compiler::TypeKindMask;
	return kind == Compiler::TypeInt || kind == Compiler::TypeUint;
}

} // namespace

// the texture and image built-ins; ~0u when name is none of them
uint32_t Compiler::parse_image_function(const Array<uint32_t> &arguments, const String &name, Function &function, Scope *scope,
	const Expressions::Operand *texel_out, const String *shown_name) {
	using Expressions::ExpressionParser;
	const char *none = "";
	ExpressionParser parser(*this, none, function, scope);
	uint32_t count = arguments.size();
	// the call as it was written (a sparse call is compiled by its plain name)
	const String &call = shown_name != nullptr ? *shown_name : name;
	auto unknown_arguments = [&]() { throwError("unknown arguments for %s\n", call.get()); };

	const bool query = name == "textureSize" || name == "imageSize" || name == "textureSamples";
	const bool image_access = name == "imageLoad" || name == "imageStore";
	const bool fetch = name == "texelFetch" || name == "texelFetchOffset";
	const SampleRow *row = nullptr;
	for (const SampleRow &candidate : sample_rows) {
		if (name == candidate.name && count == candidate.arguments) row = &candidate;
	}
	bool sample_name = false;
	for (const SampleRow &candidate : sample_rows) sample_name = sample_name || name == candidate.name;
	if (!query && !image_access && !fetch && !sample_name) return ~0u;
	if (texel_out != nullptr && (query || image_access)) return ~0u;
	if (count == 0) unknown_arguments();
	if (sample_name && row == nullptr) unknown_arguments();

	// the image: its flags tell the dimensions, the kind and the forms
	uint32_t image = arguments[0];
	uint32_t flags = get_target_flags(image);
	if (!(flags & TypeImageMask) || (flags & (TypeStructure | TypeRuntimeArray))) {
		throwError("unknown image type %s\n", get_target_type_name(image).get());
	}
	bool sampled = (flags & TypeSampled) != 0;
	bool arrayed = (flags & TypeImageArray) != 0;
	bool shadow = (flags & TypeImageShadow) != 0;
	bool multisampled = (flags & TypeImageMS) != 0;
	bool storage = !(flags & TypeTexture);
	uint32_t dimensions = (flags & TypeImage3D) || (flags & TypeImageCube) ? 3 : (flags & TypeImage2D) ? 2 : 1;
	uint32_t kind = flags & (TypeFloat | TypeInt | TypeUint);
	uint32_t width = (flags & Type64) ? Type64 : Type32;
	// the image of a sampled image, for the instructions that take an image
	auto plain_image = [&]() {
		if (!sampled) return image;
		// the sampled-image type keeps its image type as its element
		uint32_t type = get_target_type(get_target_type(image));
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpImage, {type, id, image});
		add_target(id, type);
		if (is_non_uniform(image)) set_non_uniform(id);
		return id;
	};
	// an argument as a vector (or scalar) of kind with components
	auto vector_of = [&](uint32_t id, uint32_t of_kind, uint32_t components) {
		uint32_t argument_flags = get_target_flags(id);
		// GLSL converts no doubles to floats implicitly
		if (!(argument_flags & (TypeFloat | TypeInt | TypeUint)) || (argument_flags & (TypeMatrixMask | TypeStructure | TypeRuntimeArray)) ||
			get_target_components(id) != components || ((argument_flags & TypeFloat) && (argument_flags & Type64))) {
			unknown_arguments();
		}
		uint32_t wanted = (argument_flags & ~(TypeKindMask | TypeWidthMask)) | of_kind | Type32;
		return parser.convert(id, wanted);
	};
	auto scalar_of = [&](uint32_t id, uint32_t of_kind) { return vector_of(id, of_kind, 1); };
	auto result = [&](uint32_t type) {
		uint32_t id = next_id++;
		add_target(id, type);
		return id;
	};
	// a sample, gather or fetch; the sparse form gives the residency code
	// and writes the texel through the l-value it was given
	auto emit = [&](uint32_t instruction, uint32_t type, uint32_t target, uint32_t coordinate, const Array<uint32_t> &extra) {
		if (texel_out == nullptr) {
			uint32_t id = result(type);
			add_function_opcode(function, instruction, {type, id, target, coordinate}, extra);
			return id;
		}
		if (texel_out->pointer == ~0u) throwError("can't write %s function result\n", call.get());
		if (texel_out->variable != ~0u) check_write(texel_out->variable);
		// an out argument: of the texel's own type
		if (get_target_type(texel_out->id) != type) unknown_arguments();
		capabilities.insert(Spirv::CapabilitySparseResidency);
		uint32_t code_type = add_type("i32");
		// one structure of the residency code and the texel for each texel type
		String key = String::format("sparse_%u", type);
		uint32_t structure = ~0u;
		if (const uint32_t *known = types.get(key)) {
			structure = *known;
		} else {
			structure = next_id++;
			add_module_opcode(Spirv::OpTypeStruct, {structure, code_type, type});
			types.insert(key, structure);
			set_target(structure, structure, TypeStructure | TypeComposite);
		}
		uint32_t sparse = next_id++;
		add_function_opcode(function, instruction + (Spirv::OpImageSparseSampleImplicitLod - 87), {structure, sparse, target, coordinate}, extra);
		uint32_t code = result(code_type);
		add_function_opcode(function, Spirv::OpCompositeExtract, {code_type, code, sparse, 0});
		uint32_t texel = result(type);
		add_function_opcode(function, Spirv::OpCompositeExtract, {type, texel, sparse, 1});
		parser.write(texel_out->pointer, texel_out->mask, parser.fit(texel, get_target_type(texel_out->id)));
		return code;
	};

	// size and sample queries
	if (query) {
		capabilities.insert(Spirv::CapabilityImageQuery);
		if (name == "textureSamples") {
			if (count != 1) unknown_arguments();
			if (!multisampled) throwError("is not a multisample texture\n");
			uint32_t type = add_type("i32");
			uint32_t target = plain_image();
			uint32_t id = result(type);
			add_function_opcode(function, Spirv::OpImageQuerySamples, {type, id, target});
			return id;
		}
		uint32_t components = ((flags & TypeImageCube) ? 2 : dimensions) + (arrayed ? 1 : 0);
		uint32_t type = add_type(components == 1 ? String("i32") : String::format("i32v%u", components));
		// a level only for sampled images with levels: not storage,
		// multisample or buffer images
		bool levels = !storage && !multisampled && !(flags & TypeImageBuffer);
		if (count != (levels ? 2u : 1u)) unknown_arguments();
		uint32_t target = plain_image();
		uint32_t id = ~0u;
		if (count == 2) {
			uint32_t level = scalar_of(arguments[1], TypeInt);
			id = result(type);
			add_function_opcode(function, Spirv::OpImageQuerySizeLod, {type, id, target, level});
		} else {
			id = result(type);
			add_function_opcode(function, Spirv::OpImageQuerySize, {type, id, target});
		}
		return id;
	}

	// storage images
	if (image_access) {
		if (!storage) unknown_arguments();
		// a cube's face and a cube array's layer-face are the third coordinate
		uint32_t coordinates = (flags & TypeImageCube) ? 3 : dimensions + (arrayed ? 1 : 0);
		if (count < 2) unknown_arguments();
		uint32_t coordinate = vector_of(arguments[1], TypeInt, coordinates);
		uint32_t texel_type = add_type(kind | width | TypeVector4);
		bool format = (flags & TypeImageFormat) != 0;
		if (name == "imageLoad") {
			// a multisampled image is read at a sample
			if (count != (multisampled ? 3u : 2u)) unknown_arguments();
			if (!format) capabilities.insert(Spirv::CapabilityStorageImageReadWithoutFormat);
			uint32_t id = result(texel_type);
			if (count == 3) add_function_opcode(function, Spirv::OpImageRead, {texel_type, id, image, coordinate, Spirv::ImageOperandsSample, scalar_of(arguments[2], TypeInt)});
			else add_function_opcode(function, Spirv::OpImageRead, {texel_type, id, image, coordinate});
			return id;
		}
		if (count != (multisampled ? 4u : 3u)) unknown_arguments();
		if (!format) capabilities.insert(Spirv::CapabilityStorageImageWriteWithoutFormat);
		uint32_t texel = arguments[count - 1];
		if (get_target_components(texel) != 4) unknown_arguments();
		texel = parser.convert(texel, kind | width | TypeVector4);
		if (count == 4) add_function_opcode(function, Spirv::OpImageWrite, {image, coordinate, texel, Spirv::ImageOperandsSample, scalar_of(arguments[2], TypeInt)});
		else add_function_opcode(function, Spirv::OpImageWrite, {image, coordinate, texel});
		return ~0u;
	}

	// offsets: constant ones as ConstOffset; a run-time offset only where
	// Vulkan takes one, in gathers
	auto offset_operand = [&](uint32_t id, bool gather, uint32_t &mask) {
		if (flags & TypeImageCube) unknown_arguments();
		uint32_t offset = vector_of(id, TypeInt, dimensions);
		if (const Value *value = constants.get(offset)) {
			// the offsets every device takes
			for (uint32_t i = 0; i < dimensions; i++) {
				int64_t component = value->get_i64(i);
				if (component < -8 || component > 7) throwError("offset of %s is out of range -8 to 7\n", call.get());
			}
			mask |= Spirv::ImageOperandsConstOffset;
		} else {
			if (!gather) throwError("offset of %s is not a constant\n", call.get());
			capabilities.insert(Spirv::CapabilityImageGatherExtended);
			mask |= Spirv::ImageOperandsOffset;
		}
		return offset;
	};

	// fetches of texels: integer coordinates, a level or a sample
	if (fetch) {
		// GLSL fetches no texels of depth-compare samplers; sparse buffers are none
		if (storage || shadow) unknown_arguments();
		if (texel_out != nullptr && (flags & TypeImageBuffer)) unknown_arguments();
		bool with_offset = name == "texelFetchOffset";
		uint32_t coordinates = dimensions + (arrayed ? 1 : 0);
		if (flags & TypeImageCube) unknown_arguments();
		if (count < 2) unknown_arguments();
		uint32_t coordinate = vector_of(arguments[1], TypeInt, coordinates);
		uint32_t mask = 0;
		Array<uint32_t> operands;
		if (multisampled) {
			if (count != 3 || with_offset) unknown_arguments();
			mask = Spirv::ImageOperandsSample;
			operands.append(scalar_of(arguments[2], TypeInt));
		} else if (flags & TypeImageBuffer) {
			if (count != 2 || with_offset) unknown_arguments();
		} else {
			// the level is no option: only buffers have none
			if (count != (with_offset ? 4u : 3u)) unknown_arguments();
			if (count >= 3) {
				mask |= Spirv::ImageOperandsLod;
				operands.append(scalar_of(arguments[2], TypeInt));
			}
			if (with_offset) operands.append(offset_operand(arguments[3], false, mask));
		}
		uint32_t target = plain_image();
		uint32_t type = add_type(kind | Type32 | TypeVector4);
		Array<uint32_t> extra;
		if (mask != 0) extra.append(mask);
		for (uint32_t i = 0; i < operands.size(); i++) extra.append(operands[i]);
		return emit(Spirv::OpImageFetch, type, target, coordinate, extra);
	}

	// sampling and gathers
	if (!sampled) unknown_arguments();
	if (multisampled || (flags & TypeImageBuffer)) unknown_arguments();
	bool gather = row->family == Gather;
	// gathers take the four texels of a 2D footprint: 2D images and cubes
	if (gather && (flags & TypeImage3D)) unknown_arguments();
	// sparse levels of layered and cube depth compares: no such GLSL calls
	if (texel_out != nullptr && shadow && (row->mask & Spirv::ImageOperandsLod) && (arrayed || (flags & TypeImageCube))) unknown_arguments();
	bool cube_array_shadow = shadow && (flags & TypeImageCube) && arrayed;
	uint32_t coordinates = dimensions + (arrayed ? 1 : 0);
	if (shadow && !cube_array_shadow && !gather) coordinates++;
	if (row->projective) {
		if (arrayed || (flags & TypeImageCube)) unknown_arguments();
		coordinates++;
	}
	uint32_t coordinate_components = get_target_components(arguments[1]);
	// textureProj of a 2D image takes a vec4 too: its w divides
	bool projective_four = row->projective && !shadow && dimensions == 2 && coordinate_components == 4;
	uint32_t coordinate = vector_of(arguments[1], TypeFloat, projective_four ? 4 : coordinates);
	if (projective_four) {
		Array<uint32_t> indices;
		indices.append(0);
		indices.append(1);
		indices.append(3);
		coordinate = add_shuffle(function, add_type("f32v3"), coordinate, indices);
	}
	uint32_t instruction = row->instruction;
	uint32_t mask = row->mask;
	uint32_t next = 2; // the next argument after the coordinate
	// the next argument; a call that has too few for its form is refused
	auto take = [&]() {
		if (next >= count) unknown_arguments();
		return arguments[next++];
	};
	uint32_t reference = ~0u;
	uint32_t component = ~0u;
	bool component_argument = false; // the gather's component is the last argument
	if (gather) {
		if (shadow) {
			// the depth reference stands after the coordinate
			if (count < 3) unknown_arguments();
			reference = scalar_of(take(), TypeFloat);
			instruction = Spirv::OpImageDrefGather;
		} else if ((count == 3 && !(mask & (Spirv::ImageOperandsOffset | Spirv::ImageOperandsOffsets))) || count == 4) {
			// the component is the last argument, after an offset
			component = scalar_of(arguments[count - 1], TypeInt);
			component_argument = true;
			const Value *value = constants.get(component);
			if (value == nullptr) throwError("component of %s is not a constant\n", call.get());
			if (value->get_u64(0) > 3) throwError("component %lld of %s is not 0 to 3\n", static_cast<long long>(value->get_i64(0)), call.get());
		} else {
			component = add_constant("i32", 0);
		}
	} else if (shadow) {
		if (cube_array_shadow) {
			// the depth reference is the argument after the coordinate; a
			// third argument is no bias then
			if (count < 3) unknown_arguments();
			reference = scalar_of(take(), TypeFloat);
			if (mask & Spirv::ImageOperandsBias) mask &= ~Spirv::ImageOperandsBias;
		} else if (row->projective) {
			// (u, v, reference, q): the reference apart, q after the coordinates
			Array<uint32_t> index;
			index.append(2);
			reference = add_shuffle(function, add_type("f32"), coordinate, index);
			Array<uint32_t> indices;
			indices.append(0);
			indices.append(1);
			indices.append(3);
			coordinate = add_shuffle(function, add_type("f32v3"), coordinate, indices);
		} else {
			Array<uint32_t> last;
			last.append(coordinates - 1);
			reference = add_shuffle(function, add_type("f32"), coordinate, last);
		}
		if (instruction == Spirv::OpImageSampleImplicitLod) instruction = Spirv::OpImageSampleDrefImplicitLod;
		else if (instruction == Spirv::OpImageSampleExplicitLod) instruction = Spirv::OpImageSampleDrefExplicitLod;
		else if (instruction == Spirv::OpImageSampleProjImplicitLod) instruction = Spirv::OpImageSampleProjDrefImplicitLod;
		else if (instruction == Spirv::OpImageSampleProjExplicitLod) instruction = Spirv::OpImageSampleProjDrefExplicitLod;
	}
	// implicit levels need derivatives: outside fragment shaders level 0
	bool implicit = instruction == Spirv::OpImageSampleImplicitLod || instruction == Spirv::OpImageSampleDrefImplicitLod || instruction == Spirv::OpImageSampleProjImplicitLod || instruction == Spirv::OpImageSampleProjDrefImplicitLod;
	if (implicit && execution_model != Spirv::ModelFragment) {
		if (mask & Spirv::ImageOperandsBias) throwError("%s with a bias is not valid in this stage\n", call.get());
		instruction += 1;
		mask |= Spirv::ImageOperandsLod;
	}
	// GLSL puts a bias last, after an offset; the operands go in the order of their bits
	Array<uint32_t> operands;
	if (mask & Spirv::ImageOperandsBias) operands.append(scalar_of(arguments[count - 1], TypeFloat));
	if ((mask & Spirv::ImageOperandsLod) && implicit && execution_model != Spirv::ModelFragment) {
		operands.append(add_constant("f32", 0));
	} else if (mask & Spirv::ImageOperandsLod) {
		operands.append(scalar_of(take(), TypeFloat));
	}
	if (mask & Spirv::ImageOperandsGrad) {
		uint32_t size = dimensions;
		operands.append(vector_of(take(), TypeFloat, size));
		operands.append(vector_of(take(), TypeFloat, size));
	}
	if (mask & Spirv::ImageOperandsOffset) {
		mask &= ~Spirv::ImageOperandsOffset;
		operands.append(offset_operand(take(), gather, mask));
	}
	if (mask & Spirv::ImageOperandsOffsets) {
		// four offsets, constant: Vulkan takes no others
		mask &= ~Spirv::ImageOperandsOffsets;
		uint32_t offsets = take();
		if (get_target_type_name(offsets) != "i32v2[]" || !(flags & TypeImage2D) || (flags & TypeImageCube)) unknown_arguments();
		const Value *value = constants.get(offsets);
		if (value == nullptr) throwError("offsets of %s are not a constant\n", call.get());
		if (value->count != 8) unknown_arguments();
		capabilities.insert(Spirv::CapabilityImageGatherExtended);
		mask |= Spirv::ImageOperandsConstOffsets;
		operands.append(offsets);
	}
	if (component_argument || (mask & Spirv::ImageOperandsBias)) next++;
	if (next != count) unknown_arguments();

	uint32_t type = shadow && !gather ? add_type("f32") : add_type(kind | Type32 | TypeVector4);
	Array<uint32_t> extra;
	if (reference != ~0u) extra.append(reference);
	if (component != ~0u) extra.append(component);
	if (mask != 0) extra.append(mask);
	for (uint32_t i = 0; i < operands.size(); i++) extra.append(operands[i]);
	return emit(instruction, type, image, coordinate, extra);
}

uint32_t Compiler::parse_internal_function(const char *text, const String &name, Function &function, Scope *scope) {
	DepthGuard guard(*this);
	Array<Expressions::Operand> operands = Expressions::parse_arguments(*this, text, function, scope);
	Array<uint32_t> arguments;
	const char *none = "";
	Expressions::ExpressionParser parser(*this, none, function, scope);
	for (uint32_t i = 0; i < operands.size(); i++) arguments.append(operands[i].id != ~0u ? operands[i].id : parser.resolve(operands[i], String()));

	// nonuniformEXT: an index that differs between invocations
	if (name == "nonuniformEXT") {
		if (arguments.size() != 1 || !is_integer(get_target_flags(arguments[0])) || !(get_target_flags(arguments[0]) & TypeScalar)) {
			throwError("unknown arguments for %s\n", name.get());
		}
		uint32_t type = add_type("i32");
		uint32_t value = arguments[0];
		// an index of another width is converted to 32 bits first
		if (!(get_target_flags(value) & Type32)) {
			const char *none_text = "";
			Expressions::ExpressionParser converter(*this, none_text, function, scope);
			value = converter.convert(value, (get_target_flags(value) & ~uint32_t(TypeWidthMask)) | Type32);
		}
		uint32_t id = next_id++;
		add_function_opcode(function, get_target_type(value) == type ? Spirv::OpCopyObject : Spirv::OpBitcast, {type, id, value});
		add_target(id, type);
		set_non_uniform(id);
		return id;
	}
	// sparse residency: the texel goes into the last argument
	if (name == "sparseTexelsResident" || name == "sparseTexelsResidentARB") {
		if (arguments.size() != 1 || get_target_type(arguments[0]) != add_type("i32")) throwError("unknown arguments for %s\n", name.get());
		capabilities.insert(Spirv::CapabilitySparseResidency);
		uint32_t type = add_type("b32");
		uint32_t id = next_id++;
		add_function_opcode(function, Spirv::OpImageSparseTexelsResident, {type, id, arguments[0]});
		add_target(id, type);
		return id;
	}
	String sparse = get_sparse_base(name);
	if (!sparse.empty()) {
		if (arguments.size() < 2) throwError("unknown arguments for %s\n", name.get());
		// the texel is the last argument but for a gather's component and a
		// bias, which follow it
		uint32_t last = operands.size() - 1;
		if (sparse.startsWith("textureGather") && get_target_components(arguments[last]) == 1 && get_target_components(arguments[last - 1]) == 4) {
			last--;
		} else if (sparse == "texture" || sparse == "textureOffset") {
			uint32_t flags = get_target_flags(arguments[0]);
			bool cube_array_shadow = (flags & TypeImageCube) && (flags & TypeImageArray) && (flags & TypeImageShadow);
			uint32_t plain = sparse == "texture" ? 3 : 4;
			if (!cube_array_shadow && arguments.size() == plain + 1) last--;
		}
		Expressions::Operand texel = operands[last];
		arguments.remove(last);
		uint32_t id = parse_image_function(arguments, sparse, function, scope, &texel, &name);
		if (id != ~0u) return id;
		throwError("unknown arguments for %s\n", name.get());
	}
	// images the shader may only read, or only write
	if ((name == "imageLoad" || name == "imageStore") && operands.size() > 0 && operands[0].variable != ~0u) {
		const Variable &image = variables[operands[0].variable];
		if (name == "imageStore" && image.decorations.get(Spirv::DecorationNonWritable) != nullptr) throwError("can't write to readonly image \"%s\"\n", image.name.get());
		if (name == "imageLoad" && image.decorations.get(Spirv::DecorationNonReadable) != nullptr) throwError("can't read from writeonly image \"%s\"\n", image.name.get());
	}
	uint32_t id = parse_image_function(arguments, name, function, scope);
	if (id != ~0u || name == "imageStore") return id;
	bool matched = false;
	id = parse_atomic_function(operands, arguments, name, function, scope, matched);
	if (matched) return id;
	id = parse_remaining_function(operands, arguments, name, function, scope, matched);
	if (matched) return id;
	throwError("unknown internal function %s with %u arguments\n", name.get(), arguments.size());
}

} // namespace Vexa
