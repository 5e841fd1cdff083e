#version 330 core
// Reduction by area: each output pixel is the mean of the source pixels it covers, each
// weighted by the part it covers, so fine detail becomes its mean grey instead of being
// sampled into moire. Colours are averaged premultiplied: transparent pixels add no colour.
uniform sampler2D inputTexture0;
uniform vec2 outSize;
// The part of the source reduced, in source pixels.
uniform vec2 srcOrigin;
uniform vec2 srcExtent;
out vec4 vColor;

void main()
{
    ivec2 srcSize = textureSize(inputTexture0, 0);
    vec2 ratio = srcExtent / outSize;
    vec2 lo = srcOrigin + floor(gl_FragCoord.xy) * ratio;
    vec2 hi = lo + ratio;
    ivec2 first = max(ivec2(floor(lo)), ivec2(0));
    ivec2 last = min(ivec2(ceil(hi)) - 1, srcSize - 1);
    vec4 sum = vec4(0.0);
    for (int y = first.y; y <= last.y; ++y) {
        float wy = min(hi.y, float(y + 1)) - max(lo.y, float(y));
        for (int x = first.x; x <= last.x; ++x) {
            float wx = min(hi.x, float(x + 1)) - max(lo.x, float(x));
            vec4 c = texelFetch(inputTexture0, ivec2(x, y), 0);
            sum += vec4(c.rgb * c.a, c.a) * (wx * wy);
        }
    }
    sum /= ratio.x * ratio.y;
    vColor = vec4(sum.a > 0.0 ? sum.rgb / sum.a : vec3(0.0), sum.a);
}
