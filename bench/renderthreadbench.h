#pragma once
// Thread: called on the GUI thread of a benchmark's main(); `body` runs on the engine's
//         render thread with its context current, and the call blocks until it returns.
// Owns: nothing; the engine is started and shut down around `body`. measure() runs on the
//       render thread (inside `body`).
// Errors: false (with a line on stderr naming the benchmark) when no OpenGL 3.3 core
//         context could be set up.

#include <functional>

namespace RenderThreadBench {

// Starts the engine without a window, gives the GPU cache `cacheKB` of budget and 24 pooled
// framebuffers (the big images of a benchmark must stay pooled between runs), runs `body`
// on the render thread, then shuts the engine down.
bool run(const char* name, int cacheKB, const std::function<void()>& body);
// The same in steps, for benchmarks that drive the engine from the GUI thread in between.
bool start(const char* name, int cacheKB);
void onRenderThread(const std::function<void()>& body);
void stop();

struct Timing
{
    double minMs = 0;
    double medianMs = 0;
};

// Runs `prepare` untimed, then `f` bracketed by glFinish, `runs` times.
Timing measure(int runs, const std::function<void()>& f, const std::function<void()>& prepare = {});

} // namespace RenderThreadBench
