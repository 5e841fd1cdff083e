#version 330 core
// Limits every channel to [0, 1].
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = clamp(texture(inputTexture0, vUV), 0.0, 1.0);
}
