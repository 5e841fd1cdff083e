#pragma once
// Thread: GUI thread (a node of the host's tree); its worker renders on the render thread.
// Owns: nothing beyond its parameters.
// Errors: a file that cannot be read stops the render with the reader's message.

#include "nodes/tnode.h"

// A layer showing another image file (`source`: a path or a file URL), covering the canvas
// centred with its aspect kept; the node's placement, blend mode and opacity do the rest.
class ImageLayer : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
public:
    explicit ImageLayer(TImproc* parent = nullptr, unsigned int uid = 0);

    QString source() const { return m_params.value(QStringLiteral("source")).toString(); }

signals:
    void sourceChanged(QString);

public slots:
    void setSource(const QString& v) { setValue(QStringLiteral("source"), v, &ImageLayer::sourceChanged); }
};
