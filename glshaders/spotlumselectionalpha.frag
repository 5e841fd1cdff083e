#version 330 core
// Luminance selection as a mask: the weight of inputTexture0, into the red channel.
uniform sampler2D inputTexture0;
uniform float selLum;
uniform float selRange;
uniform bool selInvert;
in vec2 vUV;
out vec4 vColor;

float lightness(vec3 c)
{
    return dot(c, vec3(0.30, 0.59, 0.11));
}

// smoothstep, and a hard step where its edges meet (where smoothstep is undefined).
float ramp(float e0, float e1, float x)
{
    return e1 > e0 ? smoothstep(e0, e1, x) : 1.0 - step(x, e0);
}

void main()
{
    float w = ramp(0.0, selRange, abs(lightness(texture(inputTexture0, vUV).rgb) - selLum));
    if (selInvert)
        w = 1.0 - w;
    vColor = vec4(w, 0.0, 0.0, 1.0);
}
