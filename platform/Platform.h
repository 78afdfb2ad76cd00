#pragma once
// The one seam to the operating system. Everything above this folder calls these
// functions and never asks which system it runs on.
#include <QString>

namespace platform {

// Per-user folder for the log, dumps, settings and the user's backgrounds.
QString dataDirectory();
// Folder of the running executable (the effect libraries, models and built-in backgrounds
// lie there).
QString executableDir();
// Ends this process and every process it started, at once.
[[noreturn]] void killOwnProcessTree();
// Name of the external program that muxes audio ("ffmpeg" found on the search path).
QString ffmpegProgram();

} // namespace platform
