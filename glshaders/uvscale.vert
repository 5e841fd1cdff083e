#version 330 core
// vtUV.xy addresses the image of the output's resolution, vtUV.zw the image of another
// resolution, scaled by vUVScale.
layout(location = 0) in vec3 vPosition;
uniform vec2 vUVScale;
out vec4 vtUV;

void main()
{
    gl_Position = vec4(vPosition, 1.0);
    vec2 uv = vPosition.xy * 0.5 + 0.5;
    vtUV = vec4(uv, vUVScale * uv);
}
