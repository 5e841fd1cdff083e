#version 330 core
// The BT.709 luma of RGB, into a one-channel image.
uniform sampler2D inputTexture0;
in vec2 vUV;
out float yOut;

void main()
{
    yOut = dot(vec3(0.2126, 0.7152, 0.0722), texture(inputTexture0, vUV).rgb);
}
