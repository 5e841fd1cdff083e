#version 330 core
// The placed image with its alpha scaled by opacity.
uniform sampler2D inputTexture0;
uniform float opacity;
in vec4 vtUV;
out vec4 vColor;

void main()
{
    vColor = texture(inputTexture0, vtUV.xy) * vec4(1.0, 1.0, 1.0, opacity);
}
