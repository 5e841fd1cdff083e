#version 330 core
// Keeps the red channel only (for one-channel targets).
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = vec4(texture(inputTexture0, vUV).r, 0.0, 0.0, 1.0);
}
