#pragma once
#include <QFrame>

// What the preview shows before a video is loaded: a picture and the "导入视频" button.
class OpenVideoPanel : public QFrame
{
    Q_OBJECT
public:
    OpenVideoPanel(QWidget* parent, double scale);

signals:
    void importClicked();
};
