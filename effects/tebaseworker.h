#pragma once
// Thread: render thread (made, fed and deleted there); the uid registry may be read from
//         any thread, under its mutex.
// Owns: its child workers, its copy of the GUI twin's state.
// Errors: a state naming another uid is refused with a warning and the old state kept;
//         lookups of unknown ids return null.

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QOpenGLFunctions_3_3_Core;
class TSFbo;

// Render-thread twin of an effect object. It holds the last state its twin sent and tells
// which groups of parameters changed since the last successful pass, so a worker recomputes
// only what a change touches.
class TEBaseWorker : public QObject
{
    Q_OBJECT
public:
    // The parent is the worker registered under `parentUid` (none for 0 or an unknown uid).
    TEBaseWorker(const QString& className, unsigned int uid, unsigned int parentUid);
    ~TEBaseWorker() override;

    QString className() const { return m_className; }
    unsigned int uid() const { return m_uid; }
    QVariantMap params() const { return m_stateData.value(QStringLiteral("params")).toMap(); }
    QVariantMap defaultParams() const { return m_stateData.value(QStringLiteral("defaultParams")).toMap(); }
    QVariant paramValue(const QString& key) const { return params().value(key); }

    // True when the group's hash differs from the one kept at the last clearParamsChanges,
    // or when the group was never seen. The group is named by its keys joined.
    bool isPmValueChanged(const QStringList& keys, uint* hash = nullptr);
    bool isPmValueChanged(const QString& key, uint* hash = nullptr);
    // The group's hash as of the last clearParamsChanges (0: none), and a way to set it.
    uint uid(const QString& group) const { return m_lastParamHashes.value(group, 0); }
    void setUid(const QString& group, uint hash) { m_lastParamHashes.insert(group, hash); }
    // True when every listed key that has a default holds it (an empty list: true).
    bool isPmDefaultValue(const QStringList& keys) const;
    bool isPmDefaultValue(const QString& key) const { return isPmDefaultValue(QStringList{key}); }

    static TEBaseWorker* ptr(unsigned int uid);
    // Effect workers alive in the process.
    static int liveCount();
    // Deletes every registered effect worker (at shutdown, with the context current).
    static void clear();

protected:
    bool setStateData(const QVariantMap& stateData);
    QVariantMap stateData() const { return m_stateData; }
    QVariantMap updateData() const { return m_updateData; }
    void setUpdateData(const QString& key, const QVariant& value) { m_updateData.insert(key, value); }
    // One hash of the whole state.
    virtual uint stateUid() const;
    uint paramUid(const QStringList& keys, uint seed) const;
    // The current hashes become the reference: call after a successful pass.
    void clearParamsChanges();
    // Draws `image` in the viewer whose uid the state holds under `stateKey`.
    void drawToTGLImageView(const TSFbo& image, const QString& stateKey) const;

    static QString glGpuRenderer();
    static int glMaxTextureSize();
    static int glRAMSizeKB();
    static QOpenGLFunctions_3_3_Core* funcs();

private:
    QString m_className;
    unsigned int m_uid;
    QVariantMap m_stateData;
    QVariantMap m_updateData;
    QMap<QString, uint> m_lastParamHashes;
    QMap<QString, uint> m_currentParamHashes;

    static QMap<unsigned int, TEBaseWorker*> s_ptrMap;
    static QMutex s_mutex;
};
