#version 450
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer B { int d[4]; int r[]; } b;
// a parameter needs the size of its array
int f(int a[]) { return a[0]; }
void main() {
	b.d[0] = f(b.r);
}
