#pragma once
// Thread: GUI thread; the worker answers through queued signals only.
// Owns: its layer tree's root, the waiting requests, its undo history, the scratch trees of
//       the preset thumbnails it has asked for (until each is answered, cancelled or cleared).
// Errors: preset errors are returned as the messages below and change nothing; a request
//         the worker cannot finish ends with procDone(tag, false, message) and leaves
//         `output` and the previews as they were.

#include "effects/tebase.h"
#include "effects/teffectrequestqueue.h"
#include "effects/teffectundolist.h"
#include "gpu/tsmat.h"

#include <QMap>
#include <QTimer>

#include <map>

#include <memory>

class TTreeNode;

// One image effect as QML drives it: inputs, parameters, previewer ids and decimation in its
// state; requests (preview, full-resolution output, preset thumbnails) queued one at a time
// to its render-thread twin, previews coalesced; an undo history of its own; presets; the
// root of its layer tree. A concrete effect is a host subclass pair registered with TEFactory.
class TEffect : public TEBase
{
    Q_OBJECT
    Q_PROPERTY(TSMat input READ input WRITE setInput NOTIFY inputChanged)
    Q_PROPERTY(TSMat input1 READ input1 WRITE setInput1 NOTIFY input1Changed)
    Q_PROPERTY(TSMat output READ output NOTIFY outputChanged)
    Q_PROPERTY(uint inputPreviewerUid READ inputPreviewerUid WRITE setInputPreviewerUid NOTIFY inputPreviewerUidChanged)
    Q_PROPERTY(uint previewerUid READ previewerUid WRITE setPreviewerUid NOTIFY previewerUidChanged)
    Q_PROPERTY(int decimation READ decimation WRITE setDecimation NOTIFY decimationChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY canUndoChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY canRedoChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(bool isProcPresetActive READ isProcPresetActive WRITE setIsProcPresetActive
                   NOTIFY isProcPresetActiveChanged)
    Q_PROPERTY(QVariantMap paramsInfo READ paramsInfo NOTIFY paramsInfoChanged)
    Q_PROPERTY(TTreeNode* rootNode READ rootNode WRITE setRootNode NOTIFY rootNodeChanged)
public:
    explicit TEffect(QObject* parent = nullptr);
    ~TEffect() override;

    TSMat input() const { return m_stateData.value(QStringLiteral("input")).value<TSMat>(); }
    TSMat input1() const { return m_stateData.value(QStringLiteral("input1")).value<TSMat>(); }
    TSMat output() const { return m_output; }
    uint inputPreviewerUid() const { return m_stateData.value(QStringLiteral("inputPreviewerUid")).toUInt(); }
    uint previewerUid() const { return m_stateData.value(QStringLiteral("previewerUid")).toUInt(); }
    int decimation() const { return m_stateData.value(QStringLiteral("decimation")).toInt(); }
    bool isBusy() const { return m_isBusy; }
    bool isProcPresetActive() const { return m_isProcPresetActive; }
    QVariantMap paramsInfo() const { return m_paramsInfo; }
    TTreeNode* rootNode() const { return m_rootNode; }

    // The reduction a preset thumbnail is rendered at: about 512 pixels on the longer side.
    int presetDecimation() const;
    QVariantMap allStateData() const;
    QVariantMap persistStateData() const;
    bool setAllStateData(const QVariantMap& state);
    QVariantMap currentStateData() const { return m_undo.current(); }
    // Requests waiting for the worker and parked preset requests (for tests and tools).
    int waitingRequests() const { return m_queue.waiting(); }
    int parkedRequests() const { return m_queue.parked(); }

    Q_INVOKABLE bool hasUndoHistory() const { return m_undo.count() > 1; }
    Q_INVOKABLE int getNumUndos() const { return m_undo.count(); }

    static bool isAnyBusy();

public slots:
    void setInput(const TSMat& image);
    void setInput1(const TSMat& image);
    void setOutput(const TSMat& image);
    void setPreviewerUid(uint uid);
    void setInputPreviewerUid(uint uid);
    void setDecimation(int decimation);
    bool setRootNodeClass(const QString& className);
    QVariantMap getPreset() const;
    QString setPreset(const QVariantMap& preset);
    virtual void procPreview(bool bForceDraw = false);
    virtual void procOutput();
    virtual QString procPreset(const QString& presetId, const QVariantMap& preset);
    virtual void cancelPreset(const QString& presetId);
    virtual void clearProcQueue();
    void addToParamsInfo(const QVariantMap& info);
    void setUndoPoint();
    virtual QVariantMap undo();
    virtual QVariantMap redo();
    virtual bool canUndo() const { return m_undo.canUndo(); }
    virtual bool canRedo() const { return m_undo.canRedo(); }
    void prepareToQuit();
    virtual void procFinished(QString reqTag, bool isSuccess, QVariantMap updateData);
    void clearUndoHistory();
    void setRootNode(TTreeNode* node);
    void setIsProcPresetActive(bool active);
    void procPreviewImp();
    void clearParamsInfo();
    void procDeadlockTimeout();

signals:
    void inputChanged(TSMat);
    void input1Changed(TSMat);
    void outputChanged(TSMat);
    void presetImage(QString presetId, TSMat image);
    void previewerUidChanged(uint);
    void inputPreviewerUidChanged(uint);
    void decimationChanged(int);
    void paramsInfoChanged(QVariantMap);
    void canUndoChanged(bool);
    void canRedoChanged(bool);
    void blockingBusy(int percent, QString message);
    void isBusyChanged(bool);
    void procDone(QString reqTag, bool isSuccess, QString msg);
    void createWorker(QString className, uint uid, uint parentUid);
    void deleteWorker(uint uid);
    void reParentWorker(uint uid, uint parentUid);
    void readyToQuit();
    void reqProc(QString reqTag, QVariantMap procData);
    void reqCancel();
    void rootNodeChanged();
    void isProcPresetActiveChanged(bool);

protected:
    void finalizeConstructor(const QString& className, int version) override;
    void onParentChanged() override;
    // Hands a request to the worker at once, past the queue.
    void proc(const QString& reqTag, const QVariantMap& data);
    virtual bool postProcUpdate(const QString& reqTag, bool isSuccess, const QVariantMap& updateData);
    // Empties the state every preview and output request takes along once (the pending
    // samples of a subclass, under TEffectRequestQueue::kPointsKey); none here.
    virtual void clearStateValue() {}
    virtual void setUndoPointImp(const QVariantMap& extra);
    void appendToUndoList(const QVariantMap& entry);
    static bool isPreparingToQuit() { return m_bPrepareToQuit; }

private:
    template <typename T>
    void setStateValue(const QString& key, const T& value, void (TEffect::*changed)(T));
    void handleProcReqQueue();
    // `node` becomes the root, the current root's children moved into it in order.
    void replaceRoot(TTreeNode* node);
    void setBusy(bool busy);
    // Applies an undo entry and reports what changed; the entry without its internals.
    QVariantMap applyUndoEntry(const QVariantMap& entry, bool couldUndo, bool couldRedo);
    // The preset's own parameters, converted to this version; empty on success, else the error.
    QString presetParams(const QVariantMap& preset, QVariantMap& params);
    // The request a preset would make, built from copies; empty with `error` set on failure.
    QVariantMap presetRequest(const QVariantMap& preset, std::unique_ptr<TTreeNode>& scratch, QString& error);
    // Lets go of the scratch tree a request carried (its nodes' workers go with it).
    void releaseScratch(const QVariantMap& request);
    void releaseScratch(const QList<QVariantMap>& requests);

    TSMat m_output;
    QTimer m_deadlockTimer;
    bool m_isProcPresetActive = true;
    TEffectRequestQueue m_queue;
    TEffectUndoList m_undo;
    QTimer m_previewTimer;
    bool m_isBusy = false;
    TTreeNode* m_rootNode = nullptr;
    QVariantMap m_paramsInfo;
    std::map<quint64, std::unique_ptr<TTreeNode>> m_scratchTrees;
    quint64 m_scratchSerial = 0;
    // Requests with the worker that carried a scratch tree: their tags and trees.
    QList<QPair<QString, quint64>> m_scratchInFlight;

    static bool m_bPrepareToQuit;
};
