#version 330
// Scene program, fragment stage. The scene itself is still to come: for now a plain colour.

uniform vec2 iResolution;
uniform float iTime, iBeat, iBeatHalf, iZoom;
uniform vec2 iCam;
uniform vec3 iCamPos;
uniform float iDepth, iFScale;
uniform sampler2D uText;

out vec4 O;

float gTrap;
int gMat;
int gLine;
vec3 gRo;

void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    O = vec4(uv * .5 + fract(iTime) * .1, iBeat + iBeatHalf + texture(uText, uv).r, 1.);
}
