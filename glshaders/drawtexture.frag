#version 330 core
// Draws an sRGB-encoded texture as linear light, its alpha scaled by opacity.
uniform sampler2D inputTexture0;
uniform float opacity;
in vec4 vtUV;
out vec4 vColor;

vec3 sRGBToLinear(vec3 c)
{
    // The piecewise curve: the linear toe below 0.04045 keeps black at 0.
    vec3 toe = c * 0.0773993808;
    vec3 curve = pow(max(c * 0.94786729857 + 0.05213270142, 0.0), vec3(2.4));
    return mix(curve, toe, lessThanEqual(c, vec3(0.04045)));
}

void main()
{
    vec4 c = texture(inputTexture0, vtUV.xy);
    vColor = vec4(sRGBToLinear(c.rgb), c.a * opacity);
}
