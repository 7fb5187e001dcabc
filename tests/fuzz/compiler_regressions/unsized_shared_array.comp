// a shared array needs a size: accepted as a runtime array variable in the
// Workgroup storage class
#version 450
layout(local_size_x = 1) in;
shared float cache[];
void main() { }
