#include "qitemwidget.h"
#include "ui_qitemwidget.h"

#include "widgets/WidgetScaling.h"

#include <QEvent>

qitemwidget::qitemwidget(QListWidgetItem* item, QWidget* parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::qitemwidget>())
    , item(item)
{
    ui->setupUi(this);
    ui->wg_display->setFit(false);
    ui->pb_delete->hide();
    setAttribute(Qt::WA_Hover);
    installEventFilter(this);
    connect(ui->pb_delete, &QPushButton::clicked, this, &qitemwidget::on_pushButton_pb_delete_clicked);
    initialScale(this, false);
}

qitemwidget::~qitemwidget() = default;

void qitemwidget::setVideoMark(bool video)
{
    ui->label_video->setStyleSheet(video ? "border-image: url(:/image/item_video_play.png);" : QString());
}

void qitemwidget::disableHover()
{
    setAttribute(Qt::WA_Hover, false);
    removeEventFilter(this);
}

void qitemwidget::setPicture(const QPixmap& picture)
{
    ui->wg_display->setPixmap(picture);
}

bool qitemwidget::deleteButtonVisible() const
{
    return !ui->pb_delete->isHidden();
}

bool qitemwidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::HoverEnter)
        ui->pb_delete->show();
    else if (watched == this && event->type() == QEvent::HoverLeave)
        ui->pb_delete->hide();
    return QFrame::eventFilter(watched, event);
}

void qitemwidget::on_pushButton_pb_delete_clicked()
{
    emit onDelete(item);
}
