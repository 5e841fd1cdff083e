#include "gpu/tselection.h"

#include "gpu/glimfilter.h"

#include <QTransform>

#include <cmath>

TSelection::TSelection(Kind kind, const QVariantMap& uniforms)
    : m_kind(kind)
    , m_uniforms(uniforms)
{
}

TSelection TSelection::color(double hue, double range, bool invert)
{
    return TSelection(Color, {{QStringLiteral("selHue"), hue},
                              {QStringLiteral("selRange"), range},
                              {QStringLiteral("selInvert"), int(invert)}});
}

TSelection TSelection::lum(double lum, double range, bool invert)
{
    return TSelection(Lum, {{QStringLiteral("selLum"), lum},
                            {QStringLiteral("selRange"), range},
                            {QStringLiteral("selInvert"), int(invert)}});
}

std::optional<TSelection> TSelection::ofLayer(const QVariantMap& params, const QSizeF& measuredSize)
{
    const auto number = [&](const char* key) { return params.value(QLatin1String(key)).toDouble(); };
    const bool invert = params.value(QStringLiteral("selInvert")).toBool();
    switch (params.value(QStringLiteral("selType")).toInt()) {
    case 1:
        return color(number("selValueCOLOR"), number("selRangeCOLOR"), invert);
    case 2:
        return lum(number("selValueLUM"), number("selRangeLUM"), invert);
    case 3: {
        SpotParams spot;
        spot.imageSize = measuredSize;
        spot.position = params.value(QStringLiteral("selPosition")).toPointF();
        spot.sizeX = spot.sizeY = number("selSize");
        spot.transition = number("selTransition");
        spot.aspect = number("selAspect");
        spot.rotation = number("selRotate");
        spot.colorAware = number("selColorAware");
        spot.invert = invert;
        spot.minWeight = number("selMin");
        return TSelection::spot(spot);
    }
    default:
        return std::nullopt;
    }
}

TSelection TSelection::spot(const SpotParams& p)
{
    const double w = p.imageSize.width();
    const double h = p.imageSize.height();
    const double diagonal = std::sqrt(w * w + h * h);

    const double r = 0.5 * diagonal * p.sizeX;
    double inner = (1.0 - p.transition) * r;
    double a = 2.0 * r - inner;
    double b = (1.0 + p.transition) * 0.5 * diagonal * p.sizeY;

    const double k = 1.0 - std::abs(p.aspect);
    const double divisor = k >= 0.000001 ? k : 0.000001;
    if (p.aspect >= 0) {
        a /= divisor;
        inner /= divisor;
    } else {
        b /= divisor;
    }

    // The weight falls from 1 at distance inner to 0 at distance a; no transition gives an
    // edge about 1e-7 pixels wide.
    const double span = a - inner;
    double dScale, dOffset;
    if (span == 0.0) {
        dScale = 10000000.0;
        dOffset = inner / -0.0000001;
    } else {
        dScale = 1.0 / span;
        dOffset = -inner / span;
    }

    QTransform toSpot;
    toSpot.rotate(p.rotation * 90.0);
    toSpot.translate(-w * p.position.x(), -h * p.position.y());

    return TSelection(Spot, {{QStringLiteral("point"), p.position},
                             {QStringLiteral("colorT"), colorTolerance(p.colorAware)},
                             {QStringLiteral("minAlpha"), p.minWeight},
                             {QStringLiteral("invert"), int(p.invert)},
                             {QStringLiteral("imageSize"), QSizeF(w, h)},
                             {QStringLiteral("transformQMatrix3x3"), toSpot},
                             {QStringLiteral("elipseabVec2"), QPointF(a, b)},
                             {QStringLiteral("d_scale"), dScale},
                             {QStringLiteral("d_offset"), dOffset}});
}

double TSelection::colorTolerance(double colorAware)
{
    const double x = 1.0 - colorAware;
    if (x > 0.75) {
        const double u = 4.0 * (x - 0.75);
        return 5.0 * std::pow(u, 7) + u + 1.0;
    }
    return x / 0.75;
}

double TSelection::effectMaskHue(double storedHue)
{
    return storedHue <= 0.85 ? storedHue + 0.15 : storedHue - 0.85;
}

void TSelection::applyTo(GLImFilter& filter) const
{
    for (auto it = m_uniforms.cbegin(); it != m_uniforms.cend(); ++it) {
        const QVariant& v = it.value();
        switch (v.userType()) {
        case QMetaType::Int:
            filter.setUniformValue(it.key(), v.toInt());
            break;
        case QMetaType::QPointF:
            filter.setUniformValue(it.key(), v.toPointF());
            break;
        case QMetaType::QSizeF:
            filter.setUniformValue(it.key(), v.toSizeF());
            break;
        case QMetaType::QTransform:
            filter.setUniformValue(it.key(), v.value<QTransform>());
            break;
        default:
            filter.setUniformValue(it.key(), float(v.toDouble()));
            break;
        }
    }
}

QString TSelection::layerShader() const
{
    switch (m_kind) {
    case Color:
        return QStringLiteral(":/korvane/glshaders/spotcolorselection.frag");
    case Lum:
        return QStringLiteral(":/korvane/glshaders/spotlumselection.frag");
    case Spot:
        break;
    }
    return QStringLiteral(":/korvane/glshaders/spotselection.frag");
}

QString TSelection::maskShader() const
{
    switch (m_kind) {
    case Color:
        return QStringLiteral(":/korvane/glshaders/spotcolorselectionalpha.frag");
    case Lum:
        return QStringLiteral(":/korvane/glshaders/spotlumselectionalpha.frag");
    case Spot:
        break;
    }
    return QStringLiteral(":/korvane/glshaders/spotselectionalpha.frag");
}

bool TSelection::blendLayer(const TSFbo& in, TSFbo& sel) const
{
    if (in.isEmpty() || sel.isEmpty())
        return false;
    GLImFilter filter(layerShader());
    applyTo(filter);
    // The second handle keeps the running image readable while sel detaches on drawing.
    const TSFbo running = sel;
    return filter.proc(1.f, in, running, sel);
}

TSFbo TSelection::mask(const TSFbo& measured, uint internalFormat) const
{
    if (measured.isEmpty())
        return TSFbo();
    GLImFilter filter(maskShader());
    applyTo(filter);
    TSFbo out(measured.size(), internalFormat);
    if (out.isEmpty() || !filter.proc(measured, out))
        return TSFbo();
    return out;
}
