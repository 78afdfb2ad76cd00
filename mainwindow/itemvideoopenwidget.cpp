#include "itemvideoopenwidget.h"

#include <QLabel>

itemvideoopenwidget::itemvideoopenwidget(QWidget* parent, float scale)
    : QFrame(parent)
    , innerFrame(new QFrame(this))
    , innerWidth(int(172 * scale))
    , innerHeight(int(139 * scale))
{
    auto s = [scale](int v) { return int(v * scale); };
    setFrameShape(QFrame::NoFrame);
    setStyleSheet("background-color: #212023;");
    setGeometry(0, s(51), s(230), s(535));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    innerFrame->setFrameShape(QFrame::NoFrame);
    innerFrame->setStyleSheet("background-color: transparent;");
    innerFrame->setFixedSize(innerWidth, innerHeight);
    innerFrame->move((width() - innerWidth) / 2, (height() - innerHeight) / 2);

    auto* picture = new QLabel(innerFrame);
    picture->setGeometry(s(16), 0, s(120), s(120));
    picture->setStyleSheet("border-image: url(:/image/icon-video-openhint.png);");
    picture->setScaledContents(true);

    auto* hint = new QLabel("导入视频后才可使用美颜", innerFrame);
    hint->setGeometry(0, s(120), s(172), s(19));
    hint->setStyleSheet("font: 10pt; color: #00BEFF;");
    hint->setAlignment(Qt::AlignCenter);
}
