#version 330 core
// RGB to Y'UV; alpha passes through.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

// Y'UV with BT.709 luma weights; U and V carry +0.5 so they stay positive.
const mat3 toYUV = mat3(0.2126, -0.09991, 0.615,
                        0.7152, -0.33609, -0.55861,
                        0.0722, 0.436, -0.05639);

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vColor = vec4(toYUV * c.rgb + vec3(0.0, 0.5, 0.5), c.a);
}
