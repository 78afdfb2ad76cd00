#pragma once
#include <QtGlobal>

class QMessageLogContext;
class QString;

// Empties vyr_log.txt in the data directory and sends the process's standard output and
// error into it. Call once at start, before installing logMessageHandler.
void installLogRedirection();

// Appends one line per Qt message to the log file:
// "<level word> File:(<file>) Line:(<line>) <text> (<yyyy-MM-dd hh:mm:ss ddd>)" and CR LF.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text);

// Full path of the log file.
QString logFilePath();
