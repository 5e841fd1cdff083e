#version 330 core
// Halving step: four bilinear samples at (+-pixelStepx, +-pixelStepy) around the output
// pixel, each covering a weighted 2 x 2 block of the input.
uniform sampler2D inputTexture0;
uniform float pixelStepx;
uniform float pixelStepy;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = 0.25 * (texture(inputTexture0, vUV + vec2(pixelStepx, pixelStepy))
                     + texture(inputTexture0, vUV + vec2(-pixelStepx, pixelStepy))
                     + texture(inputTexture0, vUV + vec2(pixelStepx, -pixelStepy))
                     + texture(inputTexture0, vUV + vec2(-pixelStepx, -pixelStepy)));
}
