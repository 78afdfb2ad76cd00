#pragma once
// The library's log lines, handed to the callback the caller registered.
//
// Threading: any thread may write; the callback is called on the writing thread.
#include <string>

namespace beauty {

class BeautyLog {
public:
    enum Level { Error = 0, Warning = 1, Info = 2, Debug = 3 };
    using Callback = void (*)(const char* text);

    // Lines of the given level and below reach callback; a null callback silences the library.
    static void setCallback(Callback callback, int level);
    static void write(Level level, const std::string& text);
};

} // namespace beauty
