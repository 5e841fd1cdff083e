#version 330 core
// Colour conversion through a 3D LUT of lutSize^3 cells. Values above 1 are first
// compressed into range (keeping the smallest channel), then each colour is looked up at
// the centre-aligned position of its cell; alpha 1.
uniform sampler2D inputTexture0;
uniform sampler3D lut;
uniform int lutSize;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec3 rgb = texture(inputTexture0, vUV).rgb;
    float maxV = max(1.000001, max(rgb.r, max(rgb.g, rgb.b)));
    float minV = clamp(min(rgb.r, min(rgb.g, rgb.b)), 0.0, 1.0);
    float gain = (1.0 - minV) / (maxV - minV);
    rgb = (rgb - minV) * gain + minV;
    float n = float(lutSize);
    vec3 index = rgb * (n - 1.0) / n + 1.0 / (2.0 * n);
    vColor = vec4(texture(lut, index).rgb, 1.0);
}
