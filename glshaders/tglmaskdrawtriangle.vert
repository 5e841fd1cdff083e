#version 330 core
// Brush dabs: vPosition.xy is a corner in [0, 1] mask space and .zw the dab's centre; vDab is
// the dab's radius in pixels, hardness, strength and flow (negative for a colour-aware dab).
in vec4 vPosition;
in vec4 vDab;
out vec4 vUV;
flat out vec4 fDab;

void main()
{
    gl_Position = vec4(vPosition.xy * 2.0 - 1.0, 0.0, 1.0);
    vUV = vPosition;
    fDab = vDab;
}
