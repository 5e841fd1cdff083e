#version 330 core
// Gives an RGB image the luma of inputY by scaling its colour; alpha of inputRGB.
// The 0.01 keeps black black and near-black pixels from exploding.
uniform sampler2D inputY;
uniform sampler2D inputRGB;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec4 c = texture(inputRGB, vUV);
    float y = dot(vec3(0.2126, 0.7152, 0.0722), c.rgb);
    float target = texture(inputY, vUV).x;
    vColor = vec4((target + 0.01) / (y + 0.01) * c.rgb, c.a);
}
