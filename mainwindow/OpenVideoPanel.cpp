#include "OpenVideoPanel.h"

#include <QLabel>
#include <QPushButton>

OpenVideoPanel::OpenVideoPanel(QWidget* parent, double scale) : QFrame(parent)
{
    const auto s = [scale](int v) { return int(v * scale); };
    setObjectName("openVideoPanel");
    setFrameShape(QFrame::NoFrame);
    setStyleSheet("background-color: transparent;");
    setFixedSize(s(180), s(228));
    auto* picture = new QLabel(this);
    picture->setGeometry(0, 0, s(180), s(180));
    picture->setPixmap(QPixmap(":/image/icon-openvideo.png"));
    picture->setScaledContents(true);
    auto* importButton = new QPushButton("导入视频", this);
    importButton->setObjectName("importButton");
    importButton->setGeometry(s(4), s(192), s(172), s(36));
    importButton->setCursor(Qt::PointingHandCursor);
    importButton->setStyleSheet("QPushButton{font: 10pt;color: rgba(255, 255, 255, 200);border-radius: 4px;"
                                "background-color: rgb(0, 190, 255);border: none;}"
                                "QPushButton:hover{color: white;}QPushButton:pressed{color: rgba(255, 255, 255, 120);}");
    connect(importButton, &QPushButton::clicked, this, &OpenVideoPanel::importClicked);
}
