#pragma once
// Thread: render thread (made, fed and deleted there); answers its GUI twin through queued
//         signals only.
// Owns: its results in the GPU cache (released when it goes or its input changes); the
//       reduced inputs and their framebuffers are cached by content, shared with every
//       effect on the same image.
// Errors: a request it cannot finish (no context, an input the GPU cannot take, a cancel,
//         an error of doProc, the tree or postProc) answers procFinished(tag, false, data)
//         with the reason in "errorMessage" (empty for a cancel) and nothing else.

#include "effects/tebaseworker.h"
#include "gpu/tsfbo.h"
#include "gpu/tsmat.h"

#include <QSemaphore>

// Render-thread twin of an effect. Each request brings the effect's whole state: the worker
// takes its own result from the GPU cache when nothing it depends on changed, else runs the
// subclass's doProc; then the layer tree, then postProc, and shows the result in the
// previewer or answers it as an image.
class TEffectWorker : public TEBaseWorker
{
    Q_OBJECT
public:
    TEffectWorker(const QString& className, unsigned int uid, unsigned int parentUid);
    ~TEffectWorker() override;

    QString procMode() const;
    int decimation() const;
    // The input reduced by `decimation` (box average), cached by source and factor.
    TSMat input(int decimation) const;
    TSMat input1(int decimation) const;
    // The input as a framebuffer of `internalFormat`, linearised when asked; empty when there
    // is no input or the GPU cannot take it.
    TSFbo inputFbo(int decimation, bool toLinear, uint internalFormat) const;
    TSFbo input1Fbo(int decimation, bool toLinear, uint internalFormat) const;

    bool cancel() const { return cancelRequested; }
    void setProcError(const QString& message) { procError = message; }
    void setOutput(const TSMat& image);
    QVariantMap allUpdateData() const { return updateData(); }
    // The effect's own parameter keys: everything but what its base classes own.
    QStringList impParamKeys();
    static QStringList remove(const QStringList& list, const QStringList& taken);

signals:
    void blockingProcProgress(int percent, QString message);
    void procFinished(QString reqTag, bool isSuccess, QVariantMap updateData);

public slots:
    virtual void processProcReq(QString reqTag, QVariantMap stateData);
    void processCancelReq() { cancelRequested = true; }

protected:
    // The effect's own processing at the request's decimation, into `out`; an error text
    // (or setProcError) fails the request.
    virtual QString doProc(TSFbo& out) = 0;
    // Composes the tree's result `src` onto the unprocessed image `dst`: here `dst` becomes
    // `src` (a handle, no pass).
    virtual QString postProc(const TSFbo& src, TSFbo& dst);
    virtual QStringList baseParamKeys() const { return QStringList(); }
    // Whether the request ends here (cancelled or failed); if so its answer has been sent.
    bool isProcFinished();
    void drawInputPreview();
    void drawPreview(const TSFbo& image) const;
    QString procTree(const QVariantMap& rootState, const TSFbo& in, TSFbo& out);

private:
    TSMat inputOf(const QString& key, int decimation) const;
    TSFbo inputFboOf(const QString& key, int decimation, bool toLinear, uint internalFormat) const;
    // Runs one request; answers early through isProcFinished.
    void process(const QString& reqTag, QVariantMap state);
    // Takes a non-empty answer of a step as the request's error.
    bool failedWith(const QString& answer);
    void releaseOwnResults();

    bool cancelRequested = false;
    QString procError;
    QString currentReqTag;
    QStringList impParamKeysCache;
    uint lastInputUid = 0;
    uint lastInput1Uid = 0;
    QSemaphore procSemaphore{1};
    // Per worker (its address too: a recreated worker of the same uid must not find the
    // old one's entries), per mode, so previews, outputs and thumbnails do not evict each other.
    QString m_resultKeyBase;
};
