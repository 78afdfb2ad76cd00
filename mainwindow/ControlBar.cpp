#include "ControlBar.h"

#include "TimeWidget.h"
#include "WindowMetrics.h"

#include <QPushButton>
#include <QVariant>

namespace {
const char* const kPlayLook = "border-image: url(:/image/icon-startvideo.png);";
const char* const kPauseLook = "border-image: url(:/image/icon-pausevideo.png);";
}

ControlBar::ControlBar(QWidget* parent, const WindowMetrics& metrics, float scale) : QFrame(parent)
{
    setObjectName("controlBar");
    setFrameShape(QFrame::NoFrame);
    setStyleSheet("QFrame#controlBar{background-color: #B02C2A2E;}");
    setGeometry(0, 0, parent->width(), metrics.controlBarHeight);
    m_time = new TimeWidget(this, scale);
    m_reimport = addButton("reimportButton", "重新导入",
                           "QPushButton{font: 10pt;color: white;background-color: transparent;"
                           "border: 1px solid rgba(255, 255, 255, 60);border-radius: 4px;}"
                           "QPushButton:hover{background-color: rgb(0, 190, 255);}");
    m_reimport->setFixedSize(metrics.controlButtonWidth, metrics.controlButtonHeight);
    m_play = addButton("playButton", QString(), kPlayLook);
    m_play->setFixedSize(metrics.controlBarHeight, metrics.controlBarHeight);
    m_export = addButton("exportButton", "导出视频",
                         "QPushButton{font: 10pt;color: white;background-color: rgb(0, 190, 255);"
                         "border: none;border-radius: 4px;}"
                         "QPushButton:hover{background-color: rgb(51, 203, 255);}");
    m_export->setFixedSize(metrics.controlButtonWidth, metrics.controlButtonHeight);
    hide();
    connect(m_reimport, &QPushButton::clicked, this, &ControlBar::reimportClicked);
    connect(m_play, &QPushButton::clicked, this, &ControlBar::playClicked);
    connect(m_export, &QPushButton::clicked, this, &ControlBar::exportClicked);
}

QPushButton* ControlBar::addButton(const QString& objectName, const QString& text, const QString& style)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    button->setStyleSheet(style);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void ControlBar::setPlayLook(bool playing)
{
    m_play->setStyleSheet(playing ? kPauseLook : kPlayLook);
    m_play->setProperty("playing", playing);
}

void ControlBar::fitWidth(int width, const WindowMetrics& metrics)
{
    setFixedWidth(width);
    m_play->move((width - metrics.controlBarHeight) / 2, 0);
    m_reimport->move(width - 2 * metrics.controlButtonWidth - metrics.controlBarMargin * 3 / 2, metrics.controlButtonTop);
    m_export->move(width - metrics.controlBarMargin - metrics.controlButtonWidth, metrics.controlButtonTop);
}
