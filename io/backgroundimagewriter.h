#pragma once
// Thread: write() from one thread (the render thread); the files are converted and written on
//         a thread of the writer's own, and each `done` callback runs there.
// Owns: that thread and the images waiting for it; the destructor writes them all, then ends.
// Errors: each write's outcome, "" or the file layer's message, goes to its `done` callback.

#include "gpu/tsmat.h"
#include "io/imageiomanager.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Saves read-back images while their producer goes on: the colour conversion and encoding
// of one file overlap the render of the next. Files are written in the order given; at most
// one image waits behind the one being written (write() blocks until there is room), so
// read-back images never pile up in memory.
class BackgroundImageWriter
{
public:
    using Done = std::function<void(const QString& error)>;

    BackgroundImageWriter();
    ~BackgroundImageWriter();
    BackgroundImageWriter(const BackgroundImageWriter&) = delete;
    BackgroundImageWriter& operator=(const BackgroundImageWriter&) = delete;

    // Queues `pixels` for ImageIOManager::trySaveFile with the colour management of the
    // calling thread as it is now (a later change of the working profile does not reach it).
    void write(const QString& path, const TSMat& pixels, const ImageIOManager::Options& options, Done done);
    // Returns once every image given so far is written and its callback has returned.
    void waitUntilIdle();

private:
    struct Job {
        QString path;
        TSMat pixels;
        ColorManagementSystem cms;
        ImageIOManager::Options options;
        Done done;
    };
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs; // the one being written stays at the front until it is done
    bool m_ending = false;
    std::thread m_thread;
};
