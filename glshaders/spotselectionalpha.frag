#version 330 core
// Spot selection as a mask: the weight of inputTexture0, into the red channel.
uniform sampler2D inputTexture0;
uniform vec2 point;
uniform float colorT;
uniform bool invert;
uniform vec2 imageSize;
uniform mat3 transformQMatrix3x3;
uniform vec2 elipseabVec2;
uniform float d_scale;
uniform float d_offset;
in vec2 vUV;
out vec4 vColor;

// smoothstep, and a hard step where its edges meet (where smoothstep is undefined).
float ramp(float e0, float e1, float x)
{
    return e1 > e0 ? smoothstep(e0, e1, x) : 1.0 - step(x, e0);
}

// Weight of an elliptic spot whose colour tolerance follows the colour at its centre and
// shrinks towards its edge. `measured` is the image the spot looks at.
float spotWeight(sampler2D measured)
{
    vec2 p = (transformQMatrix3x3 * vec3(vUV * imageSize, 1.0)).xy;
    float a = elipseabVec2.x;
    // Distance in pixels along the ellipse's x axis.
    float dis = a == 0.0 ? length(p) : a * length(p / elipseabVec2);
    float spatWt = 1.0 - smoothstep(0.0, 1.0, dis * d_scale + d_offset);

    vec3 c = texture(measured, vUV).rgb;
    vec3 ref = texture(measured, point).rgb;
    const vec3 lumaWeights = vec3(0.21875, 0.71875, 0.0625);
    float y = dot(c, lumaWeights);
    float yRef = dot(ref, lumaWeights);
    float uvDist = distance(vec2(c.r - y, c.b - y), vec2(ref.r - yRef, ref.b - yRef));
    float dist = mix(abs(y - yRef), uvDist, 0.8);
    float mc = spatWt * colorT;
    float colorWt = 1.0 - ramp(0.3 * mc, 2.0 * mc, dist);

    float w = colorWt * spatWt;
    return invert ? 1.0 - w : w;
}

void main()
{
    vColor = vec4(spotWeight(inputTexture0), 0.0, 0.0, 1.0);
}
