#pragma once
// Thread: render thread, with the engine context current.
// Owns: nothing (static passes over cached programs).
// Errors: a conversion with an empty first input or output, an invalid program or no
//         current context does nothing (out keeps its pixels and uid) and returns false.

class TSFbo;

// Conversions between colour encodings, each one full-screen pass into a framebuffer the
// caller has allocated with the pass's size and enough channels for what it writes.
// Y'UV uses the BT.709 luma weights; stored U and V carry +0.5.
class GlColorSpace
{
public:
    GlColorSpace() = default;
    ~GlColorSpace() = default;
    GlColorSpace(const GlColorSpace&) = default;
    GlColorSpace& operator=(const GlColorSpace&) = default;

    // sRGB encoding <-> linear light, per colour channel; alpha passes through.
    static bool sRGB2Linear(const TSFbo& in, TSFbo& out);
    static bool linear2SRGB(const TSFbo& in, TSFbo& out);
    // RGBA <-> Y'UVA.
    static bool RGB2YUV(const TSFbo& in, TSFbo& out);
    static bool YUV2RGB(const TSFbo& in, TSFbo& out);
    // The luma plane (one channel) and the chroma plane (two channels) of RGB.
    static bool RGB2Y(const TSFbo& in, TSFbo& out);
    static bool RGB2UV(const TSFbo& in, TSFbo& out);
    // RGB from a luma plane and a chroma plane; alpha 1.
    static bool YUV2RGB(const TSFbo& y, const TSFbo& uv, TSFbo& out);
    // rgb scaled so that its luma becomes y: (y + 0.01) / (Y(rgb) + 0.01) * rgb; alpha of rgb.
    static bool YModifyRGB(const TSFbo& y, const TSFbo& rgb, TSFbo& out);

private:
    static bool convert(const char* fragment, const char* sampler0, const TSFbo& in0, const char* sampler1,
                        const TSFbo* in1, TSFbo& out);
};
