#include "engine/tcmd_update.h"

TCmd_Update::TCmd_Update(unsigned int uid, const QString& reqTag, const QString& fboId,
                         const QString& text, QUndoCommand* parent)
    : TCmd_Update(uid, QStringLiteral("TCmd_Update"), true, reqTag, fboId, text, parent)
{
}

TCmd_Update::TCmd_Update(unsigned int uid, const QString& type, bool bUpdateEngine, const QString& reqTag,
                         const QString& fboId, const QString& text, QUndoCommand* parent)
    : TCmd(uid, type, false, bUpdateEngine, text, parent)
    , m_reqTag(reqTag)
    , m_fboId(fboId)
{
}
