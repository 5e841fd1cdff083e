#version 330 core
// sRGB-encoded colour to linear light (piecewise curve); alpha passes through.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vec3 toe = c.rgb * 0.0773993808;
    vec3 curve = pow(max(c.rgb * 0.94786729857 + 0.05213270142, 0.0), vec3(2.4));
    vColor = vec4(mix(curve, toe, lessThanEqual(c.rgb, vec3(0.04045))), c.a);
}
