// main must return void: accepted, and the entry point returns a vec2
#version 450
vec2 main() { }
