#version 330 core
// Expansion guided by a full-resolution luma: chroma from the coarser level, luma from fullY.
// Alpha is the coarser level's.
uniform sampler2D fullY;
uniform sampler2D inImageDs2;
in vec4 vtUV;
out vec4 rgbOut;

// Y'UV with BT.709 luma weights, without the 0.5 chroma offsets.
const mat3 toYUV = mat3(0.2126, -0.09991, 0.615,
                        0.7152, -0.33609, -0.55861,
                        0.0722, 0.436, -0.05639);
const mat3 toRGB = mat3(1.0, 1.0, 1.0,
                        -0.000005767485569, -0.214819843611307, 2.127983079199983,
                        1.280324266293523, -0.380589675732042, 0.000011039744505);

void main()
{
    vec4 low = texture(inImageDs2, vtUV.zw);
    vec3 yuv = toYUV * low.rgb;
    yuv.x = texture(fullY, vtUV.xy).x;
    rgbOut = vec4(toRGB * yuv, low.a);
}
