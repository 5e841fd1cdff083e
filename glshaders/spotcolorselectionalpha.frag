#version 330 core
// Colour selection as a mask: the weight of inputTexture0 by hue, into the red channel.
uniform sampler2D inputTexture0;
uniform float selHue;
uniform float selRange;
uniform bool selInvert;
in vec2 vUV;
out vec4 vColor;

// Hue on a 0..1 scale where red is 1/6 (the hue angle plus 60 degrees, over 360).
// Ties go to red, then green.
float hueOf(vec3 c)
{
    float cmax = max(c.r, max(c.g, c.b));
    float d = cmax - min(c.r, min(c.g, c.b)) + 0.000001;
    float raw;
    if (c.r >= max(c.g, c.b))
        raw = (c.g - c.b) / d;
    else if (c.g >= c.b)
        raw = (c.b - c.r) / d + 2.0;
    else
        raw = (c.r - c.g) / d + 4.0;
    return (raw + 1.0) / 6.0;
}

// A grey pixel has no hue to speak of: it is as far from any selected hue as can be.
float hueDistance(vec3 c, float selected)
{
    float chroma = max(c.r, max(c.g, c.b)) - min(c.r, min(c.g, c.b));
    return chroma < 0.02 ? 1.0 : abs(hueOf(c) - selected);
}

// smoothstep, and a hard step where its edges meet (where smoothstep is undefined).
float ramp(float e0, float e1, float x)
{
    return e1 > e0 ? smoothstep(e0, e1, x) : 1.0 - step(x, e0);
}

void main()
{
    float w = ramp(0.0, selRange, hueDistance(texture(inputTexture0, vUV).rgb, selHue));
    if (selInvert)
        w = 1.0 - w;
    vColor = vec4(w, 0.0, 0.0, 1.0);
}
