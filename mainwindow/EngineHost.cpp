#include "EngineHost.h"

#include "engine/ProcessBeauty.h"
#include "engine/TaskPool.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

#include <iostream>
#include <mutex>

namespace {
const int kPreviewStartLimitMs = 5000;
const int kPreviewStartPollMs = 50;
}

EngineHost::EngineHost(QObject* display, QObject* parent)
    : QObject(parent), m_engine(new ProcessBeauty(display)), m_thread(new QThread()), m_display(display)
{
    connect(this, &EngineHost::setVideoPath, m_engine, &ProcessBeauty::process);
    connect(this, &EngineHost::saveVideo, m_engine, &ProcessBeauty::save);
}

EngineHost::~EngineHost()
{
    m_closing = true;
    disconnect(m_engine, nullptr, nullptr, nullptr);
    // A frame already on its way to the display would keep the engine waiting for this
    // thread, which is about to wait for the engine.
    QCoreApplication::removePostedEvents(m_display, QEvent::MetaCall);
    if (m_lastJob.valid())
        m_lastJob.wait();
    QCoreApplication::removePostedEvents(m_engine, QEvent::MetaCall);
    QCoreApplication::removePostedEvents(m_display, QEvent::MetaCall);
    // An export still running would hold the engine's thread past the wait below.
    m_engine->cancelSave();
    m_engine->stopProcessing(true, true);
    QThread* thread = m_engine->thread();
    thread->quit();
    if (!thread->wait(5000)) {
        qWarning() << "engine thread does not end";
        platform::killOwnProcessTree();
    }
    delete m_engine;
    delete thread;
    if (thread != m_thread)
        delete m_thread;
}

void EngineHost::start()
{
    m_engine->moveToThread(m_thread);
    m_thread->start(QThread::InheritPriority);
}

const char* EngineHost::keepPath(const QString& path)
{
    m_paths.push_back(path.toUtf8().toStdString());
    return m_paths.back().c_str();
}

const char* EngineHost::currentPath() const
{
    return m_paths.empty() ? "" : m_paths.back().c_str();
}

void EngineHost::runJob(std::function<void()> job)
{
    // In order: two quick video choices must reach the engine as they were made, or an older
    // video would replace the newer one.
    std::shared_future<void> previous = m_lastJob;
    m_lastJob = TaskPool::instance()
                    .enqueue([previous, job = std::move(job)] {
                        if (previous.valid())
                            previous.wait();
                        job();
                    })
                    .share();
}

// The engine's loop reports the duration first thing, so waiting for that report makes sure
// that a stop queued behind this request finds the loop it has to end: a stop that came
// before the loop began would find nothing to end, and the export queued after it would wait
// behind a preview that never ends.
void EngineHost::requestPreview(const char* path)
{
    auto begun = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    const QMetaObject::Connection report = connect(m_engine, &ProcessBeauty::onDuration, m_engine, [begun, once](long) {
        std::call_once(*once, [&begun] { begun->set_value(); });
    }, Qt::DirectConnection);
    if (!m_closing)
        emit setVideoPath(path);
    std::future<void> begunReport = begun->get_future();
    for (int waitedMs = 0; !m_closing && waitedMs < kPreviewStartLimitMs; waitedMs += kPreviewStartPollMs) {
        if (begunReport.wait_for(std::chrono::milliseconds(kPreviewStartPollMs)) == std::future_status::ready)
            break;
    }
    disconnect(report);
}

void EngineHost::switchVideo(const char* path)
{
    runJob([this, path] {
        m_engine->stopProcessing(false, false);
        qDebug() << "stop video false";
        requestPreview(path);
        std::cout << "curVideoFile " << path << std::endl;
    });
}

void EngineHost::startExport(const char* path, std::function<bool()> cancelled, std::function<void()> abandoned)
{
    runJob([this, path, cancelled = std::move(cancelled), abandoned = std::move(abandoned)] {
        m_engine->stopProcessing(true, false);
        // The engine forgets a cancel that comes before its export begins, so one pressed
        // while the preview was still stopping is honoured here.
        if (cancelled()) {
            QMetaObject::invokeMethod(this, abandoned, Qt::QueuedConnection);
            return;
        }
        emit saveVideo(path);
    });
}
