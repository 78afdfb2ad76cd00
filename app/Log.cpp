#include "Log.h"

#include "platform/Platform.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QTextStream>

#include <cstdio>
#include <iostream>

QString logFilePath()
{
    return platform::dataDirectory() + "/vyr_log.txt";
}

void installLogRedirection()
{
    const QString dir = platform::dataDirectory();
    if (!platform::createPrivateDirectory(dir))
        std::cerr << "cannot create the data directory " << dir.toLocal8Bit().constData() << std::endl;
    const QByteArray path = QFile::encodeName(logFilePath());
    // Empty the file once, then let every writer append, so that stdio, iostreams and the
    // message handler never overwrite each other's lines.
    if (FILE* truncated = std::fopen(path.constData(), "w"))
        std::fclose(truncated);
    std::fflush(stdout);
    std::fflush(stderr);
    if (!std::freopen(path.constData(), "a", stdout) || !std::freopen(path.constData(), "a", stderr))
        return;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

namespace {

const char* levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "Debug:";
    case QtWarningMsg: return "Warning:";
    case QtCriticalMsg: return "Critical:";
    case QtFatalMsg: return "Fatal:";
    case QtInfoMsg: return "";
    }
    return "";
}

} // namespace

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QString position = QString("File:(%1) Line:(%2)").arg(QString::fromUtf8(context.file)).arg(context.line);
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss ddd");
    const QString line = QString("%1 %2 %3 (%4)").arg(levelWord(type), position, text, stamp);
    QFile file(logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << line << "\r\n";
    out.flush();
}
