#pragma once
// A horizontal slider for levels whose neutral value is the middle of the range: it
// draws a 4-pixel accent line between the middle and the handle's edge facing it.
#include <QSlider>

class DoubleSlider : public QSlider {
    Q_OBJECT
public:
    explicit DoubleSlider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
