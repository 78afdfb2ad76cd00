#pragma once
#include <QByteArray>
#include <QStringList>

#include <mutex>

// The two effect libraries of one engine: starts them in the order they expect, routes their
// log lines into ours and closes them again. What kept them from starting fully (missing or
// broken model files) is kept for the log and for tools that must say so.
class LibraryHost
{
public:
    explicit LibraryHost(const QByteArray& modelsDir);
    ~LibraryHost();
    LibraryHost(const LibraryHost&) = delete;
    LibraryHost& operator=(const LibraryHost&) = delete;

    // The process-wide lock between the preview's library calls and background changes.
    static std::mutex& effectLock();

    int handle() const { return m_handle; }
    // False when the face-beauty library did not start: frames then pass unprocessed.
    bool started() const { return m_handle >= 0; }
    QStringList problems() const { return m_problems; }
    // Preview mode favours speed, export mode quality.
    void setPreviewMode(bool preview) const;

private:
    void startPortraitLibrary();

    const QByteArray m_modelsDir;
    const int m_gpu = 1;
    int m_handle = -1;
    QStringList m_problems;
};
