#pragma once
#include <QProcess>

// A helper program started by us that keyboard interrupts on our terminal do not reach: it
// runs in a process group of its own, so a Ctrl-C ends our work in our own order (we end the
// helper ourselves) instead of killing the helper half-way through its output.
class ChildProcess : public QProcess
{
    Q_OBJECT
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override;
};
