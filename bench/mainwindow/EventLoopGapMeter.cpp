#include "EventLoopGapMeter.h"

#include <algorithm>

EventLoopGapMeter::EventLoopGapMeter(QObject* parent)
    : QObject(parent)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, this, &EventLoopGapMeter::onTurn);
}

void EventLoopGapMeter::start()
{
    longestNs = 0;
    turnCount = 0;
    gapsNs.clear();
    clock.start();
    lastNs = clock.nsecsElapsed();
    timer.start();
}

void EventLoopGapMeter::stop()
{
    timer.stop();
}

void EventLoopGapMeter::onTurn()
{
    const qint64 now = clock.nsecsElapsed();
    longestNs = qMax(longestNs, now - lastNs);
    gapsNs.append(now - lastNs);
    lastNs = now;
    ++turnCount;
}

int EventLoopGapMeter::gapsOver(int limitMs) const
{
    return int(std::count_if(gapsNs.begin(), gapsNs.end(), [limitMs](qint64 gap) { return gap > limitMs * 1000000LL; }));
}
