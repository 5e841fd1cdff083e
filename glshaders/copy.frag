#version 330 core
// Copies colour; alpha is forced to 1.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = vec4(texture(inputTexture0, vUV).rgb, 1.0);
}
