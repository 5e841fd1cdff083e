#version 330 core
// Pyramid reduction: a 3 x 3 pattern of bilinear taps around vtUV.zw in the input whose
// offsets and weights approximate a Gaussian of the next pyramid level.
uniform sampler2D inImage;
uniform vec2 inPixelDxDy;
in vec4 vtUV;
out vec4 rgbaOut;

void main()
{
    const float axisOffset = 1.182425523806356;
    const float diagonalOffset = 1.047425873177567;
    const float axisWeight = 0.741865942949246;
    const float diagonalWeight = 0.550365077307974;
    vec2 p = vtUV.zw;
    vec2 a = axisOffset * inPixelDxDy;
    vec2 d = diagonalOffset * inPixelDxDy;
    vec4 sum = texture(inImage, p);
    sum += axisWeight * (texture(inImage, p + vec2(a.x, 0.0)) + texture(inImage, p - vec2(a.x, 0.0))
                         + texture(inImage, p + vec2(0.0, a.y)) + texture(inImage, p - vec2(0.0, a.y)));
    sum += diagonalWeight * (texture(inImage, p + d) + texture(inImage, p - d)
                             + texture(inImage, p + vec2(d.x, -d.y)) + texture(inImage, p + vec2(-d.x, d.y)));
    // 1 / (1 + 4 axisWeight + 4 diagonalWeight): the weights sum to 1.
    rgbaOut = sum * 0.162102821637127;
}
