#version 330 core
// RGB from a luma plane (first channel of inputY) and a chroma plane (first two channels of
// inputUV, offset by 0.5); alpha 1.
uniform sampler2D inputY;
uniform sampler2D inputUV;
in vec2 vUV;
out vec4 vColor;

// Inverse of the Y'UV matrix, applied after taking 0.5 off U and V.
const mat3 toRGB = mat3(1.0, 1.0, 1.0,
                        -0.000005767485569, -0.214819843611307, 2.127983079199983,
                        1.280324266293523, -0.380589675732042, 0.000011039744505);

void main()
{
    vec3 yuv = vec3(texture(inputY, vUV).x, texture(inputUV, vUV).xy - 0.5);
    vColor = vec4(toRGB * yuv, 1.0);
}
