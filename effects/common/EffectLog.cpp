#include "common/EffectLog.h"

namespace effects {

void EffectLog::setSink(Sink sink, int verbosity)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = sink;
    verbosity_ = verbosity;
}

void EffectLog::write(Level level, const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (sink_ && level <= verbosity_)
        sink_((prefix_ + text).c_str(), level);
}

} // namespace effects
