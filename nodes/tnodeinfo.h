#pragma once
// Thread: any (plain value).
// Owns: its texts and lists.
// Errors: none.

#include <QString>
#include <QStringList>
#include <QUrl>

// What the user interface shows about a node class, and which classes may nest in which.
struct TNodeInfo
{
    TNodeInfo(const QString& text = QString(), const QString& category = QString(), const QUrl& icon = QUrl(),
              const QString& desc = QString(), const QStringList& preferredClasses = QStringList(),
              const QStringList& excludeParents = QStringList(), const QStringList& excludeChildren = QStringList())
        : text(text), category(category), icon(icon), desc(desc), preferredClasses(preferredClasses)
        , excludeParents(excludeParents), excludeChildren(excludeChildren)
    {
    }

    QString text;
    QString category;
    QUrl icon;
    QString desc;
    QStringList preferredClasses;
    QStringList excludeParents;
    QStringList excludeChildren;
};
