#pragma once
// The one seam to the operating system. Everything above this folder calls these
// functions and never asks which system it runs on.
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

// Per-user folder for the log, dumps, settings and the user's backgrounds.
QString dataDirectory();
// Creates the folder (with its parents) readable and writable by the user alone, and narrows
// an existing one to that: the settings there hold the login token. False when it cannot be made.
bool createPrivateDirectory(const QString& path);
// Narrows an existing file to the user alone, or creates it empty that way.
bool makePrivateFile(const QString& path);
// Folder of the running executable (the effect libraries, models and built-in backgrounds
// lie there).
QString executableDir();
// Ends this process and every process it started, at once.
[[noreturn]] void killOwnProcessTree();
// On a crash (fault, abort, fatal signal): writes a dump file
// "<dumpDirectory>/vyr_yyyy-MM-dd-HH-mm-ss-zzz.dmp" (signal, faulting address, registers,
// backtrace), then starts reporterCommand with the user message appended as its last
// argument, without waiting for it, and lets the process end. Call once, early.
void installCrashHandler(const QString& dumpDirectory, const QStringList& reporterCommand);

// Full path of the running executable.
QString executablePath();

// Name of the external program that muxes audio ("ffmpeg" found on the search path).
QString ffmpegProgram();
// True while a process with this id exists (also when it belongs to another user).
bool processIsRunning(qint64 pid);
// Longest file name (one path component) the file systems take, in bytes of the file name
// encoding.
int maxFileNameBytes();

enum class MoveResult { Moved, TargetExists, Failed };
// Moves a complete file to a name that must not exist yet: an existing file is never replaced,
// and the target name appears only once the whole file is there (across file systems the data
// goes to a hidden partial file beside the target first). On failure error says why and
// nothing is left at the target.
MoveResult moveFileNoReplace(const QString& from, const QString& to, QString* error);

// File name ending of an update installer package on this system (".run": an executable
// file; ".exe" on Windows).
QString installerSuffix();
// Starts the installer package as a process of its own, without arguments and without
// waiting for it (made executable first where the system needs that). False when it could
// not be started.
bool startInstaller(const QString& packagePath);

// Keeps the memory of freed large buffers (video frames, encoder pictures) in the process for the
// next frame's buffers. By default it goes back to the system, and every frame then pays for
// fresh pages cleared by the system. Call once, early, before other threads start.
void keepFreedMemoryForReuse();

// Runs start and waits for it; every thread that start creates runs at the lowest priority,
// below the rest of the process, while the calling thread keeps its own. For work that should
// only fill the time the process's other threads leave.
void startThreadsInBackground(const std::function<void()>& start);
// True when the calling thread runs at that lowest priority.
bool runsInBackground();

// Largest peak resident memory, in bytes, of the child processes this process has waited for
// (the benchmarks measure an export run as a child this way).
qint64 peakMemoryOfEndedChildren();
// Processor time (user and system, in seconds) used so far by the child processes this process
// has waited for, and by theirs.
double cpuSecondsOfEndedChildren();

} // namespace platform
