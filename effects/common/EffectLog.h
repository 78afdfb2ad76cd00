#pragma once
// Log lines of an effect library, handed to the host's callback. Thread-safe: lines may come
// from any thread, and after setSink returns no line goes to the sink it replaced.

#include <mutex>
#include <string>

namespace effects {

class EffectLog {
public:
    using Sink = void (*)(const char* text, int level);

    // Levels: a smaller number is more important. A line reaches the sink when its level is
    // at most the verbosity given with the sink.
    enum Level { Error = 0, Warning = 1, Info = 2, Debug = 3 };

    explicit EffectLog(const char* prefix) : prefix_(prefix) {}

    void setSink(Sink sink, int verbosity);
    void write(Level level, const std::string& text);

private:
    std::mutex mutex_;
    const char* prefix_;
    Sink sink_ = nullptr;
    int verbosity_ = Info;
};

} // namespace effects
