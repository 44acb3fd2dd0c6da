#version 330
// A fragment stage that does not compile, for a test build of the Windows executable: the compiler's log
// must become the window title for the whole run while the soundtrack plays.
out vec4 O;
void main() {
    O = vec4(undeclaredColour, 1.);
}
