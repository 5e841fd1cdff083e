#include "effects/teffectundolist.h"

void TEffectUndoList::append(const QVariantMap& entry)
{
    undoList.erase(undoList.begin() + (undoIndex + 1), undoList.end());
    undoList.append(entry);
    undoIndex = undoList.size() - 1;
}

QVariantMap TEffectUndoList::stepBack()
{
    if (!canUndo())
        return QVariantMap();
    return undoList.at(--undoIndex);
}

QVariantMap TEffectUndoList::stepForward()
{
    if (!canRedo())
        return QVariantMap();
    return undoList.at(++undoIndex);
}

void TEffectUndoList::clear()
{
    undoList.clear();
    undoIndex = -1;
}
