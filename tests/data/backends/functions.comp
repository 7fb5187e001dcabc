// Functions: out and inout parameters, structure returns, array parameters, overloads and nested calls.
#version 450

layout(local_size_x = 16) in;

struct Hit {
	float distance;
	vec3 normal;
	bool found;
};

layout(set = 0, binding = 0, std430) buffer Data {
	vec4 spheres[8];
	vec4 results[];
} data;

Hit intersect(vec3 origin, vec3 direction, vec4 sphere) {
	Hit hit = Hit(0.0, vec3(0.0), false);
	vec3 oc = origin - sphere.xyz;
	float b = dot(oc, direction);
	float c = dot(oc, oc) - sphere.w * sphere.w;
	float h = b * b - c;
	if (h < 0.0) return hit;
	hit.distance = -b - sqrt(h);
	hit.normal = normalize(oc + direction * hit.distance);
	hit.found = true;
	return hit;
}

void split(float value, out float whole, out float part) {
	whole = floor(value);
	part = value - whole;
}

void accumulate(inout vec4 total, Hit hit) { if (hit.found) total += vec4(hit.normal, hit.distance); }
void accumulate(inout vec4 total, float value) { total.w += value; }

float sum(float values[4]) { return values[0] + values[1] + values[2] + values[3]; }

void main() {
	uint i = gl_GlobalInvocationID.x;
	vec3 direction = normalize(vec3(float(i) * 0.1, 0.0, 1.0));
	vec4 total = vec4(0.0);
	for (int s = 0; s < 8; s++) accumulate(total, intersect(vec3(0.0), direction, data.spheres[s]));
	float whole, part;
	split(total.w, whole, part);
	accumulate(total, sum(float[4](whole, part, 1.0, 2.0)));
	data.results[i] = total;
}
