#version 330 core
// Places the quad by a 3x3 transform: vtUV.xy addresses the drawn image, vtUV.zw the
// target at the same fragment.
layout(location = 0) in vec3 vPosition;
uniform mat3 vTransform;
out vec4 vtUV;

void main()
{
    vec3 transP = vTransform * vec3(vPosition.xy, 1.0);
    gl_Position = vec4(transP.xy, 0.0, 1.0);
    vtUV = vec4(vPosition.xy, transP.xy) * 0.5 + 0.5;
}
