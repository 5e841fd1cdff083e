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
const QString kRadius = QStringLiteral("radius");
const QString kCenterX = QStringLiteral("center.x");
const QString kCenterY = QStringLiteral("center.y");
const QStringList kBrushKeys = {kRadius, QStringLiteral("strength"), QStringLiteral("hardness"),
                                QStringLiteral("flow"), QStringLiteral("coloraware")};
const QStringList kCommands = {QStringLiteral("undo"), QStringLiteral("redo"), QStringLiteral("snapshot"),
                               QStringLiteral("reset"), QStringLiteral("invert")};

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

bool hasFiniteNumbers(const BrushPoint& p, bool isCommand)
{
    if (!isCommand && !(std::isfinite(p.pos.x()) && std::isfinite(p.pos.y())))
        return false;
    for (const QString& key : kBrushKeys) {
        if (p.settings.contains(key) && !std::isfinite(p.settings.value(key).toDouble()))
            return false;
    }
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
    for (const QString& key : kBrushKeys)
        m_currentDab.insert(key, 1.0);
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
    return true;
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

void TMask::doProcMask(const QList<QVariantMap>& dabs)
{
    if (m_painter.size() != m_maskBuffer.size() && !m_painter.reset(m_maskBuffer.size()))
        return;
    m_painter.process(dabs, m_colorSource);
    // A new framebuffer each time: masks handed out before keep their pixels.
    TSFbo next(m_maskBuffer.size(), GL_R8);
    GLImFilter copy(QStringLiteral(":/korvane/glshaders/glcopy_4chto1ch.frag"));
    if (copy.proc(m_painter.mask(), next))
        m_maskBuffer = next;
    GLProg::funcs()->glFlush();
}

void TMask::procDrawCmds(const QList<BrushPoint>& samples, const QSize& maskSize)
{
    for (const BrushPoint& sample : samples) {
        const QString type = sample.settings.value(kType).toString();
        const bool isCommand = !type.isEmpty();
        if (!hasFiniteNumbers(sample, isCommand)) {
            qCDebug(lcEffects) << "TMask - a brush sample with numbers that are not finite is dropped";
            continue;
        }
        if (isCommand) {
            command(type);
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

void TMask::command(const QString& type)
{
    if (!kCommands.contains(type)) {
        qCDebug(lcEffects) << "TMask - unknown mask command" << type;
        return;
    }
    QVariantMap dab{{kType, type}};
    if (type == QLatin1String("reset") || type == QLatin1String("invert")) {
        m_operationCoversMask = true;
    } else if (type == QLatin1String("snapshot")) {
        // The area the open operation changed, so its history entry covers only that.
        const std::array<float, 4> whole{0.f, 0.f, float(m_maskSize.width()), float(m_maskSize.height())};
        const std::array<float, 4>& area = m_operationCoversMask ? whole : m_operationArea;
        if (m_operationCoversMask || area[0] < area[2]) {
            dab.insert(QStringLiteral("workingArea.x"), area[0]);
            dab.insert(QStringLiteral("workingArea.y"), area[1]);
            dab.insert(QStringLiteral("workingArea.width"), area[2] - area[0]);
            dab.insert(QStringLiteral("workingArea.height"), area[3] - area[1]);
        }
        m_operationArea = kNoArea;
        m_operationCoversMask = false;
    }
    m_dabs.append(dab);
}

void TMask::beginStroke(const QVariantMap& settings, const QPointF& at)
{
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        m_currentDab.insert(it.key(), it.value());
    const double r = settings.value(kRadius, 1.0).toDouble() * m_dabRadiusScale;
    m_currentDab.insert(kRadius, r);
    m_dirtyRect = {float(at.x() - r), float(at.y() - r), float(at.x() + r), float(at.y() + r)};
    m_lastDabPos = at;
    m_currentDab.insert(kType, QStringLiteral("start"));
    m_currentDab.insert(kCenterX, at.x());
    m_currentDab.insert(kCenterY, at.y());
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
    const double radius = m_currentDab.value(kRadius).toDouble();
    if (radius > 0.0) {
        m_currentDab.insert(kType, QStringLiteral("in"));
        placeDabsAlong({m_lastDabPos, m_strokePoints.back()}, std::max(0.1, 0.5 * radius));
    }
    const auto& [minX, minY, maxX, maxY] = m_dirtyRect;
    m_currentDab.insert(QStringLiteral("workingRect"),
                        QRect(int(minX), int(minY), int(maxX - minX), int(maxY - minY)));
    m_currentDab.insert(kType, QStringLiteral("end"));
    drawDab();
    m_currentDab.remove(QStringLiteral("workingRect"));
    m_strokeInProgress = false;
}

void TMask::continueStroke(const QPointF& at)
{
    const double radius = m_currentDab.value(kRadius).toDouble();
    if (!(radius > 0.0))
        return;
    const double spacing = std::max(0.1, 0.5 * radius);
    const double d = QLineF(m_lastDabPos, at).length();
    const double steps = std::floor(d / spacing);
    if (steps < 1.0)
        return;
    m_currentDab.insert(kType, QStringLiteral("in"));
    std::vector<QPointF> path;
    if (m_strokePoints.size() == 1 || steps < 3.0) {
        path = {m_lastDabPos, at};
    } else {
        // Smoothed: through the last sample as control point, to the midpoint of it and this one.
        const QPointF control = m_strokePoints.back();
        const QPointF end = (control + at) / 2.0;
        const int pieces = int(std::clamp(4.0 * steps, 16.0, 4.0 * kMaxDabsPerSegment));
        path.reserve(size_t(pieces) + 1);
        for (int i = 0; i <= pieces; ++i)
            path.push_back(quadraticBezier(m_lastDabPos, control, end, double(i) / pieces));
    }
    placeDabsAlong(path, spacing);
    m_strokePoints.push_back(at);
}

void TMask::placeDabsAlong(const std::vector<QPointF>& path, double spacing)
{
    double length = 0.0;
    for (size_t i = 1; i < path.size(); ++i)
        length += QLineF(path[i - 1], path[i]).length();
    spacing = std::max(spacing, length / kMaxDabsPerSegment);
    // Each dab lies one spacing (straight-line distance) from the previous one.
    for (size_t i = 1; i < path.size(); ++i) {
        QPointF a = path[i - 1];
        for (double s; (s = exitFraction(a, path[i], m_lastDabPos, spacing)) <= 1.0;) {
            a += s * (path[i] - a);
            m_lastDabPos = a;
            m_currentDab.insert(kCenterX, a.x());
            m_currentDab.insert(kCenterY, a.y());
            drawDab();
        }
    }
}

void TMask::drawDab()
{
    const QPointF center(m_currentDab.value(kCenterX).toDouble(), m_currentDab.value(kCenterY).toDouble());
    const double r = m_currentDab.value(kRadius).toDouble();
    extendByDisc(m_dirtyRect, center, r);
    extendByDisc(m_operationArea, center, r);
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
