#include "imagelayerworker.h"

#include "gpu/glareareduce.h"
#include "gpu/glimfilter.h"
#include "imagelayer.h"

#include <QRectF>

QString ImageLayerWorker::fetch(const QString& source)
{
    if (source == m_source && !m_image.isEmpty())
        return QString();
    m_source.clear();
    m_image = TSFbo();
    // Usually the layer started reading the file when its source was set.
    ImageLayer::Loaded loaded;
    if (!ImageLayer::takeReadAhead(source, &loaded))
        loaded = ImageLayer::read(source);
    if (loaded.pixels.isEmpty())
        return loaded.error;
    m_image = TSFbo(loaded.pixels);
    if (m_image.isEmpty())
        return QStringLiteral("ERROR!!! ImageLayer: cannot upload \"%1\"").arg(source);
    m_source = source;
    return QString();
}

QString ImageLayerWorker::doProc(TSFbo& io)
{
    const QString source = paramValue(QStringLiteral("source")).toString();
    if (source.isEmpty())
        return QString(); // nothing placed yet: the layer passes its input through
    const QString error = fetch(source);
    if (!error.isEmpty())
        return error;
    // Cover: the axis where the image is relatively longer is cropped.
    const double imageAspect = double(m_image.width()) / m_image.height();
    const double targetAspect = double(io.width()) / io.height();
    const QSizeF uvScale = imageAspect > targetAspect ? QSizeF(targetAspect / imageAspect, 1.0)
                                                      : QSizeF(1.0, imageAspect / targetAspect);
    // A shown part larger than the image (a preview, or a large file on a small canvas) is
    // reduced by area: sampling it would alias its fine detail, and a preview would not show
    // the mean that the full-size render reduces to.
    const QSizeF shown(m_image.width() * uvScale.width(), m_image.height() * uvScale.height());
    if (shown.width() >= io.width() && shown.height() >= io.height()) {
        const QRectF whole(QPointF(), QSizeF(m_image.size()));
        const QRectF part = QRectF(QPointF((whole.width() - shown.width()) / 2, (whole.height() - shown.height()) / 2),
                                   shown) & whole;
        TSFbo reduced(io.size(), TSFbo::workingFormat());
        reduced.setScale(io.scale());
        if (!GLAreaReduce().reduce(m_image, part, reduced))
            return QStringLiteral("ERROR!!! ImageLayer: the reduction pass failed");
        io = reduced;
        return QString();
    }
    GLImFilter place(QStringLiteral(":/examples/shaders/placeimage.frag"));
    place.setUniformValue(QStringLiteral("uvScale"), uvScale);
    place.setTexture(QStringLiteral("inputTexture0"), m_image);
    const TSFbo placed = place.render(io.size(), TSFbo::workingFormat(), io.scale());
    if (placed.isEmpty())
        return QStringLiteral("ERROR!!! ImageLayer: the placement pass failed");
    io = placed;
    return QString();
}
