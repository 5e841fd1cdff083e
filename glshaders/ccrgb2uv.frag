#version 330 core
// The chroma (U, V, each offset by 0.5) of RGB, into a two-channel image.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec2 UVOut;

// Y'UV with BT.709 luma weights; U and V carry +0.5 so they stay positive.
const mat3 toYUV = mat3(0.2126, -0.09991, 0.615,
                        0.7152, -0.33609, -0.55861,
                        0.0722, 0.436, -0.05639);

void main()
{
    UVOut = (toYUV * texture(inputTexture0, vUV).rgb).yz + 0.5;
}
