#include "engine/tcmd_blockandupdate.h"

TCmd_BlockAndUpdate::TCmd_BlockAndUpdate(unsigned int uid, const QString& reqTag, const QString& fboId,
                                         const QString& text, QUndoCommand* parent)
    : TCmd_Update(uid, QStringLiteral("TCmd_BlockAndUpdate"), false, reqTag, fboId, text, parent)
{
}
