#pragma once
// Thread: outputs arrive on the render thread (procOutputFbo); subscriptions (insertReq,
//         removeReq, releaseTexture, emitTexture) come from any thread.
// Owns: one display framebuffer per subscribed key (and the previous one after a resize,
//       until every viewer has released it).
// Errors: outputs nobody subscribed to are dropped; unknown keys are ignored.

#include "gpu/tsfbo.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>

// Hands rendered framebuffers to the application's views as textures. A view subscribes to
// a key (request tag, producing node, fbo id) with the size it wants; every new output for
// the key is copied into the key's display framebuffer and announced with textureReady.
class TFboViewProvider : public QObject
{
    Q_OBJECT
public:
    explicit TFboViewProvider(QObject* parent = nullptr);
    ~TFboViewProvider() override;

    // How a requested size is met: Fill gives exactly that size, cropped around the centre
    // to its aspect ratio; Fit gives the output with its aspect kept, shrunk (never
    // enlarged) to fit inside it, so a view shows it pixel for pixel.
    enum class Sizing { Fill, Fit };
    // An invalid size (either side below 1) means the output's own size.
    void insertReq(unsigned int key, QSize size, Sizing sizing = Sizing::Fill);
    // A new size for a key's display, from its next output on (a resized view).
    void setReqSize(unsigned int key, QSize size);
    // The entry goes as soon as no viewer is left, so closed views keep no framebuffers.
    void removeReq(unsigned int key);
    static unsigned int key(const QString& reqTag, int nodeUid, const QString& fboId);

    // The display framebuffer of a key (empty when absent), for views that read it directly.
    TSFbo display(unsigned int key) const;
    // For tests and diagnostics: subscribed keys and viewers of one key (0 when absent).
    int entryCount() const;
    int viewerCount(unsigned int key) const;

signals:
    void textureReady(uint destKey, int textureId, QSize textureSize, float imageScale);

public slots:
    void procOutputFbo(QString reqTag, int nodeUid, QString fboId, TSFbo fbo);
    void releaseTexture(uint key);
    void emitTexture(uint key);

private:
    struct ViewEntry
    {
        QSize size{-1, -1};
        Sizing sizing = Sizing::Fill;
        TSFbo fbo;
        TSFbo prevFbo;
        int viewers = 1;
        int releases = 0;
    };
    struct Announcement
    {
        uint key = 0;
        int texture = 0;
        QSize size;
        float scale = 1.f;
    };
    static Announcement announcementOf(uint key, const ViewEntry& e);
    // The display size of `e` for an output of `output` pixels.
    static QSize displaySize(const ViewEntry& e, const QSize& output);
    // Copies `output` into the display framebuffer, cropping around the centre to keep the
    // aspect ratio when the view asked for another size.
    static void copyInto(ViewEntry& e, const TSFbo& output);

    mutable QMutex m_mutex;
    QMap<unsigned int, ViewEntry> m_entries;
};
