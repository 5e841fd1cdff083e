#pragma once
// Thread: GUI thread.
// Owns: the steps it read; the window, server and photo are the demo's.
// Errors: a file that is not a JSON list of known steps is refused by load() with the reason;
//         a step that cannot be carried out ends the script with finished(false) and a message.

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QQuickWindow;
class TImpServer;

// Plays edits on the demo, each once the engine has rendered the previous one, for a sequence
// of screenshots. The file is a JSON list of steps:
//   {"add": "FillLayer"}            a layer of that class on top
//   {"set": {"blendMode": 3, ...}}  properties of the top layer
//   {"undo": true}, {"redo": true}  the server's undo and redo
//   {"wait": 500}                   milliseconds
//   {"screenshot": "file.png"}      the window as it shows now
class DemoScript : public QObject
{
    Q_OBJECT
public:
    // `settled` says when every queued edit has rendered and the view shows the result.
    DemoScript(QQuickWindow* window, TImpServer* server, std::function<bool()> settled, QObject* parent = nullptr);
    bool load(const QString& path, QString* error);
    void start();
    // The view showed a new render: an edit's result has arrived.
    void imageShown();

signals:
    void finished(bool ok);

private:
    void step();
    bool run(const QJsonObject& step, QString* error);

    QQuickWindow* m_window;
    TImpServer* m_server;
    std::function<bool()> m_settled;
    QJsonArray m_steps;
    int m_next = 0;
    QTimer m_poll;
    // After an edit, the view's next image (or, for an edit that renders nothing, a timeout).
    bool m_awaitingImage = false;
    QTimer m_imageTimeout;
};
