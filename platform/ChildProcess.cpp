#include "ChildProcess.h"

#include <unistd.h>

void ChildProcess::setupChildProcess()
{
    // Runs in the child between fork and exec: only async-signal-safe calls.
    ::setpgid(0, 0);
}
