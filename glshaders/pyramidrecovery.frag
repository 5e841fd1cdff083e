#version 330 core
// Inverse of pyramidlaplaciany.frag: the expanded coarser level with its luma raised by the
// band-pass luma; chroma comes from the coarser level alone. Alpha is the coarser level's.
uniform sampler2D inLaplacianY;
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
    yuv.x += texture(inLaplacianY, vtUV.xy).x - 0.5;
    rgbOut = vec4(toRGB * yuv, low.a);
}
