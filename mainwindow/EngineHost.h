#pragma once
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <future>
#include <list>
#include <string>

class ProcessBeauty;
class QThread;

// The engine of a window and everything that keeps it alive: its worker thread, the chain of
// jobs that wait for it on the task pool, and the paths it reads while it runs. No widgets:
// it works the same under a window and in a test.
//
// Threads: constructed and destroyed on the GUI thread. Jobs run one after the other on the
// task pool, because a stop waits for the preview loop while that loop may be handing a frame
// to the GUI thread.
class EngineHost : public QObject
{
    Q_OBJECT
public:
    // display: the widget the engine hands its frames to.
    explicit EngineHost(QObject* display, QObject* parent = nullptr);
    // Ends the engine as the program's exit does: the jobs first, then the preview and an
    // export, at most 5 s, after which the process ends itself.
    ~EngineHost() override;

    ProcessBeauty* engine() const { return m_engine; }
    // Moves the engine onto its thread and starts it; connections to the engine come first.
    void start();

    // A copy of path that stays valid and unchanged while the host lives: a running preview
    // and a queued request keep reading the text they were given.
    const char* keepPath(const QString& path);
    // The last kept path.
    const char* currentPath() const;
    // Runs job on the task pool after every job queued before it.
    void runJob(std::function<void()> job);
    // From a job: starts the preview of path and returns once its loop has begun.
    void requestPreview(const char* path);
    // Stops what plays and previews path, paused on its first frame.
    void switchVideo(const char* path);
    // Stops the preview and exports path; when cancelled() is true by then, calls abandoned on
    // the GUI thread instead of starting the export.
    void startExport(const char* path, std::function<bool()> cancelled, std::function<void()> abandoned);

    // The jobs that are still queued ask the engine for nothing more.
    bool isClosing() const { return m_closing; }

signals:
    void setVideoPath(const char* path);
    void saveVideo(const char* path);

private:
    ProcessBeauty* m_engine;
    QThread* m_thread;
    QObject* m_display;
    std::list<std::string> m_paths;
    // The last job; the destructor waits for it before the engine goes.
    std::shared_future<void> m_lastJob;
    std::atomic<bool> m_closing{false};
};
