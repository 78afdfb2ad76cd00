#pragma once
#include <QByteArray>
#include <QProcess>
#include <QStringList>

// Runs the app_probe helper and returns what it printed on stdout.
struct ProbeResult
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::NormalExit;
    QByteArray output;
    QByteArray errors;
};

inline ProbeResult runProbe(const QStringList& args,
                            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QString::fromLocal8Bit(qgetenv("APP_PROBE")), args);
    probe.waitForFinished(30000);
    return {probe.exitCode(), probe.exitStatus(), probe.readAllStandardOutput(), probe.readAllStandardError()};
}
