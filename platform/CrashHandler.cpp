// Crash handling with async-signal-safe calls only: everything that needs memory or
// formatting is prepared at install time, the handler itself only formats numbers into
// fixed buffers and writes them.
#include "Platform.h"

#include <QDateTime>
#include <QFile>

#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int maxArgs = 16;
char g_dumpDirectory[1024];
char g_reporterStorage[maxArgs][1024];
char* g_reporterArgv[maxArgs + 2];
int g_reporterArgc = 0;
long g_utcOffsetSeconds = 0;
char g_alternateStack[64 * 1024];

// Fixed-size text builder on a stack buffer.
struct Text
{
    char buffer[4096];
    size_t length = 0;

    void add(const char* s)
    {
        while (*s && length + 1 < sizeof buffer)
            buffer[length++] = *s++;
        buffer[length] = '\0';
    }
    void addNumber(unsigned long long value, unsigned base, int minDigits = 1)
    {
        char digits[32];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value && n < 32);
        while (n < minDigits && n < 32)
            digits[n++] = '0';
        while (n > 0 && length + 1 < sizeof buffer)
            buffer[length++] = digits[--n];
        buffer[length] = '\0';
    }
};

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

void addTimeStamp(Text& text)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long local = now.tv_sec + g_utcOffsetSeconds;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    long long year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    text.addNumber(static_cast<unsigned long long>(year), 10, 4);
    text.add("-");
    text.addNumber(month, 10, 2);
    text.add("-");
    text.addNumber(day, 10, 2);
    text.add("-");
    text.addNumber(static_cast<unsigned long long>(seconds / 3600), 10, 2);
    text.add("-");
    text.addNumber(static_cast<unsigned long long>(seconds / 60 % 60), 10, 2);
    text.add("-");
    text.addNumber(static_cast<unsigned long long>(seconds % 60), 10, 2);
    text.add("-");
    text.addNumber(static_cast<unsigned long long>(now.tv_nsec / 1000000), 10, 3);
}

unsigned long long faultingInstruction(const siginfo_t* info, void* context)
{
#if defined(__x86_64__)
    if (context)
        return static_cast<unsigned long long>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
#endif
    return reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr);
}

void writeText(int fd, const Text& text)
{
    size_t done = 0;
    while (done < text.length) {
        const ssize_t n = ::write(fd, text.buffer + done, text.length - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

void writeRegisters(int fd, void* context)
{
#if defined(__x86_64__)
    if (!context)
        return;
    static const char* const names[] = {"r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "rdi", "rsi",
                                        "rbp", "rbx", "rdx", "rax", "rcx", "rsp", "rip"};
    const greg_t* regs = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
    Text text;
    text.add("registers:\n");
    for (int i = 0; i < 17; ++i) {
        text.add("  ");
        text.add(names[i]);
        text.add(" = ");
        text.addNumber(static_cast<unsigned long long>(regs[i]), 16, 16);
        text.add("\n");
    }
    writeText(fd, text);
#else
    (void)fd;
    (void)context;
#endif
}

void writeDump(const char* path, int signal, const siginfo_t* info, void* context)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    Text text;
    text.add("Vyr_DoridOvov crash dump\nsignal: ");
    text.addNumber(static_cast<unsigned>(signal), 10);
    text.add(" (");
    text.add(sigabbrev_np(signal) ? sigabbrev_np(signal) : "?");
    text.add(")\ncode: ");
    text.addNumber(static_cast<unsigned>(info ? info->si_code : 0), 10);
    text.add("\nfault address: 0x");
    text.addNumber(reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr), 16);
    text.add("\ninstruction: 0x");
    text.addNumber(faultingInstruction(info, context), 16);
    text.add("\nprocess: ");
    text.addNumber(static_cast<unsigned>(::getpid()), 10);
    text.add("\n");
    writeText(fd, text);
    writeRegisters(fd, context);
    Text header;
    header.add("backtrace:\n");
    writeText(fd, header);
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);
    ::close(fd);
}

void startReporter(const Text& message)
{
    if (g_reporterArgc == 0)
        return;
    const pid_t child = ::fork();
    if (child != 0)
        return;
    // Detach twice so the reporter outlives us without becoming a zombie of a dead parent.
    if (::fork() != 0)
        ::_exit(0);
    g_reporterArgv[g_reporterArgc] = const_cast<char*>(message.buffer);
    g_reporterArgv[g_reporterArgc + 1] = nullptr;
    ::execv(g_reporterArgv[0], g_reporterArgv);
    ::_exit(127);
}

void onCrash(int signal, siginfo_t* info, void* context)
{
    Text path;
    path.add(g_dumpDirectory);
    path.add("/vyr_");
    addTimeStamp(path);
    path.add(".dmp");
    writeDump(path.buffer, signal, info, context);

    Text message;
    message.add("Sorry for crash.\nPlease contact us and provide the bottom informations:\n\n");
    message.add("errorcode : ");
    message.addNumber(static_cast<unsigned>(signal), 16);
    message.add(", errorAddr : ");
    message.addNumber(faultingInstruction(info, context) & 0xffffffffULL, 16);
    message.add("\n");
    message.add(path.buffer);
    startReporter(message);
    ::waitpid(-1, nullptr, WNOHANG);

    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void copyInto(char* target, size_t size, const QByteArray& bytes)
{
    const size_t n = std::min(size - 1, static_cast<size_t>(bytes.size()));
    std::memcpy(target, bytes.constData(), n);
    target[n] = '\0';
}

} // namespace

void installCrashHandler(const QString& dumpDirectory, const QStringList& reporterCommand)
{
    copyInto(g_dumpDirectory, sizeof g_dumpDirectory, QFile::encodeName(dumpDirectory));
    g_reporterArgc = 0;
    for (const QString& arg : reporterCommand) {
        if (g_reporterArgc >= maxArgs)
            break;
        copyInto(g_reporterStorage[g_reporterArgc], sizeof g_reporterStorage[0], arg.toLocal8Bit());
        g_reporterArgv[g_reporterArgc] = g_reporterStorage[g_reporterArgc];
        ++g_reporterArgc;
    }
    g_utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
    // backtrace() loads its unwinder on first use, which allocates: do it now, not in the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);

    stack_t stack{};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = onCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(signal, &action, nullptr);
}

} // namespace platform
