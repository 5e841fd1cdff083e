#version 330 core
// Y'UV (U and V offset by 0.5) to RGB; alpha passes through.
uniform sampler2D inputTexture0;
in vec2 vUV;
out vec4 vColor;

// Inverse of the Y'UV matrix, applied after taking 0.5 off U and V.
const mat3 toRGB = mat3(1.0, 1.0, 1.0,
                        -0.000005767485569, -0.214819843611307, 2.127983079199983,
                        1.280324266293523, -0.380589675732042, 0.000011039744505);

void main()
{
    vec4 c = texture(inputTexture0, vUV);
    vColor = vec4(toRGB * (c.xyz - vec3(0.0, 0.5, 0.5)), c.a);
}
