#version 330
// One triangle over the whole viewport, its corners derived from the vertex index alone:
// 0 -> (-1,-1), 1 -> (3,-1), 2 -> (-1,3).
void main() {
    vec2 p = vec2(ivec2(gl_VertexID << 1 & 2, gl_VertexID & 2));
    gl_Position = vec4(2. * p.x - 1., 2. * p.y - 1., 0., 1.);
}
