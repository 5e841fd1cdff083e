#include "iotestfiles.h"

#include <QFile>

#include <lcms2.h>

#include "korvanetest.h"

namespace IoTestFiles {
namespace {

class BitWriter
{
public:
    void put(uint32_t code, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            m_byte = uint8_t((m_byte << 1) | ((code >> i) & 1u));
            if (++m_count == 8)
                flush();
        }
    }
    QByteArray finish()
    {
        while (m_count != 0)
            put(1, 1); // pad with one bits, as the standard asks
        return m_out;
    }

private:
    void flush()
    {
        m_out.append(char(m_byte));
        if (m_byte == 0xFF)
            m_out.append(char(0)); // byte stuffing
        m_byte = 0;
        m_count = 0;
    }
    QByteArray m_out;
    uint8_t m_byte = 0;
    int m_count = 0;
};

void putMarker(QByteArray& out, uint8_t marker, const QByteArray& payload)
{
    const int length = payload.size() + 2;
    out.append(char(0xFF)).append(char(marker)).append(char(length >> 8)).append(char(length & 0xFF)).append(payload);
}

} // namespace

QByteArray flatBlockJpeg(int width, int height, int components, const BlockColour& colour,
                         bool adobeMarker, const QByteArray& icc)
{
    QByteArray out("\xFF\xD8", 2);
    if (adobeMarker) {
        QByteArray app14("Adobe", 5);
        app14.append(char(0)).append(char(100));   // version
        app14.append(2, char(0)).append(2, char(0)); // flags
        app14.append(char(0));                      // no colour transform
        putMarker(out, 0xEE, app14);
    }
    if (!icc.isEmpty()) {
        QByteArray app2("ICC_PROFILE", 12);
        app2.append(char(1)).append(char(1));
        app2.append(icc);
        putMarker(out, 0xE2, app2);
    }
    // One quantisation table of ones: a flat block of value v has DC coefficient 8 (v - 128).
    putMarker(out, 0xDB, QByteArray(1, char(0)) + QByteArray(64, char(1)));

    QByteArray sof;
    sof.append(char(8));
    sof.append(char(height >> 8)).append(char(height & 0xFF));
    sof.append(char(width >> 8)).append(char(width & 0xFF));
    sof.append(char(components));
    for (int c = 0; c < components; ++c)
        sof.append(char(c + 1)).append(char(0x11)).append(char(0));
    putMarker(out, 0xC0, sof);

    // DC table: categories 0 to 11, all with 4-bit codes equal to the category.
    // AC table: the end-of-block symbol alone, code "0".
    QByteArray dht(1, char(0x00));
    for (int len = 1; len <= 16; ++len)
        dht.append(char(len == 4 ? 12 : 0));
    for (int v = 0; v < 12; ++v)
        dht.append(char(v));
    dht.append(char(0x10));
    for (int len = 1; len <= 16; ++len)
        dht.append(char(len == 1 ? 1 : 0));
    dht.append(char(0));
    putMarker(out, 0xC4, dht);

    QByteArray sos(1, char(components));
    for (int c = 0; c < components; ++c)
        sos.append(char(c + 1)).append(char(0x00));
    sos.append(char(0)).append(char(63)).append(char(0));
    putMarker(out, 0xDA, sos);

    BitWriter bits;
    std::array<int, 4> previous{0, 0, 0, 0};
    for (int by = 0; by < (height + 7) / 8; ++by) {
        for (int bx = 0; bx < (width + 7) / 8; ++bx) {
            const std::array<uint8_t, 4> value = colour(bx, by);
            for (int c = 0; c < components; ++c) {
                const int dc = 8 * (int(value[c]) - 128);
                const int diff = dc - previous[c];
                previous[c] = dc;
                int cat = 0; // the bits of |diff|
                for (int m = std::abs(diff); m; m >>= 1)
                    ++cat;
                bits.put(uint32_t(cat), 4);
                if (cat > 0) {
                    const int extra = diff < 0 ? diff + (1 << cat) - 1 : diff;
                    bits.put(uint32_t(extra), cat);
                }
                bits.put(0, 1); // end of block
            }
        }
    }
    return out.append(bits.finish()).append("\xFF\xD9", 2);
}

namespace {
struct CmykSamplerContext
{
    cmsHTRANSFORM toLab;
};

int cmykSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo)
{
    auto* context = static_cast<CmykSamplerContext*>(cargo);
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double rgb[3] = {(1 - c) * (1 - k), (1 - m) * (1 - k), (1 - y) * (1 - k)};
    cmsCIELab lab;
    cmsDoTransform(context->toLab, rgb, &lab, 1);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

QByteArray saveProfile(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(int(size), char(0));
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

void setDescription(cmsHPROFILE profile, const char* text)
{
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
}
} // namespace

QByteArray naiveCmykProfile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    CmykSamplerContext context{cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0)};

    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    setDescription(profile, "naive CMYK test profile");
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());

    // A version 4 device-to-PCS table needs curves on both sides of the grid.
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, cmykSampler, &context, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsPipelineFree(pipeline);

    QByteArray bytes = saveProfile(profile);
    cmsCloseProfile(profile);
    cmsDeleteTransform(context.toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return bytes;
}

QByteArray greyProfile(double gamma)
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    setDescription(profile, "grey test profile");
    QByteArray bytes = saveProfile(profile);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

bool writeImage(const QString& path, const cv::Mat& pixels, const OIIO::ImageSpec* attributes, bool tiled)
{
    const OIIO::TypeDesc type = pixels.depth() == CV_16U ? OIIO::TypeDesc::UINT16
                              : pixels.depth() == CV_32F ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8;
    OIIO::ImageSpec spec(pixels.cols, pixels.rows, pixels.channels(), type);
    if (attributes)
        spec.extra_attribs = attributes->extra_attribs;
    if (pixels.channels() == 4 || pixels.channels() == 2)
        spec.attribute("oiio:UnassociatedAlpha", 1); // store the given values, not divided by alpha
    if (tiled)
        spec.tile_width = spec.tile_height = 16;
    const std::string name = path.toStdString();
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(name);
    if (!out || !out->open(name, spec))
        return false;
    const cv::Mat continuous = pixels.isContinuous() ? pixels : pixels.clone();
    const bool ok = out->write_image(type, continuous.data);
    return out->close() && ok;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace IoTestFiles
