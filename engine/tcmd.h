#pragma once
// Thread: GUI thread only (created, merged, executed and undone there).
// Owns: its fields; the queue, then the undo stack, owns the command.
// Errors: a command whose target is gone does nothing in redo/undo.

#include <QString>
#include <QUndoCommand>

// Base of every queued node command: names its target by uid and says whether it
// goes on the undo stack and whether the render thread must run after it.
class TCmd : public QUndoCommand
{
public:
    TCmd(unsigned int uid, const QString& type, bool canUndoRedo, bool bUpdateEngine,
         const QString& text = QString(), QUndoCommand* parent = nullptr);
    ~TCmd() override;

    // All commands of one type share one id, so the undo stack offers them to mergeWith.
    int id() const override;
    virtual bool canUndoRedo() const { return m_canUndoRedo; }

    unsigned int uid() const { return m_uid; }
    QString type() const { return m_type; }
    void setType(const QString& type) { m_type = type; }
    void setCanUndoRedo(bool b) { m_canUndoRedo = b; }
    bool bUpdateEngine() const { return m_bUpdateEngine; }
    // About what the command holds while it waits in the undo history, in bytes.
    virtual qint64 historyBytes() const;

private:
    unsigned int m_uid;
    QString m_type;
    bool m_canUndoRedo;
    bool m_bUpdateEngine;
};
