#include "engine/tcmd.h"

#include "gpu/tuid.h"

#include <cstdlib>

TCmd::TCmd(unsigned int uid, const QString& type, bool canUndoRedo, bool bUpdateEngine,
           const QString& text, QUndoCommand* parent)
    : QUndoCommand(text, parent)
    , m_uid(uid)
    , m_type(type)
    , m_canUndoRedo(canUndoRedo)
    , m_bUpdateEngine(bUpdateEngine)
{
}

TCmd::~TCmd() = default;

int TCmd::id() const
{
    const int h = int(TUid::hash(m_type, 0));
    // INT_MIN has no positive counterpart; fold it to 0 rather than overflow.
    return h == std::numeric_limits<int>::min() ? 0 : std::abs(h);
}

qint64 TCmd::historyBytes() const
{
    return qint64(sizeof(TCmd)) + (text().size() + m_type.size()) * qint64(sizeof(QChar));
}
