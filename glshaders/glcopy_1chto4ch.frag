#version 330 core
// One channel spread to opaque grey.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    float r = texture(inputTexture0, vUV).r;
    vColor = vec4(r, r, r, 1.0);
}
