#pragma once
// Thread: render thread for everything but the registry lookup `ptr` (any thread)
//         and the draw-command lists (any thread, guarded by the worker's mutex).
// Owns: its parameter maps and draw-command lists; its QObject children (child workers).
// Errors: lookups return null; a second worker for a taken id is not registered.

#include "engine/tdrawpoint.h"
#include "gpu/tsfbo.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QStringList>
#include <QVariantMap>

class QOpenGLFunctions_3_3_Core;

// Render-thread twin of a TImproc: holds the parameter values the processing code reads.
// Workers form a tree through their QObject parents; a render request raised anywhere
// in the tree travels up to the root worker by direct signal-to-signal connections.
class TImprocWorker : public QObject
{
    Q_OBJECT
public:
    TImprocWorker(unsigned int uid, unsigned int parentUid);
    ~TImprocWorker() override;

    virtual TImprocWorker* parent() const;

    unsigned int uid() const { return m_uid; }
    QVariantMap params() const { return m_params; }
    QVariant paramValue(const QString& key) const { return m_params.value(key); }
    // Overwrites the values of keys the worker already has; unknown keys are ignored.
    void setParams(const QVariantMap& params);
    // Replaces the whole map.
    void defineParams(const QVariantMap& params);
    // Structural hash of the parameter values, recomputed only after they change.
    unsigned int paramsKey() const;
    bool setParamValue(const QString& key, double v);
    bool setParamValue(const QString& key, float v);

    // Change detection against the values last declared handled by clearParamsChange.
    bool isParamsChanged() const { return m_params != m_paramsSnapshot; }
    bool isPmValueChanged(const QString& key) const;
    bool isPmValueChanged(const QStringList& keys) const;
    // An empty key declares every value handled.
    void clearParamsChange(const QString& key);

    int nodeType() const;
    QString className() const { return m_params.value(QStringLiteral("className")).toString(); }

    void emitUpdateReq(TImprocWorker* which, QString reqTag, QString fboId);
    // A save asked of a worker outside any tree; false when the worker cannot save alone.
    virtual bool saveStandalone(const QUrl& fileName, const QVariantMap& fileParams);
    QOpenGLFunctions_3_3_Core* funcs() const;
    // Lets the GPU finish and yields; long processing loops call it between steps.
    void playNice();
    bool isCancel() const { return false; }

    void appendDrawCmds(const QList<TDrawPoint>& points);
    QList<TDrawPoint> drawCmds(const QString& which) const;
    QList<TDrawPoint> takeDrawCmds(const QString& which);
    void resetDrawCmds(const QString& which, const QList<TDrawPoint>& points);

    static TImprocWorker* ptr(unsigned int uid);
    static void insertWorker(unsigned int uid, TImprocWorker* worker);
    // Deletes every registered worker, lowest id first, each with its subtree.
    static void clearWorkers();
    static int liveCount();

signals:
    void outputFbo(QString reqTag, int nodeUid, QString fboId, TSFbo fbo);
    void errorMessage(QString error);
    void updateReq(TImprocWorker* which_p, QString& reqTag, QString& fboId);

private:
    static void removeWorkerChildrenFromMap(TImprocWorker* worker);
    static void removeFromMapLocked(unsigned int uid, TImprocWorker* worker);

    QVariantMap m_params;
    QVariantMap m_paramsSnapshot;
    mutable unsigned int m_paramsKey = 0;
    mutable bool m_paramsKeyValid = false;
    mutable QRecursiveMutex m_drawMutex;
    QMap<QString, QList<TDrawPoint>> m_drawCmds;
    unsigned int m_uid;

    static QMap<unsigned int, TImprocWorker*> s_workers_p;
    static QMutex s_mutex;
};
