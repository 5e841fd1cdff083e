#pragma once
// Thread: GUI (main) thread of the test process.
// Owns: nothing; the render thread and its context belong to the engine.
// Errors: renderThread() returns null when no GL context can be had (tests then fail loudly).

#include <QMetaObject>
#include <functional>

class TImpServerThread;

// Shared set-up for tests that need the engine's render thread with a real OpenGL 3.3
// core context, exactly as the engine runs it.
class GpuFixture
{
public:
    // Before the QGuiApplication exists: the 3.3 core default format and context sharing.
    static void prepareApplication();
    // The running render thread with its context attached and the GPU probed.
    static TImpServerThread* renderThread();
    // Runs `f` on the render thread (engine context current) and waits for it.
    static bool onRenderThread(const std::function<void()>& f);
    // Stops the engine at the end of the test process.
    static void shutDown();
};

// Runs `f` on the render thread and returns its result (a default value when there is no
// render thread, which the caller's checks then fail on).
template <typename F>
auto onGpu(F f) -> decltype(f())
{
    decltype(f()) result{};
    GpuFixture::onRenderThread([&] { result = f(); });
    return result;
}
