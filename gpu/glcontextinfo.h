#pragma once
// Thread: any for the getters; the setters are called by the engine on its render thread
//         (the thread when it starts, the functions when its context is set up and at shutdown).
// Owns: nothing: it points at the engine's thread and its context's function table.
// Errors: before the engine has set anything, no thread is the render thread and the
//         function table is null.

#include <QString>
#include <functional>

class QOpenGLFunctions_3_3_Core;
class QThread;

// What the GPU layer must know of the engine above it: which thread owns the engine's GL
// context, that context's OpenGL 3.3 core functions, and where GL debug output goes.
class GLContextInfo
{
public:
    static bool isRenderThread();
    // On the render thread with a context current: GL objects can be freed here.
    static bool canFreeGlObjectsHere();
    static void setRenderThread(QThread* thread);

    // The engine context's functions; null while no context is set up.
    static QOpenGLFunctions_3_3_Core* renderFuncs();
    static void setRenderFuncs(QOpenGLFunctions_3_3_Core* funcs);

    // Clears the error flags of the context current on the calling thread, if any, so the
    // next check sees only its own call's errors.
    static void discardErrors();

    // Passes the GL debug messages logged so far, tagged, to the engine's logger (if any).
    static void logDebugMessages(const QString& tag);
    static void setDebugMessageLogger(std::function<void(const QString& tag)> logger);
};
