#include "ddvue/DrawingReader.h"
#include "ddvue/Handoff.h"

namespace ddvue {

struct DrawingReader::Job {
    QString path;
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    ReadDrawing result;  // written by the job's thread before `ended`
};

DrawingReader::DrawingReader(QObject* parent) : QObject(parent) {}

DrawingReader::~DrawingReader()
{
    stop();
    reap(true);
}

void DrawingReader::start(const QString& path)
{
    stop();
    reap(false);
    auto job = std::make_shared<Job>();
    job->path = path;
    current_ = job;
    path_ = path;
    // The thread holds the job, never this reader beyond its lifetime: the
    // destructor stops and joins every thread before the reader goes.
    std::thread thread([this, job] {
        job->result = DDVueEngine::read(job->path, [this, &job](int percent) {
            if (job->stop.load(std::memory_order_relaxed)) return false;
            emit progress(percent);
            return true;
        });
        job->ended.store(true, std::memory_order_release);
        handOff(this, [this, job] { done(job); });
    });
    workers_.push_back(Worker{job, std::move(thread)});
}

void DrawingReader::stop()
{
    if (current_) current_->stop.store(true, std::memory_order_relaxed);
    current_.reset();
}

void DrawingReader::done(const std::shared_ptr<Job>& job)
{
    reap(false);
    if (job != current_ || job->stop.load(std::memory_order_relaxed)) return;
    current_.reset();
    result_ = std::move(job->result);
    emit finished();
}

void DrawingReader::reap(bool all)
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || it->job->ended.load(std::memory_order_acquire)) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace ddvue
