#pragma once
// The round knob inside a SwitchButton (despite its name, not a slider).
#include <QColor>
#include <QWidget>

class Slider : public QWidget {
    Q_OBJECT
public:
    explicit Slider(QWidget *parent = nullptr);

    void setColor(const QColor &color);
    void setDiameter(int diameter);
    int diameter() const { return knobDiameter; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor color = Qt::white;
    int knobDiameter = 0;
};
