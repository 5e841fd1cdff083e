#version 330 core
// Band-pass level: the image minus its expanded reduction, offset by 0.5 so that a
// normalised format keeps differences down to -0.5.
uniform sampler2D inImage;
uniform sampler2D inImageDs2;
in vec4 vtUV;
out vec4 rgbaOut;

void main()
{
    rgbaOut = texture(inImage, vtUV.xy) - texture(inImageDs2, vtUV.zw) + 0.5;
}
