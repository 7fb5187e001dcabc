// Matrices: row- and column-major layouts in std140 and std430 blocks, non-square types, products and transposes.
#version 450

layout(local_size_x = 1) in;

layout(set = 0, binding = 0, std140) uniform Transforms {
	layout(row_major) mat4 model;
	layout(column_major) mat4 view;
	layout(row_major) mat3x2 shear;   // 3 columns of vec2
	mat3 normal;                      // columns padded to 16 bytes in std140
	layout(row_major) mat2 flips[2];
} transforms;

layout(set = 0, binding = 1, std430) buffer Outputs {
	layout(row_major) mat2x3 wide;
	mat3 normal;                      // std430 keeps vec3 columns at 16 bytes too
	mat2 square;                      // vec2 columns pack to 8 bytes in std430
	vec4 points[4];
} outputs;

void main() {
	vec4 p = transforms.view * transforms.model * vec4(1.0, 2.0, 3.0, 1.0);
	vec2 s = transforms.shear * p.xyz;
	outputs.wide = transpose(transforms.shear) * transforms.flips[1];
	outputs.normal = transpose(inverse(transforms.normal)) * (transforms.normal * 2.0);
	outputs.square = outerProduct(s, s) * transforms.flips[0];
	outputs.points[0] = p;
	outputs.points[1] = vec4(transforms.model[2]);
	outputs.points[2] = vec4(transforms.normal[1], determinant(transforms.normal));
	outputs.points[3] = vec4(p * transforms.model);
}
