#include "EventLoopGapMeter.h"

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
    lastNs = now;
    ++turnCount;
}
