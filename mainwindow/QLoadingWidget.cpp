#include "QLoadingWidget.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

const char* const kButtonStyle =
    "QPushButton{font: 10pt;color: white;background-color: transparent;"
    "border: 1px solid rgba(255, 255, 255, 25);border-radius: 4px;}"
    "QPushButton:hover{background-color: rgb(0, 190, 255);}";
const char* const kWhiteText = "font: 10pt; color: white;";

} // namespace

QLoadingWidget::QLoadingWidget(QWidget* parent, float scale)
    : QFrame(parent)
    , scale(scale)
    , contentWidth(int(506 * scale))
    , contentHeight(int(211 * scale))
{
    setStyleSheet("QLoadingWidget{background-color: rgba(0, 0, 0, 228);}");
    contentFrame = new QFrame(this);
    contentFrame->setFrameShape(QFrame::NoFrame);
    contentFrame->setStyleSheet("background-color: transparent;");
    contentFrame->setGeometry(0, 0, contentWidth, contentHeight);
    buildDonePanel();
    buildFailedPanel();
    buildProgressPanel();
    showOnly(progressPanel);
}

int QLoadingWidget::scaled(int designValue) const
{
    return int(designValue * scale);
}

QFrame* QLoadingWidget::addPanel(const QRect& designGeometry)
{
    auto* panel = new QFrame(contentFrame);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setStyleSheet("background-color: transparent;");
    panel->setGeometry(scaled(designGeometry.x()), scaled(designGeometry.y()),
                       scaled(designGeometry.width()), scaled(designGeometry.height()));
    return panel;
}

QPushButton* QLoadingWidget::addButton(QWidget* parent, const QRect& designGeometry, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setStyleSheet(kButtonStyle);
    button->setCursor(Qt::PointingHandCursor);
    button->setGeometry(scaled(designGeometry.x()), scaled(designGeometry.y()),
                        scaled(designGeometry.width()), scaled(designGeometry.height()));
    return button;
}

QLabel* QLoadingWidget::addText(QWidget* parent, const QRect& designGeometry, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(kWhiteText);
    label->setGeometry(scaled(designGeometry.x()), scaled(designGeometry.y()),
                       scaled(designGeometry.width()), scaled(designGeometry.height()));
    return label;
}

void QLoadingWidget::buildDonePanel()
{
    donePanel = addPanel(QRect(167, 0, 172, 211));
    auto* icon = new QLabel(donePanel);
    icon->setGeometry(scaled(62), 0, scaled(48), scaled(48));
    icon->setPixmap(QPixmap(":/image/icon-video-saveover.png"));
    icon->setScaledContents(true);
    addText(donePanel, QRect(37, 72, 98, 19), "视频导出成功！");
    connect(addButton(donePanel, QRect(0, 115, 172, 36), "打开所在文件夹"), &QPushButton::clicked,
            this, &QLoadingWidget::openSaveDir);
    connect(addButton(donePanel, QRect(0, 175, 172, 36), "返回"), &QPushButton::clicked,
            this, &QLoadingWidget::onBack);
}

// The done panel's place, with the engine's reason instead of the reveal button: an export
// that wrote nothing must never look like one that succeeded.
void QLoadingWidget::buildFailedPanel()
{
    failedPanel = addPanel(QRect(103, 0, 300, 211));
    auto* title = addText(failedPanel, QRect(0, 40, 300, 19), "视频导出失败");
    title->setAlignment(Qt::AlignCenter);
    failedReason = addText(failedPanel, QRect(0, 70, 300, 40), QString());
    failedReason->setStyleSheet("font: 9pt; color: rgba(255, 255, 255, 153);");
    failedReason->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    failedReason->setWordWrap(true);
    connect(addButton(failedPanel, QRect(64, 175, 172, 36), "返回"), &QPushButton::clicked,
            this, &QLoadingWidget::onBack);
}

void QLoadingWidget::buildProgressPanel()
{
    progressPanel = addPanel(QRect(0, 57, 506, 98));
    progressText = new QLabel("0%", progressPanel);
    progressText->setGeometry(0, 0, scaled(52), scaled(30));
    progressText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    progressText->setStyleSheet("border-image: url(:/image/icon-progress-text.png);font: 10pt;color: white;");

    progressBar = new QProgressBar(progressPanel);
    progressBar->setGeometry(scaled(26), scaled(39), scaled(400), scaled(16));
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 10000);
    progressBar->setValue(0);
    progressBar->setStyleSheet(
        "QProgressBar{background-color: #343434;border: none;border-radius: 3px;}"
        "QProgressBar::chunk{border-radius: 3px;background-color: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
        " stop:0 #00BEFF, stop:1 #D6A7FF);}");

    addText(progressPanel, QRect(138, 79, 175, 19), "正在为您导出视频，请稍等...");
    connect(addButton(progressPanel, QRect(442, 29, 64, 36), "取消"), &QPushButton::clicked,
            this, &QLoadingWidget::onCancel);
}

void QLoadingWidget::showOnly(QFrame* panel)
{
    for (QFrame* each : {donePanel, failedPanel, progressPanel})
        each->setVisible(each == panel);
}

void QLoadingWidget::setProgress(float fraction)
{
    progressBar->setValue(int(fraction * 10000));
    const int percent = int(fraction * 100);
    progressText->setText(QString("%1%").arg(percent));
    progressText->move(int(scale * 4 * percent), 0);
}

void QLoadingWidget::resetProgress()
{
    setProgress(0);
    showOnly(progressPanel);
}

void QLoadingWidget::showDone()
{
    showOnly(donePanel);
}

void QLoadingWidget::showFailed(const QString& reason)
{
    failedReason->setText(reason);
    showOnly(failedPanel);
}

void QLoadingWidget::centreContent()
{
    contentFrame->move((width() - contentWidth) / 2, (height() - contentHeight) / 2);
}
