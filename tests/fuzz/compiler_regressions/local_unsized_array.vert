// a local array needs a size: accepted as a runtime array in the Function
// storage class
#version 450
void main() { int values[]; }
