#version 330 core
// Another image covering the output: centred, aspect kept, the overflow cropped.
// uvScale (at most 1 per axis) is the part of the image's width and height that shows.
uniform sampler2D inputTexture0;
uniform vec2 uvScale;
in vec2 vUV;
out vec4 vColor;

void main()
{
    vColor = texture(inputTexture0, (vUV - 0.5) * uvScale + 0.5);
}
