#pragma once
#include <QFrame>

class QLabel;

// Elapsed and total playback time in the control bar, "hh:mm:ss / hh:mm:ss".
class TimeWidget : public QFrame
{
    Q_OBJECT
public:
    TimeWidget(QWidget* parent, float scale);

    // Hours are not wrapped at 24 or 100: 360000 s reads "100:00:00".
    static QString formatTime(int seconds);

public slots:
    void setTotal(int seconds);
    void setElapsed(int seconds);

private:
    QLabel* elapsedLabel;
    QLabel* totalLabel;
};
