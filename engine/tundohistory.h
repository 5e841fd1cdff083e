#pragma once
// Thread: GUI thread only, like the commands it runs.
// Owns: every command pushed to it, until it drops them (merged, trimmed, cleared or
//       replaced by a new branch).
// Errors: undo or redo past either end does nothing; an end of group without a begin is ignored.

#include <QtGlobal>

#include <memory>
#include <vector>

class TCmd;

// An undo history bounded both in steps and in the bytes its steps hold: the oldest steps
// are dropped when either bound is passed, so a long session of edits (or a few presets of
// deep trees) never grows without end. A step is one command, or a group of commands run
// between beginGroup and endGroup that undo and redo together. A pushed command runs at once,
// then merges into the newest command when that accepts it (mergeWith), as a drag folds into
// one step.
class TUndoHistory
{
public:
    TUndoHistory(int stepLimit, qint64 byteLimit);
    ~TUndoHistory();
    TUndoHistory(const TUndoHistory&) = delete;
    TUndoHistory& operator=(const TUndoHistory&) = delete;

    void push(TCmd* cmd);
    void beginGroup();
    void endGroup();

    bool canUndo() const { return m_index > 0; }
    bool canRedo() const { return m_index < int(m_steps.size()); }
    void undo();
    void redo();
    void clear();

    // Steps held, and how many of them are done (the rest can be redone).
    int count() const { return int(m_steps.size()); }
    int index() const { return m_index; }
    qint64 bytes() const { return m_bytes; }
    int stepLimit() const { return m_stepLimit; }
    qint64 byteLimit() const { return m_byteLimit; }

private:
    struct Step
    {
        std::vector<std::unique_ptr<TCmd>> commands;
        qint64 bytes = 0; // as last counted: when the step was added or merged into
        void count();
    };

    // The command a new one may merge into: the open group's newest, else the newest step's
    // when that is a single command.
    TCmd* mergeCandidate() const;
    void append(std::unique_ptr<Step> step);
    void dropRedoBranch();
    void trim();

    std::vector<std::unique_ptr<Step>> m_steps;
    std::unique_ptr<Step> m_openGroup;
    int m_openDepth = 0;
    int m_index = 0;
    qint64 m_bytes = 0;
    int m_stepLimit;
    qint64 m_byteLimit;
};
