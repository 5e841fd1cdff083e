#version 330 core
// One soft dab: a smoothstep fall-off from the centre whose width the hardness sets, scaled by
// flow; a colour-aware dab also fades where the colour source differs from its colour at the
// centre, so it stops at colour edges. The output is pre-multiplied: drawn with
// (ONE, ONE_MINUS_SRC_ALPHA) it moves the mask towards the strength by alpha.
uniform sampler2D src2;
uniform vec2 sceneSize;
in vec4 vUV;
flat in vec4 fDab;
out vec4 vColor;

void main()
{
    float radius = fDab.x;
    float dist = length((vUV.xy - vUV.zw) * sceneSize);
    if (dist > radius)
        discard;
    float alpha = smoothstep(0.0, 1.0 - 0.9 * fDab.y, 1.0 - dist / radius);
    if (fDab.w < 0.0) {
        vec3 d = texture(src2, vUV.xy).rgb - texture(src2, vUV.zw).rgb;
        float dy = dot(d, vec3(0.299, 0.587, 0.114));
        float duv = abs(d.r - dy) * 0.5 + abs(d.b - dy) * 0.5;
        float cd = 6.0 * duv + 1.5 * abs(dy);
        float t = min(1.0, cd / (0.1 + alpha));
        t = t * t * (3.0 - 2.0 * t);
        alpha *= 1.0 - t;
    }
    alpha *= abs(fDab.w);
    vColor = vec4(alpha * fDab.z, 0.0, 0.0, alpha);
}
