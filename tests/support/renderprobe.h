#pragma once
// Reads what a root delivers as "_output_" at full precision, for comparisons tighter than
// the 8-bit display copy allows, and the full-resolution image a save hands back.

#include "testhost.h"

#include "engine/timprocworker.h"
#include "nodes/tnoderoot.h"

#include <QAtomicInt>
#include <QSignalSpy>
#include <QTest>
#include <opencv2/core.hpp>

// The "_output_" of the next render of `root`, read as `type` (16-bit RGB unless asked) on
// the render thread; empty when no render arrives within `timeoutMs`.
inline cv::Mat renderedOutput(TNodeRoot* root, int type = CV_16UC3, int timeoutMs = 20000)
{
    TImprocWorker* worker = TImprocWorker::ptr(root->uid());
    if (!worker)
        return cv::Mat();
    cv::Mat result;
    QAtomicInt got;
    const auto c = QObject::connect(worker, &TImprocWorker::outputFbo, worker,
        [&](QString, int, QString fboId, TSFbo fbo) {
            if (fboId == QLatin1String("_output_")) {
                result = fbo.dataToMat(type);
                got.storeRelease(1);
            }
        }, Qt::DirectConnection);
    root->updateFbo("probe");
    const bool arrived = QTest::qWaitFor([&] { return got.loadAcquire() && TestHost::queueDrained(); }, timeoutMs);
    QObject::disconnect(c);
    return arrived ? result : cv::Mat();
}

// The full-resolution image the root hands back for a save of `node` without a file; empty
// when none arrives within `timeoutMs`.
inline cv::Mat savedOutput(TNodeRoot* root, TNode* node, int timeoutMs = 10000)
{
    QSignalSpy changed(root, &TNodeRoot::outputChanged);
    node->saveOutputToFile(QUrl(), QVariantMap());
    if (!QTest::qWaitFor([&] { return changed.count() > 0 && TestHost::queueDrained(); }, timeoutMs))
        return cv::Mat();
    return root->output().mat().clone();
}
