#pragma once
// Thread: main thread, first thing in main(), before any other thread exists.
// Owns: nothing.
// Errors: when the restart fails the process simply goes on without huge pages.

// Full-resolution renders allocate framebuffers of hundreds of megabytes; with the software
// rasteriser each fresh one is faulted in page by page, which was measured here to cost more
// than the rendering itself (a two-layer 24-megapixel save: 24.9 s with 4 KB pages, 10.2 s
// with transparent huge pages). glibc backs large allocations with huge pages only when told
// so at start-up, so a host that wants them restarts itself once with the setting.
class HugePages
{
public:
    // Restarts the program with GLIBC_TUNABLES=glibc.malloc.hugetlb=1 unless it is already set
    // or KORVANE_NO_HUGEPAGES is set. Returns only when no restart happened.
    static void restartWithHugePages(char** argv);
};
