#include "engine/tcmd_saveimage.h"

TCmd_SaveImage::TCmd_SaveImage(unsigned int uid, const QUrl& fileName, const QVariantMap& fileParams,
                               const QString& text, QUndoCommand* parent)
    : TCmd(uid, QStringLiteral("TCmd_SaveImage"), false, true, text, parent)
    , m_fileName(fileName)
    , m_fileParams(fileParams)
{
}

bool TCmd_SaveImage::mergeWith(const QUndoCommand* other)
{
    // A save to another file, or with other options, is a separate request: merging it
    // would silently drop a file the user asked for.
    auto* o = dynamic_cast<const TCmd_SaveImage*>(other);
    return o && o->uid() == uid() && o->type() == type() && o->m_fileName == m_fileName
        && o->m_fileParams == m_fileParams;
}
