#include "io/backgroundimagewriter.h"

#include "io/workspace.h"

namespace {
// The one being written and one more: enough to keep both stages busy, no more images held.
constexpr std::size_t kMaxJobs = 2;
} // namespace

BackgroundImageWriter::BackgroundImageWriter()
    : m_thread([this] { run(); })
{
}

BackgroundImageWriter::~BackgroundImageWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundImageWriter::write(const QString& path, const TSMat& pixels, const ImageIOManager::Options& options,
                                  Done done)
{
    Job job{path, pixels, Workspace::colorManagmentSystem(), options, std::move(done)};
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.size() < kMaxJobs; });
    m_jobs.push_back(std::move(job));
    lock.unlock();
    m_changed.notify_all();
}

void BackgroundImageWriter::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty(); });
}

void BackgroundImageWriter::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // ending, and everything given was written
        Job& job = m_jobs.front();
        lock.unlock();
        QString error;
        ImageIOManager::trySaveFile(job.path, job.pixels, job.cms, job.options, &error);
        job.pixels = TSMat(); // the memory goes back before the next image is taken
        job.done(error);
        lock.lock();
        m_jobs.pop_front();
        m_changed.notify_all();
    }
}
