#pragma once
// Reads drawings on a thread of their own, so that the window that asked
// stays responsive while a large DXF or a DWG (a reader process that may run
// for minutes) is read. A new read, or stop(), ends the one before: its
// result never arrives.

#include "ddvue/DDVueEngine.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace ddvue {

class DrawingReader : public QObject {
    Q_OBJECT
public:
    explicit DrawingReader(QObject* parent = nullptr);
    // Stops every read still running and waits for its thread.
    ~DrawingReader() override;

    // Starts reading `path`, stopping the read before.
    void start(const QString& path);
    // Stops the current read; nothing more is told of it.
    void stop();
    // A read is running whose result has not arrived yet.
    bool busy() const { return current_ != nullptr; }
    // The path of the read in progress, or of the last one finished.
    const QString& path() const { return path_; }
    // The result of the read that `finished` told of, once.
    ReadDrawing take() { return std::move(result_); }

signals:
    // How far the current read has come, in percent (on the reader's thread).
    void progress(int percent);
    // The current read has ended, well or not: take() gives its result.
    void finished();

private:
    struct Job;
    void done(const std::shared_ptr<Job>& job);
    void reap(bool all);

    std::shared_ptr<Job> current_;
    QString path_;
    ReadDrawing result_;
    struct Worker {
        std::shared_ptr<Job> job;
        std::thread thread;
    };
    std::vector<Worker> workers_;
};

}  // namespace ddvue
