#pragma once
// Thread: GUI thread; its worker loads on the render thread.
// Owns: nothing beyond its parameters (the images live in its worker's list).
// Errors: a URL that is not a file or a file that cannot be read reaches errorMessage and
//         leaves an empty entry of size 0 x 0; saves report through saveFinished.

#include "nodes/tnode.h"

#include <QSize>
#include <QUrl>

// A small history of images for QML to open and browse: setting `imageUrl` loads the file on
// the render thread; `count`, `index` and the image size come back from there. Opening and
// browsing render but are not undo steps; values the worker reports reach the GUI without a
// command. Declared on its own it loads by itself; inside a tree it loads and changes no pixel.
class TImpImageList : public TNode
{
    Q_OBJECT
    Q_PROPERTY(QUrl imageUrl READ imageUrl WRITE setImageUrl NOTIFY imageUrlChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(int index READ index WRITE setIndex NOTIFY indexChanged)
public:
    explicit TImpImageList(TImproc* parent = nullptr, unsigned int uid = 0);

    QUrl imageUrl() const { return m_params.value(QStringLiteral("imageUrl")).toUrl(); }
    int count() const { return m_params.value(QStringLiteral("count")).toInt(); }
    int index() const { return m_params.value(QStringLiteral("index")).toInt(); }
    Q_INVOKABLE void next();
    Q_INVOKABLE void prev();
    Q_INVOKABLE bool bCanNext() const { return index() < count() - 1; }
    Q_INVOKABLE bool bCanPrev() const { return index() > 0; }

public slots:
    void setImageUrl(const QUrl& url);
    void setIndex(int index);
    // Values the worker reports: stored and signalled, no command.
    void setCount(int count);
    void reportIndex(int index);

signals:
    void countChanged(int count);
    void indexChanged(int index);
    void imageUrlChanged(QUrl imageUrl);
    void imageSizeChanged(QSize sz);
    void saveFinished(QUrl fileName, QString error);

private:
    // A user's choice: rendered, but not an undo step.
    void sendToWorker(const QString& key, const QVariant& value);
};
