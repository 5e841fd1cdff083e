#version 330 core
// One axis of a box blur of half-width `radius` texels (steps of `offset`), with fractional
// end weights. Samples between texel pairs read two texels at once.
uniform sampler2D inputTexture0;
uniform float radius;
uniform vec2 offset;
in vec2 vUV;
out vec4 vColor;

vec4 pair(float j)
{
    return texture(inputTexture0, vUV + j * offset) + texture(inputTexture0, vUV - j * offset);
}

void main()
{
    int k = int(radius);
    int pairs = k / 2;
    int odd = k - 2 * pairs;
    float endW = 0.5 * (radius - floor(radius));
    // Every texel within k of the centre weighs 0.5: the centre on its own, the others two at
    // a time through a sample half way between them.
    vec4 sum = 0.5 * texture(inputTexture0, vUV);
    for (int i = 1; i <= pairs; ++i)
        sum += pair(2.0 * float(i) - 0.5);
    float j = float(2 * pairs + 1);
    if (odd == 1) {
        sum += 0.5 * pair(j);
        j += 1.0;
    }
    sum += endW * pair(j);
    vColor = sum / (0.5 + 2.0 * endW + float(odd) + 2.0 * float(pairs));
}
