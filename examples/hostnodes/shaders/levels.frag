#version 330 core
// Exposure as a gain of 2^exposure, then levels: black and white points stretched to 0 and 1,
// then a gamma on the result. Alpha kept.
uniform sampler2D inputTexture0;
uniform float gain;
uniform float black;
uniform float white;
uniform float gamma;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vec3 v = clamp((c.rgb * gain - black) / max(white - black, 1e-4), 0.0, 1.0);
    vColor = vec4(pow(v, vec3(1.0 / max(gamma, 1e-3))), c.a);
}
