#pragma once
// Thread: GUI thread; the engine renders on its own thread.
// Owns: the steps of the run and the scratch files of its saves; the nodes belong to the roots.
// Errors: run() returns false at the first broken invariant, with the seed and the shortest
//         step list that still breaks it in report().

#include "gpu/tsmat.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QVariantMap>

class TImpServer;
class TNode;
class TNodeRootWithAdjust;

// One random edit as a host makes it. Its numbers are resolved against the tree when it is
// applied (a node index modulo the node count, a property index modulo the properties), so
// any subset of a run's steps can be replayed.
struct SoakStep
{
    enum Kind { Add, AddNested, Remove, Move, Set, BadValue, UndoPoint, Undo, Redo, Preview, Save, BrokenInput,
                SaveReadOnly };
    Kind kind = Set;
    quint32 a = 0;
    quint32 b = 0;
    double value = 0;
};

// A seeded storm of edits through the public API: layers of every host class added,
// removed, nested and moved; every property set, bad values included; undo and redo;
// previews and saves. After every burst, once the queue has drained, it checks that the
// GUI and the render thread hold the same values, that no node outlives its tree, that
// saves are complete and readable, that the only render errors name the damaged input files
// the storm made (truncated or deleted before a layer referred to them), that saves into a
// read-only folder fail cleanly, and now and then that the tree renders exactly as a fresh tree
// rebuilt from its preset (or fails with the same message).
class SoakStorm
{
public:
    struct Figures
    {
        int bursts = 0;
        int steps = 0;
        int renders = 0;
        int saves = 0;
        int presetChecks = 0;
        qint64 rssStartKB = 0;
        qint64 rssWarmKB = 0;
        qint64 rssEndKB = 0;
    };

    // `readOnlyFolder` may be empty: read-only saves are then left out.
    SoakStorm(TImpServer* server, const TSMat& input, const QString& imagePath, const QString& scratchFolder,
              const QString& readOnlyFolder, quint32 seed);

    bool run(int seconds);
    Figures figures() const { return m_figures; }
    QString report() const { return m_report; }

private:
    QList<SoakStep> makeBurst();
    void apply(const SoakStep& step);
    void setProperty(TNode* node, quint32 which, double value, bool bad);
    // Empty when every invariant holds, else what broke.
    QString check(bool renderCheck);
    QString checkAgreement() const;
    QString checkLiveCounts() const;
    QString checkPresetRender();
    // Full-size renders of the edited tree and its rebuilt copy; false when they never arrive.
    bool renderBoth(TSMat& edited, TSMat& rebuilt, QString& editedError, QString& rebuiltError);
    QString checkErrors();
    QString damagedInput(bool truncated);
    bool namesDamagedInput(const QString& error) const;
    void onSaveFinished(const QString& path, const QString& error);
    // Starts a save of the output into `folder`; returns the file's path.
    QString save(const QString& folder);
    QString finishSaves();
    bool drain();
    // Back to the starting tree, with an empty undo history.
    void reset();
    // Replays `bursts` from the starting tree; true when a check fails again.
    bool failsWith(const QList<QList<SoakStep>>& bursts);
    QList<QList<SoakStep>> reduce(QList<QList<SoakStep>> bursts);
    QList<TNode*> layers() const;
    static QString describe(const SoakStep& step);

    TImpServer* m_server;
    TNodeRootWithAdjust* m_root;
    TNodeRootWithAdjust* m_rebuilt;
    TSMat m_input;
    QString m_imagePath;
    QString m_scratch;
    QString m_readOnly;
    quint32 m_seed;
    QRandomGenerator m_random;
    QVariantMap m_startPreset;
    QStringList m_pendingSaves;
    QStringList m_failedSaves;
    QStringList m_mustFailSaves;
    QStringList m_damagedInputs;
    QStringList m_unexpectedErrors;
    int m_saveSerial = 0;
    Figures m_figures;
    QString m_report;
};
