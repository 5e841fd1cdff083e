#version 150
// Brush dabs: xy is the corner in [0, 1] image space, zw the dab centre; both pass on.
in vec4 vPosition;
out vec4 vUV;

void main()
{
    gl_Position = vec4(vPosition.xy * 2.0 - 1.0, 0.0, 1.0);
    vUV = vPosition;
}
