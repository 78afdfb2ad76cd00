#pragma once
#include <QFrame>

// Covers the effect pages until a video is loaded: the sliders act on the preview, so
// without one there is nothing for them to show.
class itemvideoopenwidget : public QFrame
{
    Q_OBJECT
public:
    itemvideoopenwidget(QWidget* parent, float scale);

private:
    QFrame* innerFrame;
    int innerWidth;
    int innerHeight;
};
