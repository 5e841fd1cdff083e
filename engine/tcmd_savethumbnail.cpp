#include "engine/tcmd_savethumbnail.h"

TCmd_SaveThumbnail::TCmd_SaveThumbnail(unsigned int uid, const QString& fileName, const QString& text,
                                       QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_SaveThumbnail"), false, true, text, parent)
    , m_fileName(fileName)
{
}

bool TCmd_SaveThumbnail::mergeWith(const QUndoCommand* other)
{
    auto* o = dynamic_cast<const TCmd_SaveThumbnail*>(other);
    return o && o->uid() == uid() && o->type() == type() && o->m_fileName == m_fileName;
}
