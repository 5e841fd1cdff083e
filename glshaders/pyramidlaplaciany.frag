#version 330 core
// Band-pass level of the luma only (BT.709 weights), offset by 0.5.
uniform sampler2D inImage;
uniform sampler2D inImageDs2;
in vec4 vtUV;
out float yOut;

void main()
{
    vec3 d = texture(inImage, vtUV.xy).rgb - texture(inImageDs2, vtUV.zw).rgb;
    yOut = dot(vec3(0.2126, 0.7152, 0.0722), d) + 0.5;
}
