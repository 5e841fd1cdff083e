#version 150
// Inverts a mask held in the red channel.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 m_FragColor;

void main()
{
    m_FragColor = vec4(1.0 - texture(inputTexture0, vUV).r, 0.0, 0.0, 1.0);
}
