#include "gpu/tengineenums.h"

#include <cstring>

namespace {

// An enum stored in a QVariant as an integer of its own width, read without aliasing it.
template <typename Integer>
int storedInteger(const void* data)
{
    Integer x;
    std::memcpy(&x, data, sizeof x);
    return int(x);
}

} // namespace

const QStringList& TEngineEnums::names()
{
    static const QStringList list{
        QStringLiteral("TImproc::InputType"),        QStringLiteral("TImproc::ProcStatus"),
        QStringLiteral("TImproc::ProcMode"),         QStringLiteral("TEffectMask::BlendMode"),
        QStringLiteral("TEffectMask::MaskType"),     QStringLiteral("TEffectMask::SelType"),
        QStringLiteral("TNode::BlendMode"),          QStringLiteral("TNode::SelType"),
        QStringLiteral("TTreeNodeLayer::BlendMode"), QStringLiteral("TTreeNodeLayer::SelType"),
    };
    return list;
}

bool TEngineEnums::isEngineEnum(int metaTypeId)
{
    const char* typeName = QMetaType::typeName(metaTypeId);
    return typeName && names().contains(QLatin1String(typeName));
}

int TEngineEnums::value(const QVariant& v)
{
    const void* data = v.constData();
    switch (QMetaType::sizeOf(v.userType())) {
    case 1: return storedInteger<qint8>(data);
    case 2: return storedInteger<qint16>(data);
    case 4: return storedInteger<qint32>(data);
    case 8: return storedInteger<qint64>(data);
    default: return v.toInt();
    }
}

QVariant TEngineEnums::make(const QString& typeName, int value)
{
    const int id = QMetaType::type(typeName.toLatin1().constData());
    if (id == QMetaType::UnknownType || QMetaType::sizeOf(id) != int(sizeof(int)))
        return QVariant();
    return QVariant(id, &value);
}
