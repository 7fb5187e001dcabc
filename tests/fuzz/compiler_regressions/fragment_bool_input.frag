// inputs and outputs can't be bool: accepted as a bool Input variable
#version 450
layout(location = 0) in bool selected;
void main() { }
