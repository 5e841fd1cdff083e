#version 330 core
// Copies colour of the placed image; alpha is forced to 1.
uniform sampler2D inputTexture0;
in vec4 vtUV;
out vec4 vColor;

void main()
{
    vColor = vec4(texture(inputTexture0, vtUV.xy).rgb, 1.0);
}
