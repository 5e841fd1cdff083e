#include "nodes/tnodeclassinfo.h"
#include "nodes/nodeslogging.h"

#include "nodes/tnodefactory.h"


TNodeClassInfo::TNodeClassInfo(QObject* parent)
    : QObject(parent)
{
}

QStringList TNodeClassInfo::tnodeClasses() const
{
    return TNodeFactory::classNames();
}

QStringList TNodeClassInfo::categoryClasses(QString className, QString category) const
{
    const QStringList preferred = TNodeFactory::preferredClassNames(className);
    const QStringList excludedHere = TNodeFactory::excludeParents(className);
    QStringList result;
    for (const QString& c : TNodeFactory::classNames()) {
        if (TNodeFactory::category(c) == category && !preferred.contains(c) && !excludedHere.contains(c)
            && !TNodeFactory::excludeChildren(c).contains(className))
            result << c;
    }
    result.sort(Qt::CaseSensitive);
    qCDebug(lcNodes) << "TNodeClassInfo::categoryClasses" << className << category << result;
    return result;
}

QStringList TNodeClassInfo::categoryList(QString className) const
{
    QStringList result;
    for (const QString& c : TNodeFactory::classNames()) {
        const QString cat = TNodeFactory::category(c);
        if (!result.contains(cat) && cat != QLatin1String("Hidden") && !categoryClasses(className, cat).isEmpty())
            result << cat;
    }
    result.sort(Qt::CaseSensitive);
    qCDebug(lcNodes) << "TNodeClassInfo::categoryList" << className << result;
    return result;
}

QStringList TNodeClassInfo::preferredClasses(QString className) const
{
    return TNodeFactory::preferredClassNames(className);
}

QUrl TNodeClassInfo::guiQML(QString className) const
{
    return TNodeFactory::guiQML(className);
}

QUrl TNodeClassInfo::icon(QString className) const
{
    return TNodeFactory::icon(className);
}

QString TNodeClassInfo::category(QString className) const
{
    return TNodeFactory::category(className);
}

QString TNodeClassInfo::text(QString className) const
{
    return TNodeFactory::text(className);
}

QString TNodeClassInfo::desc(QString className) const
{
    return TNodeFactory::desc(className);
}
