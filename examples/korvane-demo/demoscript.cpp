#include "demoscript.h"

#include "engine/timpserver.h"
#include "nodes/tnode.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QQuickWindow>

#include <cstdio>

namespace {
const QStringList kSteps{"add", "set", "undo", "redo", "wait", "screenshot"};
}

DemoScript::DemoScript(QQuickWindow* window, TImpServer* server, std::function<bool()> settled, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_server(server)
    , m_settled(std::move(settled))
{
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, &DemoScript::step);
    m_imageTimeout.setSingleShot(true);
    m_imageTimeout.setInterval(5000);
    connect(&m_imageTimeout, &QTimer::timeout, this, &DemoScript::imageShown);
}

void DemoScript::imageShown()
{
    m_awaitingImage = false;
    m_imageTimeout.stop();
}

bool DemoScript::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("script \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!document.isArray()) {
        *error = QStringLiteral("script \"%1\" is not a JSON list of steps: %2").arg(path, parse.errorString());
        return false;
    }
    for (const QJsonValue& value : document.array()) {
        const QJsonObject step = value.toObject();
        if (step.size() != 1 || !kSteps.contains(step.begin().key())) {
            *error = QStringLiteral("script \"%1\": unknown step %2")
                         .arg(path, QString::fromUtf8(QJsonDocument(step).toJson(QJsonDocument::Compact)));
            return false;
        }
    }
    m_steps = document.array();
    return true;
}

void DemoScript::start()
{
    m_next = 0;
    m_poll.start();
}

void DemoScript::step()
{
    if (m_awaitingImage || !m_settled())
        return;
    if (m_next >= m_steps.size()) {
        m_poll.stop();
        emit finished(true);
        return;
    }
    const QJsonObject current = m_steps.at(m_next++).toObject();
    QString error;
    if (!run(current, &error)) {
        m_poll.stop();
        std::fprintf(stderr, "korvane-demo: script step %d: %s\n", m_next, qPrintable(error));
        emit finished(false);
    }
}

bool DemoScript::run(const QJsonObject& step, QString* error)
{
    const QString kind = step.begin().key();
    const QJsonValue value = step.begin().value();
    if (kind == "add" || kind == "set" || kind == "undo" || kind == "redo") {
        m_awaitingImage = true;
        m_imageTimeout.start();
    }
    auto* root = qobject_cast<TNode*>(m_server->rootNode());
    if (kind == "add") {
        m_server->createChild(value.toString(), root);
    } else if (kind == "set") {
        QObject* top = root && root->childCount() > 0 ? root->children().last() : nullptr;
        if (!top) {
            *error = QStringLiteral("no layer to set");
            return false;
        }
        const QJsonObject properties = value.toObject();
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            const int index = top->metaObject()->indexOfProperty(qPrintable(it.key()));
            const QMetaProperty property = top->metaObject()->property(index);
            // JSON numbers arrive as doubles: enumerations take them as their int value.
            QVariant v = property.isEnumType() ? QVariant(it.value().toInt()) : it.value().toVariant();
            if (index < 0 || (!property.isEnumType() && !v.convert(property.userType())) || !property.write(top, v)) {
                *error = QStringLiteral("the top layer cannot take \"%1\"").arg(it.key());
                return false;
            }
        }
    } else if (kind == "undo") {
        m_server->undo();
    } else if (kind == "redo") {
        m_server->redo();
    } else if (kind == "wait") {
        m_poll.stop();
        QTimer::singleShot(value.toInt(), this, [this] { m_poll.start(); });
    } else if (kind == "screenshot") {
        // Half a second more: the window shows the last render a frame or two after it ended.
        m_poll.stop();
        QTimer::singleShot(500, this, [this, file = value.toString()] {
            if (!m_window->grabWindow().save(file)) {
                std::fprintf(stderr, "korvane-demo: cannot write the screenshot \"%s\"\n", qPrintable(file));
                emit finished(false);
                return;
            }
            std::printf("korvane-demo: screenshot written to %s\n", qPrintable(file));
            m_poll.start();
        });
    }
    return true;
}
