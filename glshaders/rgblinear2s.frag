#version 330 core
// Linear light to sRGB encoding (piecewise curve); alpha passes through.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vec3 toe = c.rgb * 12.92;
    vec3 curve = 1.055 * pow(max(c.rgb, 0.0), vec3(0.41666666666)) - 0.055;
    vColor = vec4(mix(curve, toe, lessThanEqual(c.rgb, vec3(0.0031308))), c.a);
}
