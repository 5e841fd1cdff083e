#include "gpu/glcontextinfo.h"

#include <QMutex>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QThread>
#include <atomic>

namespace {
std::atomic<QThread*> s_renderThread{nullptr};
std::atomic<QOpenGLFunctions_3_3_Core*> s_renderFuncs{nullptr};
QMutex s_loggerMutex;
std::function<void(const QString&)> s_logger;
} // namespace

bool GLContextInfo::isRenderThread()
{
    QThread* t = s_renderThread.load();
    return t && QThread::currentThread() == t;
}

bool GLContextInfo::canFreeGlObjectsHere()
{
    return isRenderThread() && QOpenGLContext::currentContext() != nullptr;
}

void GLContextInfo::setRenderThread(QThread* thread)
{
    s_renderThread.store(thread);
}

QOpenGLFunctions_3_3_Core* GLContextInfo::renderFuncs()
{
    return s_renderFuncs.load();
}

void GLContextInfo::setRenderFuncs(QOpenGLFunctions_3_3_Core* funcs)
{
    s_renderFuncs.store(funcs);
}

void GLContextInfo::logDebugMessages(const QString& tag)
{
    std::function<void(const QString&)> logger;
    {
        QMutexLocker lock(&s_loggerMutex);
        logger = s_logger;
    }
    if (logger)
        logger(tag);
}

void GLContextInfo::setDebugMessageLogger(std::function<void(const QString& tag)> logger)
{
    QMutexLocker lock(&s_loggerMutex);
    s_logger = std::move(logger);
}

void GLContextInfo::discardErrors()
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context)
        return;
    // A driver may hold several flags; sixteen reads end even one that never clears.
    for (int i = 0; i < 16 && context->functions()->glGetError() != GL_NO_ERROR; ++i) {
    }
}
