#pragma once
// Thread: render thread, with the engine context current (the context is about to be deleted).
// Owns: nothing; it frees what the GPU layer's caches own.
// Errors: without a current context the GL names are forgotten instead of freed (they die
//         with the context); a warning says so.

// The GPU layer's objects die with their context: one call, made while the engine context
// is still current, frees the cached programs and shaders, the shared quad, the result
// cache with its RAM copies and textures, the textures queued for deletion, and the
// framebuffer pool.
class GLResources
{
public:
    static void teardown();

    // Makes the driver free what the engine has freed, then frees the pooled framebuffers
    // too (measured: three full-size images held through a large export's conversion and
    // encoding). For a render thread that will not draw for a while; the next pass
    // allocates afresh.
    static void releaseIdleMemory();
    // Makes the driver free the images the engine has freed. A software rasteriser keeps an
    // image alive while a queued pass uses it or while it stays bound from the last pass
    // (until a later pass binds others in its place): this waits for the queued passes and
    // binds a one-pixel image in their place. A long walk of full-size passes calls it
    // between layers (measured: 5 bytes per pixel less at the peak of a 100-megapixel export).
    static void dropDeadImages();

    // What is still alive, for shutdown logs and leak checks.
    struct LiveCounts
    {
        int programs = 0;
        int shaders = 0;
        int vertexBuffers = 0;
        int pooledFramebuffers = 0;
        int cachedResults = 0;
        int images = 0; // live TSFbo records
        int textures = 0; // live ESTexture textures, queued ones included
    };
    static LiveCounts liveCounts();
};
