#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

QString dataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool createPrivateDirectory(const QString& path)
{
    return QDir().mkpath(path)
        && QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

bool makePrivateFile(const QString& path)
{
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString executableDir()
{
    // Command-line tools ask before (or without) building an application object.
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

QString executablePath()
{
    return QCoreApplication::applicationFilePath();
}

namespace {

// Parent of every live process, read from /proc/<pid>/stat ("pid (name) state ppid ...").
std::multimap<pid_t, pid_t> childrenByParent()
{
    std::multimap<pid_t, pid_t> children;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const int nameEnd = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
        if (fields.size() > 1)
            children.emplace(fields[1].toInt(), pid);
    }
    return children;
}

} // namespace

void killOwnProcessTree()
{
    const std::multimap<pid_t, pid_t> children = childrenByParent();
    std::vector<pid_t> pending{::getpid()};
    while (!pending.empty()) {
        const pid_t parent = pending.back();
        pending.pop_back();
        auto range = children.equal_range(parent);
        for (auto it = range.first; it != range.second; ++it) {
            ::kill(it->second, SIGKILL);
            pending.push_back(it->second);
        }
    }
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);
}

QString ffmpegProgram()
{
    return QStringLiteral("ffmpeg");
}

bool processIsRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int maxFileNameBytes()
{
    return NAME_MAX;
}

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// renameat2 with RENAME_NOREPLACE: the check for an existing target and the rename are one step.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
}

// A disk that runs full first takes part of a block without an error; only the write of the
// rest fails with the reason.
bool writeWhole(QFile& file, const QByteArray& block)
{
    for (qint64 done = 0; done < block.size();) {
        const qint64 written = file.write(block.constData() + done, block.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool copyWhole(const QString& from, const QString& to, QString* error)
{
    QFile source(from);
    QFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = "cannot open " + (source.isOpen() ? to : from) + ": " + (source.isOpen() ? target : source).errorString();
        return false;
    }
    QByteArray block;
    bool written = true;
    while (written && !(block = source.read(1 << 20)).isEmpty())
        written = writeWhole(target, block);
    // The file's own error names the cause (a full disk above all); fsync is the last word.
    written = written && target.flush();
    if (!written || source.error() != QFileDevice::NoError) {
        const QFile& failed = written ? source : target;
        *error = "cannot write " + to + ": " + failed.errorString();
        return false;
    }
    if (::fsync(target.handle()) != 0) {
        *error = "cannot write " + to + ": " + systemError();
        return false;
    }
    return true;
}

} // namespace

MoveResult moveFileNoReplace(const QString& from, const QString& to, QString* error)
{
    const QByteArray target = QFile::encodeName(to);
    if (renameNoReplace(QFile::encodeName(from), target) == 0)
        return MoveResult::Moved;
    if (errno == EEXIST)
        return MoveResult::TargetExists;
    if (errno != EXDEV) {
        *error = "cannot move " + from + " to " + to + ": " + systemError();
        return MoveResult::Failed;
    }
    const QString partial = QFileInfo(to).absolutePath() + "/.vyr_" + QString::number(::getpid()) + ".partial";
    if (!copyWhole(from, partial, error)) {
        QFile::remove(partial);
        return MoveResult::Failed;
    }
    if (renameNoReplace(QFile::encodeName(partial), target) != 0) {
        const bool exists = errno == EEXIST;
        *error = "cannot move " + partial + " to " + to + ": " + systemError();
        QFile::remove(partial);
        return exists ? MoveResult::TargetExists : MoveResult::Failed;
    }
    QFile::remove(from);
    return MoveResult::Moved;
}

void keepFreedMemoryForReuse()
{
    // Frames up to 4K in BGR come from the heap rather than a mapping of their own, and the
    // heap gives back to the system only the part beyond several exports' worth of frames.
    constexpr int kMiB = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, 32 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 512 * kMiB);
    mallopt(M_TOP_PAD, 64 * kMiB);
}

namespace {
constexpr int kLowestPriority = 19;  // the highest nice value
}

void startThreadsInBackground(const std::function<void()>& start)
{
    // A new thread takes the nice value of the thread that creates it, so start runs on a thread
    // of its own, lowered first. The caller's own could not be raised back without privileges.
    // With PRIO_PROCESS and 0, Linux sets the calling thread alone. A priority that cannot be
    // lowered only costs speed, so start runs either way.
    std::thread starter([&start] {
        setpriority(PRIO_PROCESS, 0, kLowestPriority);
        start();
    });
    starter.join();
}

bool runsInBackground()
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 && nice >= kLowestPriority;
}

qint64 peakMemoryOfEndedChildren()
{
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0)
        return 0;
    return static_cast<qint64>(usage.ru_maxrss) * 1024;  // kilobytes on this system
}

double cpuSecondsOfEndedChildren()
{
    rusage usage{};
    if (getrusage(RUSAGE_CHILDREN, &usage) != 0)
        return 0;
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace platform
