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

    // Frees the pooled framebuffers and makes the driver let go of the images the last pass
    // read and wrote: a software rasteriser keeps those referenced until a later pass binds
    // others, so images the engine freed would hold their memory on (measured: three
    // full-size images through a large export's conversion and encoding). For a render
    // thread that will not draw for a while; the next pass allocates afresh.
    static void releaseIdleMemory();
    // Binds a one-pixel image where the last pass's images were bound. A software rasteriser
    // keeps bound images alive after the engine freed them, until a later pass binds others
    // in the same places: a long walk of full-size passes calls this between layers
    // (measured: a full-size image and a half less at the peak of a 100-megapixel export).
    static void unbindImages();

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
