#pragma once
// Thread: GUI thread.
// Owns: nothing (reads the node class registry).
// Errors: unknown class names give empty values.

#include <QObject>
#include <QStringList>
#include <QUrl>

// The node class catalogue as QML reads it: classes per category, and the texts and
// pages of each class. Preferred classes are offered apart, never inside a category.
class TNodeClassInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList tnodeClasses READ tnodeClasses CONSTANT)
public:
    explicit TNodeClassInfo(QObject* parent = nullptr);

    QStringList tnodeClasses() const;

public slots:
    QStringList categoryList(QString className) const;
    QStringList categoryClasses(QString className, QString category) const;
    QStringList preferredClasses(QString className) const;
    QUrl guiQML(QString className) const;
    QUrl icon(QString className) const;
    QString category(QString className) const;
    QString text(QString className) const;
    QString desc(QString className) const;
};
