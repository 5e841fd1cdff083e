#version 330 core
// Full-screen pass: the shared quad spans clip space; vUV addresses the input textures.
layout(location = 0) in vec3 vPosition;
out vec2 vUV;

void main()
{
    gl_Position = vec4(vPosition, 1.0);
    vUV = vPosition.xy * 0.5 + 0.5;
}
