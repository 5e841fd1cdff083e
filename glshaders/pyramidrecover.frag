#version 330 core
// Inverse of pyramidlaplacian.frag: band-pass level plus the expanded coarser level.
uniform sampler2D inLaplacian;
uniform sampler2D inImageDs2;
in vec4 vtUV;
out vec4 rgbaOut;

void main()
{
    rgbaOut = texture(inLaplacian, vtUV.xy) + texture(inImageDs2, vtUV.zw) - 0.5;
}
