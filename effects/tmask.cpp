#include "effects/tmask.h"

#include "effects/effectslogging.h"
#include "gpu/glimfilter.h"

#include <QLineF>
#include <QOpenGLFunctions_3_3_Core>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

const QString kType = QStringLiteral("type");

// However fine the spacing and long the segment, one segment places at most this many dabs
// (spacing is widened instead), so a tiny brush over a long jump cannot stall the thread.
constexpr int kMaxDabsPerSegment = 4096;

// An area no dab has touched yet: any disc extends it to the disc.
constexpr std::array<float, 4> kNoArea{FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX};

// Positions far outside the image are pulled in before any conversion to int; dabs off the
// mask are clipped by the rasteriser anyway.
double clampedPosition(double p)
{
    return std::clamp(p, -1.0, 2.0);
}

// The brush settings a stroke's first sample carries over the current ones; false, changing
// nothing, when one of them is not a finite number.
bool takeBrushSettings(const QVariantMap& settings, MaskDab& dab)
{
    const struct
    {
        const char* key;
        float* value;
    } fields[] = {{"radius", &dab.radius}, {"strength", &dab.strength}, {"hardness", &dab.hardness},
                  {"flow", &dab.flow}, {"coloraware", &dab.coloraware}};
    float values[5];
    for (int i = 0; i < 5; ++i) {
        const auto it = settings.constFind(QLatin1String(fields[i].key));
        values[i] = it == settings.cend() ? *fields[i].value : it->toFloat();
        if (!std::isfinite(values[i]))
            return false;
    }
    for (int i = 0; i < 5; ++i)
        *fields[i].value = values[i];
    return true;
}

QPointF quadraticBezier(const QPointF& a, const QPointF& control, const QPointF& b, double t)
{
    const double u = 1.0 - t;
    return u * u * a + 2.0 * u * t * control + t * t * b;
}

// Where the segment from `a` to `b` leaves the circle of `radius` around `center` (a lies
// inside it), as a fraction of the segment; above 1 when it does not leave it.
double exitFraction(const QPointF& a, const QPointF& b, const QPointF& center, double radius)
{
    const QPointF v = b - a;
    const QPointF w = a - center;
    const double qa = QPointF::dotProduct(v, v);
    if (qa <= 0.0)
        return 2.0;
    const double qb = 2.0 * QPointF::dotProduct(v, w);
    const double qc = QPointF::dotProduct(w, w) - radius * radius;
    const double disc = std::max(0.0, qb * qb - 4.0 * qa * qc);
    return (-qb + std::sqrt(disc)) / (2.0 * qa);
}

} // namespace

TMask::TMask(const QString& maskId)
    : m_maskId(maskId)
{
}

bool TMask::setup(const TSFbo& image)
{
    if (image.isEmpty())
        return false;
    const int w = image.width();
    const int h = image.height();
    m_imageSize = image.size();
    m_downscale = std::max(1, int(std::max(w, h) / 1500.0 + 0.5));
    m_maskSize = QSize((w + m_downscale - 1) / m_downscale, (h + m_downscale - 1) / m_downscale);
    // Dabs are triangles, so only the mask limits their size.
    m_dabRadiusScale = std::max(1, std::min(m_maskSize.width(), m_maskSize.height()) / 3);
    drawColorSource(image);
    m_dabs.clear();
    m_strokePoints.clear();
    m_strokeInProgress = false;
    m_operationArea = kNoArea;
    m_operationCoversMask = false;
    initMaskBuffer(m_maskSize);
    return !m_maskBuffer.isEmpty();
}

int TMask::maxBrushRadius() const
{
    return ((2 * m_dabRadiusScale + 1) * m_downscale - 1) / 2;
}

BrushPointsByMask& TMask::procCmds(BrushPointsByMask& cmds)
{
    if (m_maskBuffer.isEmpty()) {
        qCDebug(lcEffects) << "TMask::procCmds - Mask Buffer is empty";
        return cmds;
    }
    const QList<BrushPoint> samples = takeDrawCmds(cmds);
    if (!samples.isEmpty()) {
        procDrawCmds(samples, m_maskSize);
        doProcMask(m_dabs);
        m_dabs.clear();
    }
    return cmds;
}

TSFbo TMask::getMask(bool invert) const
{
    if (!invert || m_maskBuffer.isEmpty())
        return m_maskBuffer;
    TSFbo inverted(m_maskBuffer.size(), GL_R8);
    GLImFilter filter(QStringLiteral(":/korvane/glshaders/tglmaskinvert.frag"));
    if (!filter.proc(m_maskBuffer, inverted))
        return TSFbo();
    GLProg::funcs()->glFlush();
    return inverted;
}

QList<BrushPoint> TMask::takeDrawCmds(BrushPointsByMask& cmds) const
{
    return cmds.take(m_maskId);
}

void TMask::initMaskBuffer(const QSize& size)
{
    if (!size.isValid())
        return;
    m_maskBuffer = TSFbo(size, GL_R8);
    if (!m_maskBuffer.bind())
        return;
    QOpenGLFunctions_3_3_Core* f = GLProg::funcs();
    f->glClearColor(0.f, 0.f, 0.f, 0.f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    m_maskBuffer.release();
    if (!m_painter.reset(size))
        m_maskBuffer = TSFbo();
    f->glFlush();
}

void TMask::drawColorSource(const TSFbo& image)
{
    if (m_maxTileSize < 1) {
        GLint maxTexture = 0;
        GLProg::funcs()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
        m_maxTileSize = std::clamp(int(maxTexture), 1, kColorSourceTile);
    }
    const int w = image.width();
    const int h = image.height();
    const int n = std::max({2, (w + m_maxTileSize - 1) / m_maxTileSize, (h + m_maxTileSize - 1) / m_maxTileSize});
    m_colorSource = TSFbo(w / n + w % n, h / n + h % n, GL_RGBA8);
    GLImFilter().proc(image, m_colorSource);
}

void TMask::doProcMask(const QVector<MaskDab>& dabs)
{
    if (m_painter.size() != m_maskBuffer.size() && !m_painter.reset(m_maskBuffer.size()))
        return;
    const QRect changed = m_painter.process(dabs, m_colorSource);
    if (changed.isEmpty())
        return;
    // Only what changed; a mask handed out before is copied first and keeps its pixels.
    GLImFilter copy(QStringLiteral(":/korvane/glshaders/glcopy_4chto1ch.frag"));
    copy.procRegion(m_painter.mask(), m_maskBuffer, changed);
    GLProg::funcs()->glFlush();
}

void TMask::procDrawCmds(const QList<BrushPoint>& samples, const QSize& maskSize)
{
    for (const BrushPoint& sample : samples) {
        // The samples of a stroke share one settings map (the brush the host stored): a map
        // seen without a command needs no second look.
        if (!sample.settings.isSharedWith(m_lastBrushSettings)) {
            const auto type = sample.settings.constFind(kType);
            if (type != sample.settings.cend()) {
                command(type->toString());
                continue;
            }
            m_lastBrushSettings = sample.settings;
        }
        if (!std::isfinite(sample.pos.x()) || !std::isfinite(sample.pos.y())) {
            qCDebug(lcEffects) << "TMask - a brush sample at a position that is not finite is dropped";
            continue;
        }
        const QPointF at(int(maskSize.width() * clampedPosition(sample.pos.x())),
                         int(maskSize.height() * clampedPosition(sample.pos.y())));
        if (sample.isBegin)
            beginStroke(sample.settings, at);
        else if (sample.isEnd)
            endStroke();
        else if (m_strokeInProgress)
            continueStroke(at);
    }
}

void TMask::command(const QString& name)
{
    MaskDab dab;
    if (!MaskDab::fromCommandName(name, &dab.type)) {
        qCDebug(lcEffects) << "TMask - unknown mask command" << name;
        return;
    }
    if (dab.type == MaskDab::Type::Reset || dab.type == MaskDab::Type::Invert) {
        m_operationCoversMask = true;
    } else if (dab.type == MaskDab::Type::Snapshot) {
        // The area the open operation changed, so that its history entry covers only that.
        const auto& [minX, minY, maxX, maxY] = m_operationArea;
        if (m_operationCoversMask)
            dab.area = QRectF(QPointF(), QSizeF(m_maskSize));
        else if (minX < maxX)
            dab.area = QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
        m_operationArea = kNoArea;
        m_operationCoversMask = false;
    }
    m_dabs.append(dab);
}

void TMask::beginStroke(const QVariantMap& settings, const QPointF& at)
{
    MaskDab brush = m_currentDab;
    if (!takeBrushSettings(settings, brush)) {
        qCDebug(lcEffects) << "TMask - a stroke whose brush settings are not finite is dropped";
        m_strokeInProgress = false;
        return;
    }
    m_currentDab = brush;
    const float r = m_currentDab.radius * float(m_dabRadiusScale);
    m_currentDab.radius = r;
    m_dirtyRect = {float(at.x() - r), float(at.y() - r), float(at.x() + r), float(at.y() + r)};
    m_lastDabPos = at;
    m_currentDab.type = MaskDab::Type::Start;
    m_currentDab.center = at;
    drawDab();
    m_strokePoints.assign(1, at);
    m_strokeInProgress = true;
}

void TMask::endStroke()
{
    if (!m_strokeInProgress)
        return;
    // The smoothed path stops at the midpoint before the last sample: a straight piece takes
    // the stroke on to that sample. (The end sample's own position is not part of the stroke.)
    if (m_currentDab.radius > 0.f) {
        m_currentDab.type = MaskDab::Type::In;
        const QPointF line[] = {m_lastDabPos, m_strokePoints.back()};
        placeDabsAlong(line, 2, std::max(0.1, 0.5 * m_currentDab.radius));
    }
    const auto& [minX, minY, maxX, maxY] = m_dirtyRect;
    MaskDab end = m_currentDab;
    end.type = MaskDab::Type::End;
    end.area = QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
    m_dabs.append(end);
    m_strokeInProgress = false;
}

void TMask::continueStroke(const QPointF& at)
{
    if (!(m_currentDab.radius > 0.f))
        return;
    const double spacing = std::max(0.1, 0.5 * m_currentDab.radius);
    const double d = QLineF(m_lastDabPos, at).length();
    const double steps = std::floor(d / spacing);
    if (steps < 1.0)
        return;
    m_currentDab.type = MaskDab::Type::In;
    if (m_strokePoints.size() == 1 || steps < 3.0) {
        const QPointF line[] = {m_lastDabPos, at};
        placeDabsAlong(line, 2, spacing);
    } else {
        // Smoothed: through the last sample as control point, to the midpoint of it and this one.
        const QPointF control = m_strokePoints.back();
        const QPointF end = (control + at) / 2.0;
        const int pieces = int(std::clamp(4.0 * steps, 16.0, 4.0 * kMaxDabsPerSegment));
        std::vector<QPointF> path;
        path.reserve(size_t(pieces) + 1);
        for (int i = 0; i <= pieces; ++i)
            path.push_back(quadraticBezier(m_lastDabPos, control, end, double(i) / pieces));
        placeDabsAlong(path.data(), path.size(), spacing);
    }
    m_strokePoints.push_back(at);
}

void TMask::placeDabsAlong(const QPointF* path, size_t count, double spacing)
{
    double length = 0.0;
    for (size_t i = 1; i < count; ++i)
        length += QLineF(path[i - 1], path[i]).length();
    spacing = std::max(spacing, length / kMaxDabsPerSegment);
    // Each dab lies one spacing (straight-line distance) from the previous one.
    for (size_t i = 1; i < count; ++i) {
        QPointF a = path[i - 1];
        for (double s; (s = exitFraction(a, path[i], m_lastDabPos, spacing)) <= 1.0;) {
            a += s * (path[i] - a);
            m_lastDabPos = a;
            m_currentDab.center = a;
            drawDab();
        }
    }
}

void TMask::drawDab()
{
    extendByDisc(m_dirtyRect, m_currentDab.center, m_currentDab.radius);
    extendByDisc(m_operationArea, m_currentDab.center, m_currentDab.radius);
    m_dabs.append(m_currentDab);
}

void TMask::extendByDisc(std::array<float, 4>& area, const QPointF& center, double r) const
{
    const float w = float(m_maskSize.width());
    const float h = float(m_maskSize.height());
    area[0] = std::clamp(std::min(area[0], float(center.x() - r)), 0.f, w);
    area[1] = std::clamp(std::min(area[1], float(center.y() - r)), 0.f, h);
    area[2] = std::clamp(std::max(area[2], float(center.x() + r)), 0.f, w);
    area[3] = std::clamp(std::max(area[3], float(center.y() + r)), 0.f, h);
}
