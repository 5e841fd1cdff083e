#version 330 core
// One axis of a box blur of half-width `radius` texels (steps of `offset`), with fractional
// end weights. Each bilinear sample reads two neighbouring texels at once, placed at their
// weighted midpoint, so a box of k texels per side costs k + 1 to k + 3 samples. No sample
// sits in a branch: a software rasteriser pays for the samples of both sides of an `if`.
uniform sampler2D inputTexture0;
uniform float radius;
uniform vec2 offset;
in vec2 vUV;
out vec4 vColor;

void main()
{
    int k = int(radius);
    float endW = 0.5 * (radius - floor(radius));
    // Texels 1 ... k from the centre weigh 0.5 each, texel k + 1 endW; they are read in pairs
    // (2i - 1, 2i), the last pair possibly holding one texel alone.
    int pairs = (k + 1 + int(endW > 0.0)) / 2;
    vec4 sum = 0.5 * texture(inputTexture0, vUV);
    for (int i = 1; i <= pairs; ++i) {
        int j = 2 * i - 1;
        float a = j <= k ? 0.5 : endW;
        float b = j + 1 <= k ? 0.5 : (j + 1 == k + 1 ? endW : 0.0);
        vec2 d = (float(j) + b / (a + b)) * offset;
        sum += (a + b) * (texture(inputTexture0, vUV + d) + texture(inputTexture0, vUV - d));
    }
    vColor = sum / (0.5 + float(k) + 2.0 * endW);
}
