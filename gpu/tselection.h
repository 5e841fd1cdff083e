#pragma once
// Thread: construction and uniforms(): any thread; blendLayer and mask: render thread with
//         the engine context current.
// Owns: its uniform values; mask() hands a new framebuffer to the caller.
// Errors: blendLayer returns false and mask an empty TSFbo for empty images, an invalid
//         program or no current context.

#include "gpu/tsfbo.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QVariantMap>

#include <optional>

class GLImFilter;

// A selection: a per-pixel weight in [0, 1] measured on an image by hue (colour), by
// lightness (lum) or by an elliptic spot that also follows the colour at its centre. Built
// from parameters on the CPU (the per-image arithmetic), then run on the GPU either as a
// layer (the layer's colour mixed over the measured image by the weight) or as a mask
// (the weight alone, in a one-channel framebuffer).
class TSelection
{
public:
    enum Kind { Color, Lum, Spot };

    struct SpotParams
    {
        QSizeF imageSize;                 // the measured image, in pixels
        QPointF position{0.5, 0.5};       // centre, normalised image coordinates
        double sizeX = 0.33;              // radius along x, as a fraction of half the diagonal
        double sizeY = 0.33;              // the same along y
        double transition = 0.0;          // soft edge width relative to the radius
        double aspect = 0.0;              // > 0 lengthens x, < 0 lengthens y, by 1 / (1 - |aspect|)
        double rotation = 0.0;            // quarter turns
        double colorAware = 0.5;          // 0: colour ignored (tolerance 7), 1: exact colour only
        bool invert = false;
        double minWeight = 0.0;           // lowest weight (layer variant only)
    };

    // Weight 0 at `hue` (0..1, red at 1/6; no wrap-around), ramping to 1 at `range` away.
    static TSelection color(double hue, double range, bool invert);
    // Weight 0 at lightness `lum`, ramping to 1 at `range` away.
    static TSelection lum(double lum, double range, bool invert);
    // Weight 1 inside the spot and 0 outside (before inversion).
    static TSelection spot(const SpotParams& params);

    // The colour tolerance "colorT" for a colour awareness c: rises linearly from 0 to 1 as c
    // falls from 1 to 0.25, then steeply to 7 at c = 0.
    static double colorTolerance(double colorAware);
    // The selection a layer's parameters describe ("selType" 1 colour, 2 lightness, 3 spot,
    // with "selValueCOLOR", "selRangeCOLOR", "selValueLUM", "selRangeLUM", "selPosition",
    // "selSize", "selTransition", "selAspect", "selRotate", "selColorAware", "selInvert",
    // "selMin"), measured on an image of `measuredSize`; none for every other type.
    static std::optional<TSelection> ofLayer(const QVariantMap& params, const QSizeF& measuredSize);
    // Effect masks send a stored hue v turned by 0.15: v + 0.15 up to 0.85, v - 0.85 above.
    static double effectMaskHue(double storedHue);

    Kind kind() const { return m_kind; }
    // Uniform name -> value (double, int for bools, QPointF / QSizeF for vec2, QTransform).
    const QVariantMap& uniforms() const { return m_uniforms; }
    void applyTo(GLImFilter& filter) const;

    // Resource paths of the two variants' fragment shaders.
    QString layerShader() const;
    QString maskShader() const;

    // Layer variant: draws in's colour over sel, weighted by the weight measured on sel, so
    // that sel becomes sel * (1 - w) + in * w (GL blending; alpha likewise).
    bool blendLayer(const TSFbo& in, TSFbo& sel) const;
    // Mask variant: the weight measured on `measured`, in its red channel, in a new
    // framebuffer of its size (GL_R8 unless asked otherwise).
    TSFbo mask(const TSFbo& measured, uint internalFormat = GL_R8) const;

private:
    TSelection(Kind kind, const QVariantMap& uniforms);

    Kind m_kind;
    QVariantMap m_uniforms;
};
