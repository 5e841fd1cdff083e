#include "engine/tengineenums.h"

#include <cstring>

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
    case 1: {
        qint8 x;
        std::memcpy(&x, data, sizeof x);
        return x;
    }
    case 2: {
        qint16 x;
        std::memcpy(&x, data, sizeof x);
        return x;
    }
    case 4: {
        qint32 x;
        std::memcpy(&x, data, sizeof x);
        return x;
    }
    case 8: {
        qint64 x;
        std::memcpy(&x, data, sizeof x);
        return int(x);
    }
    default:
        return v.toInt();
    }
}

QVariant TEngineEnums::make(const QString& typeName, int value)
{
    const int id = QMetaType::type(typeName.toLatin1().constData());
    if (id == QMetaType::UnknownType || QMetaType::sizeOf(id) != int(sizeof(int)))
        return QVariant();
    return QVariant(id, &value);
}
