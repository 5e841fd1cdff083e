#pragma once
// Thread: GUI thread.
// Owns: its child nodes.
// Errors: as TNodeRoot.

#include "nodes/tnoderoot.h"

// The root the server uses: a brightness and contrast applied to the placed input before
// any child sees it. Its worker comes from the registry entry "TNodeRoot".
class TNodeRootWithAdjust : public TNodeRoot
{
    Q_OBJECT
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness NOTIFY brightnessChanged)
    Q_PROPERTY(float contrast READ contrast WRITE setContrast NOTIFY contrastChanged)
public:
    explicit TNodeRootWithAdjust(TImproc* parent = nullptr, unsigned int uid = 0);

    TImprocWorker* createImproc() override;
    float brightness() const { return floatParam(QStringLiteral("brightness")); }
    float contrast() const { return floatParam(QStringLiteral("contrast")); }

signals:
    void brightnessChanged(float);
    void contrastChanged(float);

public slots:
    void setBrightness(float v) { setFloat(QStringLiteral("brightness"), v, &TNodeRootWithAdjust::brightnessChanged); }
    void setContrast(float v) { setFloat(QStringLiteral("contrast"), v, &TNodeRootWithAdjust::contrastChanged); }
};
