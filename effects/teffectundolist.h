#pragma once
// Thread: GUI thread (the effect's).
// Owns: the undo entries (state documents).
// Errors: stepping past either end answers an empty map and changes nothing.

#include <QList>
#include <QVariantMap>

// An effect's own history: a list of state entries and the position of the current one.
// A new entry after steps back erases the entries ahead of it.
class TEffectUndoList
{
public:
    void append(const QVariantMap& entry);
    // The entry one step back (or ahead), which becomes current; empty at either end.
    QVariantMap stepBack();
    QVariantMap stepForward();
    void clear();

    bool canUndo() const { return undoIndex > 0; }
    bool canRedo() const { return undoIndex < undoList.size() - 1; }
    int count() const { return undoList.size(); }
    // The current entry, or an empty map when there is none.
    QVariantMap current() const { return undoList.value(undoIndex); }

private:
    QList<QVariantMap> undoList;
    int undoIndex = -1;
};
