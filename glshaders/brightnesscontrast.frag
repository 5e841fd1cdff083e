#version 330 core
// Brightness and contrast around mid grey; alpha kept.
uniform sampler2D inputTexture0;
uniform float brightness;
uniform float contrast;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vColor = vec4((c.rgb - 0.5) * contrast + brightness + 0.5, c.a);
}
