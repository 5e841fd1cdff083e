#version 330 core
// Blends the placed foreground (inputTexture0 at vtUV.xy) onto the background
// (inputTexture1 at vtUV.zw) by one of 28 blend formulas at a strength.
// maskblending.frag carries the same formulas: keep the two in step.
uniform sampler2D inputTexture0;
uniform sampler2D inputTexture1;
uniform int mode;
uniform float strength;
in vec4 vtUV;
out vec4 color;

// The separable formulas work on all three channels at once; bvec selects (mix with a
// bool vector) pick a branch per channel without dividing by zero in the one not taken.
vec3 colorBurn(vec3 b, vec3 f)
{
    // A white base stays white even under a black blend colour (no 0/0 at f = 0).
    vec3 r = mix(max(1.0 - (1.0 - b) / f, 0.0), vec3(0.0), equal(f, vec3(0.0)));
    return mix(r, vec3(1.0), greaterThanEqual(b, vec3(1.0)));
}

vec3 colorDodge(vec3 b, vec3 f)
{
    // A black base stays black even under a white blend colour.
    vec3 r = mix(min(b / (1.0 - f), 1.0), vec3(1.0), equal(f, vec3(1.0)));
    return mix(r, vec3(0.0), lessThanEqual(b, vec3(0.0)));
}

vec3 vividLight(vec3 b, vec3 f)
{
    return mix(colorDodge(b, 2.0 * (f - 0.5)), colorBurn(b, 2.0 * f), lessThan(f, vec3(0.5)));
}

vec3 separable(int m, vec3 b, vec3 f)
{
    bvec3 darkF = lessThan(f, vec3(0.5));
    switch (m) {
    case 2: return min(f, b);
    case 3: return b * f;
    case 4: return colorBurn(b, f);
    case 5: return max(b + f - 1.0, 0.0);
    case 7: return max(f, b);
    case 8: return 1.0 - (1.0 - b) * (1.0 - f);
    case 9: return colorDodge(b, f);
    case 10: return min(b + f, 1.0);
    case 12: return mix(1.0 - 2.0 * (1.0 - b) * (1.0 - f), 2.0 * b * f, lessThan(b, vec3(0.5)));
    case 13: return mix(sqrt(b) * (2.0 * f - 1.0) + 2.0 * b * (1.0 - f), 2.0 * b * f + b * b * (1.0 - 2.0 * f), darkF);
    case 14: return mix(1.0 - 2.0 * (1.0 - f) * (1.0 - b), 2.0 * f * b, darkF);
    case 15: return vividLight(b, f);
    case 16: return mix(min(b + 2.0 * (f - 0.5), 1.0), max(b + 2.0 * f - 1.0, 0.0), darkF);
    case 17: return mix(max(b, 2.0 * (f - 0.5)), min(b, 2.0 * f), darkF);
    case 18: return step(0.5, vividLight(b, f));
    case 19: return abs(b - f);
    case 20: return b + f - 2.0 * b * f;
    case 25: return b - f;
    case 26: return mix(vec3(0.0), clamp(b / (f + 1e-6), 0.0, 1.0), greaterThanEqual(b, vec3(1e-6)));
    case 27: return b * (1.0 - f);
    }
    return f;
}

// Hue / chroma / luma model of the whole-colour modes.
float luma(vec3 c)
{
    return dot(c, vec3(0.30, 0.59, 0.11));
}

float chroma(vec3 c)
{
    return max(c.r, max(c.g, c.b)) - min(c.r, min(c.g, c.b)) + 1e-6;
}

// In sixths of the hue circle; ties go to red, then green.
float hue(vec3 c)
{
    float d = chroma(c);
    if (c.r >= c.g && c.r >= c.b)
        return (c.g - c.b) / d;
    if (c.g >= c.b)
        return (c.b - c.r) / d + 2.0;
    return (c.r - c.g) / d + 4.0;
}

vec3 rebuild(float h, float d, float y)
{
    h = mod(h, 6.0);
    // mod may round up to exactly 6: that is the start of the circle again.
    int sixth = min(int(floor(h)), 5);
    float x = d * (1.0 - abs(mod(h, 2.0) - 1.0));
    vec3 p;
    if (sixth == 0) p = vec3(d, x, 0.0);
    else if (sixth == 1) p = vec3(x, d, 0.0);
    else if (sixth == 2) p = vec3(0.0, d, x);
    else if (sixth == 3) p = vec3(0.0, x, d);
    else if (sixth == 4) p = vec3(x, 0.0, d);
    else p = vec3(d, 0.0, x);
    vec3 c = p + (y - luma(p));
    // Out of range: pull every channel towards the luma, as far as the worst one needs.
    float t = 0.0;
    for (int i = 0; i < 3; ++i) {
        float toY = y - c[i];
        if (toY == 0.0)
            continue;
        if (c[i] < 0.0)
            t = max(t, -c[i] / toY);
        else if (c[i] > 1.0)
            t = max(t, (1.0 - c[i]) / toY);
    }
    return c + t * (y - c);
}

vec3 blendColor(int m, vec3 B, vec3 F)
{
    if (m == 6)
        return luma(B) >= luma(F) ? F : B;
    if (m == 11)
        return luma(F) >= luma(B) ? F : B;
    if (m >= 21 && m <= 24) {
        // HUE, SATURATION, COLOR, LUMINOSITY: hue, chroma and luma each from F or B.
        float h = (m == 21 || m == 23) ? hue(F) : hue(B);
        float d = (m == 22 || m == 23) ? chroma(F) : chroma(B);
        float y = m == 24 ? luma(F) : luma(B);
        return rebuild(h, d, y);
    }
    return separable(m, B, F);
}

void main()
{
    vec4 fa = texture(inputTexture0, vtUV.xy);
    // The background is the target's own pixel (vtUV.zw addresses the same fragment), read
    // exactly rather than filtered.
    vec4 ba = texelFetch(inputTexture1, ivec2(gl_FragCoord.xy), 0);
    float k = strength;
    if (mode == 1) {
        float r = fract(sin(dot(vtUV.xy, vec2(12.9898, 78.233))) * 43758.5453);
        // A layer pixel shows with the probability of its alpha times the strength: a
        // transparent one never shows the colour stored under it.
        float beta = r < k * fa.a ? 1.0 : 0.0;
        color = vec4(mix(ba.rgb, fa.rgb, beta), beta + (1.0 - beta) * ba.a);
        return;
    }
    vec3 F = clamp(fa.rgb, 0.0, 1.0);
    vec3 B = clamp(ba.rgb, 0.0, 1.0);
    float af = fa.a;
    float ab = ba.a;
    float A = af * (1.0 - ab) + ab;
    // The formulas see clamped colours; what passes through unblended is the background as
    // it is, so values above 1 show no seam at the quad's edge.
    vec3 X = blendColor(mode, B, F);
    vec3 premultiplied = X * af * ab + F * af * (1.0 - ab) + ba.rgb * ab * (1.0 - af);
    vec3 straight = A > 0.0 ? premultiplied / A : premultiplied;
    color = vec4(straight * k + ba.rgb * (1.0 - k), A);
}
