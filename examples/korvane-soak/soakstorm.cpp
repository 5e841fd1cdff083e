#include "soakstorm.h"

#include "hostnodes/enginehost.h"

#include "engine/timprocworker.h"
#include "engine/timpserver.h"
#include "gpu/tengineenums.h"
#include "io/imageiomanager.h"
#include "nodes/tnoderootwithadjust.h"
#include "nodes/tnoderootworker.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaProperty>
#include "engine/tundohistory.h"
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {
constexpr int kDrainMs = 120000;
constexpr int kOutputMs = 20000;
constexpr int kMaxLayers = 12;
constexpr int kPresetCheckEvery = 10;
constexpr int kReplayBudget = 30;
const QStringList kLayerClasses{"FillLayer", "LevelsLayer", "BlurLayer", "ImageLayer"};
// Identity, files and the canvas are not edited by the storm: it edits what a user drags.
const QStringList kUnedited{"className", "uid", "version", "source", "text", "imageUrl", "inputType", "procMode"};

qint64 residentKB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// Parameter values in one form whatever type carried them: numbers (enums included) as
// float, everything else as it is.
QVariant comparable(const QVariant& v)
{
    if (TEngineEnums::isEngineEnum(v.userType()))
        return QVariant(float(TEngineEnums::value(v)));
    switch (v.userType()) {
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Int: case QMetaType::UInt:
    case QMetaType::LongLong: case QMetaType::Bool:
        return QVariant(v.toFloat());
    default:
        return v;
    }
}

// The writable properties a storm may set: the node's own and its base classes' parameters.
QList<QMetaProperty> editableProperties(const QObject* node)
{
    QList<QMetaProperty> list;
    const QMetaObject* mo = node->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        const int type = p.userType();
        const bool settable = p.isEnumType() || type == QMetaType::Float || type == QMetaType::Double
            || type == QMetaType::Bool || type == QMetaType::QPointF || type == QMetaType::QColor;
        if (p.isWritable() && settable && !kUnedited.contains(QLatin1String(p.name())))
            list << p;
    }
    return list;
}

// A value of the property's kind from `x` in [0, 1), spread over a range that renders
// something visible for the usual parameters.
QVariant valueFor(const QMetaProperty& p, double x)
{
    if (p.isEnumType()) {
        const QMetaEnum e = p.enumerator();
        return e.value(std::min(e.keyCount() - 1, int(x * e.keyCount())));
    }
    const QByteArray name(p.name());
    switch (p.userType()) {
    case QMetaType::Bool:
        return x < 0.5;
    case QMetaType::QPointF:
        return QPointF(x, std::fmod(x * 7.0, 1.0));
    case QMetaType::QColor:
        return QColor::fromHsvF(x, 0.7, 0.9);
    default:
        if (name == "scale" || name == "inputScale")
            return 0.25 + 1.5 * x;
        if (name.contains("otate") || name == "angle")
            return 360.0 * x - 180.0;
        if (name == "exposure")
            return 4.0 * x - 2.0;
        if (name == "gamma")
            return 0.2 + 3.0 * x;
        if (name == "radius")
            return 60.0 * x;
        return x;
    }
}

QVariant badValueFor(const QMetaProperty& p, double x)
{
    if (p.isEnumType())
        return 99;
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e30};
    if (p.userType() == QMetaType::QPointF)
        return QPointF(bad[int(x * 4) % 4], 0.5);
    return bad[int(x * 4) % 4];
}

// The first key, by path, where two parameter maps or presets disagree (a key held by one
// side only counts); empty when they agree.
QString firstDifference(const QVariantMap& a, const QVariantMap& b, const QString& path)
{
    QStringList keys = a.keys() + b.keys();
    keys.removeDuplicates();
    std::sort(keys.begin(), keys.end());
    for (const QString& key : keys) {
        const QString where = path.isEmpty() ? key : path + '.' + key;
        if (!a.contains(key) || !b.contains(key))
            return QStringLiteral("\"%1\" only on the %2 side").arg(where, a.contains(key) ? "first" : "second");
        const QVariant x = a.value(key);
        const QVariant y = b.value(key);
        if (x.userType() == QMetaType::QVariantList && y.userType() == QMetaType::QVariantList) {
            const QVariantList xs = x.toList();
            const QVariantList ys = y.toList();
            if (xs.size() != ys.size())
                return QStringLiteral("\"%1\" holds %2 against %3 entries").arg(where).arg(xs.size()).arg(ys.size());
            for (int i = 0; i < xs.size(); ++i) {
                const QString inner = firstDifference(xs[i].toMap(), ys[i].toMap(), where + '[' + QString::number(i) + ']');
                if (!inner.isEmpty())
                    return inner;
            }
        } else if (comparable(x) != comparable(y)) {
            return QStringLiteral("\"%1\" is %2 against %3").arg(where, comparable(x).toString(), comparable(y).toString());
        }
    }
    return QString();
}

// Where the render-thread copies of two trees first differ, node by node in the workers'
// own child order (uids aside); empty when they agree. Read once the queue has drained.
QString workerDifference(const TImprocWorker* a, const TImprocWorker* b, const QString& path)
{
    if (!a || !b)
        return QStringLiteral("%1: a node without a worker").arg(path);
    QVariantMap x = a->params();
    QVariantMap y = b->params();
    x.remove(QStringLiteral("uid"));
    y.remove(QStringLiteral("uid"));
    const QString own = firstDifference(x, y, path);
    if (!own.isEmpty())
        return own;
    QList<const TImprocWorker*> xs, ys;
    for (const QObject* c : a->children())
        if (auto* w = qobject_cast<const TImprocWorker*>(c))
            xs << w;
    for (const QObject* c : b->children())
        if (auto* w = qobject_cast<const TImprocWorker*>(c))
            ys << w;
    if (xs.size() != ys.size())
        return QStringLiteral("%1: %2 against %3 child workers").arg(path).arg(xs.size()).arg(ys.size());
    for (int i = 0; i < xs.size(); ++i) {
        const QString inner = workerDifference(xs[i], ys[i], QStringLiteral("%1/%2 %3").arg(path).arg(i).arg(xs[i]->className()));
        if (!inner.isEmpty())
            return inner;
    }
    return QString();
}

void collect(TNode* node, QList<TNode*>& out)
{
    for (int i = 0; i < node->childCount(); ++i) {
        if (TNode* child = node->child(i)) {
            out << child;
            collect(child, out);
        }
    }
}
} // namespace

SoakStorm::SoakStorm(TImpServer* server, const TSMat& input, const QString& imagePath, const QString& scratchFolder,
                     const QString& readOnlyFolder, quint32 seed)
    : m_server(server)
    , m_root(qobject_cast<TNodeRootWithAdjust*>(server->rootNode()))
    , m_rebuilt(qobject_cast<TNodeRootWithAdjust*>(server->thumbnails()))
    , m_input(input)
    , m_imagePath(imagePath)
    , m_scratch(scratchFolder)
    , m_readOnly(readOnlyFolder)
    , m_seed(seed)
    , m_random(seed)
{
    QObject::connect(m_server, &TImpServer::runImproc, m_server, [this] { ++m_figures.renders; });
    QObject::connect(m_root, &TNodeRoot::saveFinished, m_root,
                     [this](const QUrl& url, const QString& error) { onSaveFinished(url.toLocalFile(), error); });
    QObject::connect(m_root, &TImproc::errorMessage, m_root, [this](const QString& error) {
        if (!namesDamagedInput(error))
            m_unexpectedErrors << error;
    });
    m_root->setInput(m_input);
    m_rebuilt->setInput(m_input);
    drain();
    m_startPreset = m_root->preset();
}

void SoakStorm::onSaveFinished(const QString& path, const QString& error)
{
    m_pendingSaves.removeOne(path);
    if (m_mustFailSaves.removeOne(path)) {
        if (error.isEmpty() || QFile::exists(path))
            m_failedSaves << path + ": a save into a read-only folder did not fail cleanly";
        return;
    }
    if (!error.isEmpty()) {
        // A tree holding a layer on a damaged file cannot be saved: that must be the reason
        // given, and nothing may be left behind.
        if (!namesDamagedInput(error))
            m_failedSaves << path + ": " + error;
        else if (QFile::exists(path))
            m_failedSaves << path + ": a failed save left a file";
    } else if (ImageIOManager::getImageSize(path) != m_root->canvasSize())
        m_failedSaves << path + ": reads back as " + QString::number(ImageIOManager::getImageSize(path).width())
                + " pixels wide, not the canvas's " + QString::number(m_root->canvasSize().width());
    QFile::remove(path);
}

bool SoakStorm::namesDamagedInput(const QString& error) const
{
    return std::any_of(m_damagedInputs.cbegin(), m_damagedInputs.cend(),
                       [&](const QString& path) { return error.contains(path); });
}

// A new input file, damaged before any layer refers to it: cut to half its length, or
// written and deleted again.
QString SoakStorm::damagedInput(bool truncated)
{
    const QString path = QDir(m_scratch).filePath(QStringLiteral("input-%1.png").arg(m_damagedInputs.size() + 1));
    QFile::remove(path);
    QFile source(m_imagePath);
    QFile target(path);
    if (source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly))
        target.write(source.read(truncated ? source.size() / 2 : source.size()));
    target.close();
    if (!truncated)
        QFile::remove(path);
    m_damagedInputs << path;
    return path;
}

QList<TNode*> SoakStorm::layers() const
{
    QList<TNode*> list;
    collect(m_root, list);
    return list;
}

QList<SoakStep> SoakStorm::makeBurst()
{
    // Weights of the kinds, in the order of SoakStep::Kind.
    static const int weights[] = {12, 4, 7, 5, 45, 3, 6, 7, 5, 4, 2, 1, 1};
    int total = 0;
    for (int w : weights)
        total += w;
    QList<SoakStep> burst;
    const int length = 1 + int(m_random.bounded(20));
    for (int i = 0; i < length; ++i) {
        int pick = int(m_random.bounded(total));
        int kind = 0;
        while (pick >= weights[kind])
            pick -= weights[kind++];
        burst << SoakStep{SoakStep::Kind(kind), m_random.generate(), m_random.generate(), m_random.generateDouble()};
    }
    return burst;
}

void SoakStorm::apply(const SoakStep& step)
{
    ++m_figures.steps;
    const QList<TNode*> nodes = layers();
    TNode* some = nodes.isEmpty() ? nullptr : nodes.at(int(step.a % uint(nodes.size())));
    switch (step.kind) {
    case SoakStep::Add:
    case SoakStep::AddNested: {
        if (m_root->childCount() >= kMaxLayers)
            return;
        const QString cls = kLayerClasses.at(int(step.b % uint(kLayerClasses.size())));
        if (step.kind == SoakStep::AddNested && some && cls != "ImageLayer")
            m_server->createChild(cls, some);
        else if (cls == "ImageLayer")
            m_root->attachPreset({{"className", cls}, {"source", m_imagePath}, {"opacity", step.value}});
        else
            m_root->attachPreset({{"className", cls}, {"opacity", step.value}});
        return;
    }
    case SoakStep::Remove:
        if (some)
            m_server->deleteNode(some);
        return;
    case SoakStep::Move:
        if (m_root->childCount() > 1)
            m_root->move(step.a % uint(m_root->childCount()), step.b % uint(m_root->childCount()));
        return;
    case SoakStep::Set:
    case SoakStep::BadValue:
        // One edit in eight goes to the root (brightness, contrast, canvas placement).
        setProperty(some && step.b % 8 ? some : m_root, step.b / 8, step.value, step.kind == SoakStep::BadValue);
        return;
    case SoakStep::UndoPoint:
        (some ? static_cast<TImproc*>(some) : m_root)->setUndoPoint();
        return;
    case SoakStep::Undo:
    case SoakStep::Redo:
        for (uint i = 0; i <= step.a % 3; ++i)
            step.kind == SoakStep::Undo ? m_server->undo() : m_server->redo();
        return;
    case SoakStep::Preview:
        m_root->updateFbo();
        return;
    case SoakStep::Save:
        save(m_scratch);
        return;
    case SoakStep::BrokenInput:
        if (m_root->childCount() < kMaxLayers)
            m_root->attachPreset({{"className", "ImageLayer"}, {"source", damagedInput(step.value < 0.5)}});
        return;
    case SoakStep::SaveReadOnly:
        if (!m_readOnly.isEmpty())
            m_mustFailSaves << save(m_readOnly);
        return;
    }
}

QString SoakStorm::save(const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("save-%1.png").arg(++m_saveSerial));
    m_pendingSaves << path;
    ++m_figures.saves;
    m_root->saveOutputToFile(QUrl::fromLocalFile(path), {{"IMAGE_FORMAT", "PNG"}, {"FILE_URL", path},
                                                         {"COLOR_SPACE", "DEFAULT"}, {"PNG_COMPRESSION", "DEFAULT"},
                                                         {"PNG_INTERLACE", "NONE"}, {"PNG_BITDEPTH", "8 bit"}});
    return path;
}

void SoakStorm::setProperty(TNode* node, quint32 which, double value, bool bad)
{
    const QList<QMetaProperty> properties = editableProperties(node);
    if (properties.isEmpty())
        return;
    const QMetaProperty p = properties.at(int(which % uint(properties.size())));
    // A bad enum value goes through a map, as presets carry it: written to the property
    // directly it would be undefined behaviour before any check could run.
    if (bad && p.isEnumType())
        node->setParams({{QString::fromLatin1(p.name()), badValueFor(p, value)}});
    else
        p.write(node, bad ? badValueFor(p, value) : valueFor(p, value));
}

bool SoakStorm::drain()
{
    return EngineHost::waitUntil([] { return TImpServer::isIdle(); }, kDrainMs);
}

QString SoakStorm::finishSaves()
{
    if (!EngineHost::waitUntil([this] { return m_pendingSaves.isEmpty(); }, kDrainMs))
        return QStringLiteral("saves never reported: ") + m_pendingSaves.join(", ");
    const QString failed = m_failedSaves.join("; ");
    m_failedSaves.clear();
    return failed.isEmpty() ? QString() : QStringLiteral("saves failed: ") + failed;
}

QString SoakStorm::checkAgreement() const
{
    QList<TNode*> nodes{m_root};
    nodes += layers();
    for (TNode* node : nodes) {
        TImprocWorker* worker = TImprocWorker::ptr(unsigned(node->uid()));
        if (!worker)
            return QStringLiteral("%1 %2 has no worker").arg(node->className()).arg(node->uid());
        const QVariantMap gui = node->params();
        const QVariantMap rendered = worker->params();
        const QString differs = firstDifference(gui, rendered, QString());
        if (!differs.isEmpty())
            return QStringLiteral("%1 %2: %3 (GUI, render thread)").arg(node->className()).arg(node->uid()).arg(differs);
    }
    // The canvas is no parameter, but undo and redo move it the same way.
    const auto* rootWorker = qobject_cast<const TNodeRootWorker*>(TImprocWorker::ptr(unsigned(m_root->uid())));
    if (rootWorker && (rootWorker->canvasColor() != m_root->canvasColor() || rootWorker->canvasSize() != m_root->canvasSize()))
        return QStringLiteral("the canvas is %1 %2x%3 on the GUI, %4 %5x%6 on the render thread")
            .arg(m_root->canvasColor().name(QColor::HexArgb)).arg(m_root->canvasSize().width())
            .arg(m_root->canvasSize().height()).arg(rootWorker->canvasColor().name(QColor::HexArgb))
            .arg(rootWorker->canvasSize().width()).arg(rootWorker->canvasSize().height());
    return QString();
}

QString SoakStorm::checkLiveCounts() const
{
    QList<TNode*> all;
    collect(m_root, all);
    collect(m_rebuilt, all);
    const int inTrees = all.size() + 2; // the two roots
    if (TImproc::liveCount() != inTrees || TImprocWorker::liveCount() != inTrees)
        return QStringLiteral("%1 nodes and %2 workers alive, %3 nodes in the trees")
            .arg(TImproc::liveCount()).arg(TImprocWorker::liveCount()).arg(inTrees);
    return QString();
}

bool SoakStorm::renderBoth(TSMat& edited, TSMat& rebuilt, QString& editedError, QString& rebuiltError)
{
    edited = rebuilt = TSMat();
    editedError.clear();
    rebuiltError.clear();
    const QList<QMetaObject::Connection> connections{
        QObject::connect(m_root, &TNodeRoot::outputChanged, m_root, [&](TSMat m) { edited = m; }),
        QObject::connect(m_rebuilt, &TNodeRoot::outputChanged, m_rebuilt, [&](TSMat m) { rebuilt = m; }),
        // A full-size render that fails says so where a save would.
        QObject::connect(m_root, &TNodeRoot::saveFinished, m_root,
                         [&](const QUrl&, const QString& error) { editedError = error; }),
        QObject::connect(m_rebuilt, &TNodeRoot::saveFinished, m_rebuilt,
                         [&](const QUrl&, const QString& error) { rebuiltError = error; })};
    // An output equal to the last one is not signalled again: start from none.
    m_root->setOutput(TSMat());
    m_rebuilt->setOutput(TSMat());
    m_root->apply();
    m_rebuilt->apply();
    const auto finished = [](const TSMat& m, const QString& error) { return !m.isEmpty() || !error.isEmpty(); };
    const bool rendered = drain() && EngineHost::waitUntil([&] {
        return finished(edited, editedError) && finished(rebuilt, rebuiltError);
    }, kOutputMs);
    for (const QMetaObject::Connection& c : connections)
        QObject::disconnect(c);
    return rendered;
}

namespace {
// Values that differ between two renders, and by how much at most; "" when they agree.
QString renderDifference(const TSMat& a, const TSMat& b)
{
    const cv::Mat x = a.mat();
    const cv::Mat y = b.mat();
    if (x.size != y.size || x.type() != y.type())
        return QStringLiteral("another size or type");
    cv::Mat diff;
    cv::absdiff(x, y, diff);
    const int differing = cv::countNonZero(diff.reshape(1));
    if (differing == 0)
        return QString();
    double worst = 0;
    cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
    return QStringLiteral("%1 values differ, by up to %2").arg(differing).arg(worst);
}
} // namespace

QString SoakStorm::checkPresetRender()
{
    ++m_figures.presetChecks;
    const QVariantMap preset = m_root->preset();
    m_rebuilt->setPreset(preset);
    const QString presetLost = firstDifference(preset, m_rebuilt->preset(), QString());
    TSMat edited, rebuilt;
    QString editedError, rebuiltError;
    const bool rendered = renderBoth(edited, rebuilt, editedError, rebuiltError);
    const QString workersDiffer = workerDifference(TImprocWorker::ptr(unsigned(m_root->uid())),
                                                   TImprocWorker::ptr(unsigned(m_rebuilt->uid())), QStringLiteral("root"));
    // Rendered once more, nothing changed: tells a stale first render from a lasting difference.
    QString again;
    if (rendered && editedError.isEmpty() && !renderDifference(edited, rebuilt).isEmpty()) {
        TSMat edited2, rebuilt2;
        QString e1, e2;
        if (renderBoth(edited2, rebuilt2, e1, e2))
            again = QStringLiteral("; rendered again, the edited tree: %1 against its first render, %2 against its copy")
                        .arg(renderDifference(edited2, edited), renderDifference(edited2, rebuilt2));
    }
    m_rebuilt->removeAllChildren();
    drain();
    const QString failure = m_failedSaves.join("; ");
    m_failedSaves.clear();
    if (!rendered)
        return QStringLiteral("the full-size renders for the preset check never arrived (%1, %2) %3")
            .arg(edited.isEmpty() ? "edited tree: none" : "edited tree: arrived",
                 rebuilt.isEmpty() ? "rebuilt tree: none" : "rebuilt tree: arrived", failure);
    // A tree holding a layer on a damaged file fails, and its rebuilt copy must fail alike.
    if (editedError != rebuiltError)
        return QStringLiteral("the tree and its rebuilt copy end differently: \"%1\" against \"%2\"")
            .arg(editedError, rebuiltError);
    if (!editedError.isEmpty())
        return QString();
    const QString differs = renderDifference(edited, rebuilt);
    if (differs.isEmpty())
        return QString();
    return QStringLiteral("the tree rebuilt from its preset renders differently: %1").arg(differs)
        + (presetLost.isEmpty() ? QString() : QStringLiteral(" (edited, rebuilt preset: %1)").arg(presetLost))
        + (workersDiffer.isEmpty() ? QString() : QStringLiteral(" (edited, rebuilt workers: %1)").arg(workersDiffer))
        + again;
}

QString SoakStorm::checkErrors()
{
    const QString unexpected = m_unexpectedErrors.join("; ");
    m_unexpectedErrors.clear();
    return unexpected.isEmpty() ? QString() : QStringLiteral("render errors naming no damaged file: ") + unexpected;
}

QString SoakStorm::check(bool renderCheck)
{
    if (!drain())
        return QStringLiteral("the queue did not drain within %1 s").arg(kDrainMs / 1000);
    for (const QString& broken : {finishSaves(), checkAgreement(), checkLiveCounts(), checkErrors()}) {
        if (!broken.isEmpty())
            return broken;
    }
    return renderCheck ? checkPresetRender() : QString();
}

void SoakStorm::reset()
{
    drain();
    m_root->removeAllChildren();
    m_rebuilt->removeAllChildren();
    m_root->setPreset(m_startPreset);
    drain();
    finishSaves();
    TImpServer::undoStack()->clear();
}

bool SoakStorm::failsWith(const QList<QList<SoakStep>>& bursts)
{
    reset();
    for (int i = 0; i < bursts.size(); ++i) {
        for (const SoakStep& step : bursts.at(i))
            apply(step);
        if (!check(i == bursts.size() - 1).isEmpty())
            return true;
    }
    return false;
}

QList<QList<SoakStep>> SoakStorm::reduce(QList<QList<SoakStep>> bursts)
{
    int replays = 0;
    // Whole bursts first, in halves, then quarters, down to single bursts; then single steps.
    for (int chunk = std::max(1, bursts.size() / 2); chunk >= 1 && replays < kReplayBudget; chunk /= 2) {
        for (int i = 0; i < bursts.size() && bursts.size() > 1 && replays < kReplayBudget;) {
            QList<QList<SoakStep>> candidate = bursts;
            candidate.erase(candidate.begin() + i, candidate.begin() + std::min(i + chunk, int(candidate.size())));
            ++replays;
            if (!candidate.isEmpty() && failsWith(candidate))
                bursts = candidate;
            else
                i += chunk;
        }
    }
    for (int b = 0; b < bursts.size(); ++b) {
        for (int s = 0; s < bursts[b].size() && bursts[b].size() > 1 && replays < kReplayBudget;) {
            QList<QList<SoakStep>> candidate = bursts;
            candidate[b].removeAt(s);
            ++replays;
            if (failsWith(candidate))
                bursts = candidate;
            else
                ++s;
        }
    }
    return bursts;
}

QString SoakStorm::describe(const SoakStep& step)
{
    static const char* names[] = {"add", "add nested", "remove", "move", "set", "set bad value", "undo point",
                                  "undo", "redo", "preview", "save", "add a layer on a damaged file",
                                  "save into a read-only folder"};
    return QStringLiteral("%1 (a=%2 b=%3 value=%4)").arg(names[step.kind]).arg(step.a).arg(step.b).arg(step.value);
}

bool SoakStorm::run(int seconds)
{
    QElapsedTimer clock;
    clock.start();
    m_figures.rssStartKB = residentKB();
    QList<QList<SoakStep>> history;
    while (clock.elapsed() < qint64(seconds) * 1000) {
        history << makeBurst();
        for (const SoakStep& step : history.last())
            apply(step);
        ++m_figures.bursts;
        const QString broken = check(m_figures.bursts % kPresetCheckEvery == 0);
        if (m_figures.rssWarmKB == 0 && clock.elapsed() > qint64(seconds) * 250)
            m_figures.rssWarmKB = residentKB();
        if (!broken.isEmpty()) {
            m_report = QStringLiteral("seed %1, burst %2: %3\n").arg(m_seed).arg(m_figures.bursts).arg(broken);
            std::printf("broken: %s  reducing the step list ...\n", qPrintable(m_report));
            std::fflush(stdout);
            const QList<QList<SoakStep>> reduced = reduce(history);
            m_report += QStringLiteral("shortest step list found (%1 bursts; the queue drains after each):\n")
                            .arg(reduced.size());
            for (int b = 0; b < reduced.size(); ++b) {
                for (const SoakStep& step : reduced.at(b))
                    m_report += QStringLiteral("  burst %1: %2\n").arg(b + 1).arg(describe(step));
            }
            return false;
        }
    }
    m_figures.rssEndKB = residentKB();
    // Memory may grow while caches fill; after the warm-up it must level off.
    if (m_figures.rssWarmKB > 0 && m_figures.rssEndKB > 2 * m_figures.rssWarmKB + 256 * 1024) {
        m_report = QStringLiteral("seed %1: resident memory grew from %2 MB after warm-up to %3 MB\n")
                       .arg(m_seed).arg(m_figures.rssWarmKB / 1024).arg(m_figures.rssEndKB / 1024);
        return false;
    }
    return true;
}
