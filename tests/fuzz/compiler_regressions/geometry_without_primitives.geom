// a geometry shader without its input and output primitive layouts: accepted,
// and the entry point has neither execution mode
#version 450
void main() { }
