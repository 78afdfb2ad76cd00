#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

// Longest time between two turns of the GUI thread's event loop: a 1 ms timer that can only
// fire when the loop comes round, so a late firing is a stall.
class EventLoopGapMeter : public QObject
{
    Q_OBJECT
public:
    explicit EventLoopGapMeter(QObject* parent = nullptr);
    void start();
    void stop();
    double longestGapMs() const { return longestNs / 1e6; }
    int turns() const { return turnCount; }
    // Turns that came more than limitMs after the one before.
    int gapsOver(int limitMs) const;

private:
    void onTurn();

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    qint64 longestNs = 0;
    int turnCount = 0;
    QVector<qint64> gapsNs;
};
