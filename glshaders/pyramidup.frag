#version 330 core
// Pyramid expansion: a bilinear sample of the coarser level.
uniform sampler2D inImage;
in vec4 vtUV;
out vec4 rgbaOut;

void main()
{
    rgbaOut = texture(inImage, vtUV.zw);
}
