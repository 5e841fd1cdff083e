#pragma once
// Thread: GUI thread. Writes the worker's map directly, which is safe only because the
//         server runs commands while no render is in flight; updates the GUI object at once,
//         so the two never disagree after a command has run.
// Owns: the new and old value maps.
// Errors: a missing worker makes redo/undo do nothing.

#include "engine/tcmd.h"

#include <QVariantMap>

// Parameter values for one processing object. Repeated edits fold into one command
// until an undo point closes it, so a drag becomes a single undo step.
class TCmd_Params : public TCmd
{
public:
    TCmd_Params(unsigned int uid, const QVariantMap& params, bool undoPoint, bool canUndoRedo,
                bool bUpdateEngine, const QString& text = QString(), QUndoCommand* parent = nullptr);

    void redo() override;
    void undo() override;
    bool mergeWith(const QUndoCommand* other) override;
    qint64 historyBytes() const override;

    QVariantMap newParams() const { return m_newParams; }
    QVariantMap oldParams() const { return m_oldParams; }
    bool isUndoPoint() const { return m_undoPoint; }
    // The newest GUI edit this command carries (0: none); reported to the GUI when it runs.
    void setGuiEditSerial(quint64 serial) { m_guiEditSerial = serial; }

private:
    void updateGUIParam(const QVariantMap& params) const;

    QVariantMap m_newParams;
    QVariantMap m_oldParams;
    bool m_undoPoint;
    bool m_redoneOnce = false;
    quint64 m_guiEditSerial = 0;
};
