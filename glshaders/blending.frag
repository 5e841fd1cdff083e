#version 330 core
// Colour with a constant alpha, for source-over drawing.
uniform sampler2D inputTexture0;
uniform float opacity;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = vec4(texture(inputTexture0, vUV).rgb, opacity);
}
