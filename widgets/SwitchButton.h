#pragma once
// An animated on/off switch: a pill (accent when on, grey when off) with a white knob
// that slides in 100 ms. While the knob slides, presses and setOpen are dropped.
// onValueChanged is emitted when a slide ends, with the new state. GUI thread only.
#include <QColor>
#include <QWidget>

class Slider;

class SwitchButton : public QWidget {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);

    bool isChecked() const { return checked; }
    void setOpen(bool open);
    // Unlike QWidget's, also sizes the knob to the new height (the knob is not moved).
    void setGeometry(const QRect &rect);
    void setGeometry(int x, int y, int width, int height);

signals:
    void onValueChanged(bool open);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void slide();

    bool checked = false;
    int trackHeight;
    int trackSpan;
    qint16 margin = 2;
    int duration = 100;
    bool idle = true;
    QColor onColor{"#00BEFF"};
    QColor offColor{Qt::gray};
    Slider *knob;
};
