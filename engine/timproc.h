#pragma once
// Thread: GUI thread only (the registry lookup `ptr` may be called from any thread).
// Owns: its parameter map and undo-point snapshot; not its worker (the render thread does).
// Errors: unknown keys are skipped with the warning "invalid key: "; lookups return null.

#include "gpu/tuid.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointF>
#include <QVariantMap>

class TCmd;
class TCmd_DrawCmd;
class TImprocWorker;

// GUI-side half of a processing object. It holds the values QML sees as properties
// and turns every edit into a command for the server's queue; it never renders.
class TImproc : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString className READ className CONSTANT)
    Q_PROPERTY(int version READ version CONSTANT)
    Q_PROPERTY(int uid READ uid CONSTANT)
    Q_PROPERTY(InputType inputType READ inputType CONSTANT)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
public:
    enum InputType { NOINPUT = 0, NORMAL = 1, FULLINPUT = 2, STAMP = 3, STAMPFULL = 4 };
    Q_ENUM(InputType)
    enum ProcMode { FULL = 0, LOWREZ = 1, THUMBNAIL = 2, NONE = 3 };
    Q_ENUM(ProcMode)
    enum ProcStatus { CANCELLED = 0, PARAMERROR = 1, PROCERROR = 2, RESOURCE_NONEEXIST = 3, NETWORKFAILED = 4 };
    Q_ENUM(ProcStatus)

    explicit TImproc(QObject* parent = nullptr, unsigned int uid = 0);
    ~TImproc() override;

    QString className() const { return m_params.value(QStringLiteral("className")).toString(); }
    int version() const { return int(m_params.value(QStringLiteral("version")).toFloat()); }
    int uid() const { return int(m_uid.uid()); }
    InputType inputType() const { return InputType(m_params.value(QStringLiteral("inputType")).toInt()); }
    bool active() const { return m_params.value(QStringLiteral("active")).toBool(); }
    bool isRoot() const { return QObject::parent() == nullptr; }
    TImprocWorker* getWorker() const { return m_worker_p; }

    static int ver(int major, int minor, int patch) { return (major * 100 + minor) * 100 + patch; }
    // Two floats are equal when they differ by at most a hundred-thousandth of the smaller
    // magnitude; so 0 replacing 0 is equal and any non-zero value replacing 0 is a change.
    static bool floatValuesEqual(float c, float f);

    virtual TImprocWorker* createImproc() { return nullptr; }
    virtual QVariantMap params() const { return m_params; }
    virtual void setParams(const QVariantMap& params);
    virtual void setParamsOnly(const QVariantMap& params, unsigned int uid);
    virtual TCmd_DrawCmd* createDrawCmd(const QString& which, QPointF normalizedXY, bool isBegin,
                                        bool isEnd, int layerId, const QVariantMap& extra);

    // Entries changed since the last undo point.
    QVariantMap newParams() const;
    // Declares the current values the undo baseline without making a command.
    void doneParams() { m_undoPointParams = m_params; }
    // Store and queue a number; a non-finite one is refused with a warning naming the key.
    bool setParamValue(const QString& key, double v);
    bool setParamValue(const QString& key, float v);

    // False, with a warning naming `key`, for values no parameter may take: NaN, infinities
    // (also inside points, sizes and rectangles) and enum values outside their type.
    bool acceptsValue(const QString& key, const QVariant& value) const;

    static TImproc* ptr(unsigned int uid);
    static int liveCount();

    // GUI edits are numbered; the command taking edits to the worker carries the newest
    // number, and reports it when it has run. Until then the GUI keeps its own values of
    // those keys against updates from the worker (undo, redo), which the edit will follow.
    quint64 lastEditSerial() const { return m_editSerial; }
    void editsReachedWorker(quint64 serial);

signals:
    void errorMessage(QString error);
    void activeChanged(bool arg);

public slots:
    void setActive(bool arg);
    void setUndoPoint();
    virtual void drawCmd(const QString& which, QPointF normalizedXY, bool isBegin, bool isEnd,
                         int layerId, const QVariantMap& extra);
    void drawCmd(const QString& which, QPointF normalizedXY, bool isBegin, bool isEnd, int layerId);
    virtual void updateFbo(const QString& reqTag, const QString& fboId);
    void updateFbo(const QString& reqTag);
    void updateFbo();
    virtual void enqueueReq(TCmd* req_p);
    // Shows the worker's values (after an undo or redo), except for keys the GUI edited
    // after them: those edits are still on their way to the worker.
    void updateParamsFromWorker(QVariantMap params);

protected:
    // For property setters of subclasses: queues a one-key edit unless a whole-map
    // update is in progress.
    void enqueueAParam(const QString& key, const QVariant& value);
    void setWorker(TImprocWorker* worker) { m_worker_p = worker; }
    // Direct access for subclasses' property setters and finalisation.
    QVariantMap m_params;

private:
    // Writes a value through the meta-object property, converting numbers and foreign
    // enum types to the property's own enum. Returns false when the key has no property.
    bool writeProperty(const QString& key, const QVariant& value);

    // Numbers the edit of `key` and returns the command that carries `params` to the worker.
    TCmd* editCommand(const QStringList& keys, const QVariantMap& params, bool undoPoint);

    QVariantMap m_undoPointParams;
    bool m_enqueueParams = true;
    quint64 m_editSerial = 0;
    quint64 m_editsOnWorker = 0;
    QHash<QString, quint64> m_keyEditSerial;
    TUid m_uid;
    TImprocWorker* m_worker_p = nullptr;

    static QMap<unsigned int, TImproc*> m_ptrMap;
    static QMutex m_mutex;
    static int m_count;
};
