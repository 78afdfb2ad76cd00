#include "BackgroundPanel.h"
#include "ui_MainWindow.h"

#include "BackgroundStore.h"
#include "EngineHost.h"
#include "FilePicker.h"
#include "qitemwidget.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "engine/ProcessBeauty.h"
#include "widgets/SwitchButton.h"
#include "widgets/Toast.h"

#include <QDebug>
#include <QFile>
#include <QListWidget>
#include <QMouseEvent>

namespace {
const char* const kListStyle =
    "QListWidget{background : #212023;} QListView::item{padding: 1 1 1 1;}"
    "QListView::item:hover{border : 1px solid #00BEFF;}QListView::item:selected{border : 1px solid #00BEFF;}";
}

BackgroundPanel::BackgroundPanel(Ui::MainWindow* ui, EngineHost* host, QWidget* dialogParent, QSize itemSize, int spacing)
    : QObject(dialogParent)
    , m_ui(ui)
    , m_host(host)
    , m_engine(host->engine())
    , m_dialogParent(dialogParent)
    , m_itemSize(itemSize)
    , m_spacing(spacing)
{
    connect(ui->switch_portrait, &SwitchButton::onValueChanged, this, &BackgroundPanel::onPortraitSwitch);
    connect(ui->pb_ai_portrait, &QPushButton::clicked, this, &BackgroundPanel::on_pushButton_pb_ai_portrait_clicked);
    connect(ui->pb_greenscreen, &QPushButton::clicked, this, &BackgroundPanel::on_pushButton_pb_greenscreen_clicked);
    connect(ui->pb_bluescreen, &QPushButton::clicked, this, &BackgroundPanel::on_pushButton_pb_bluescreen_clicked);
    connect(ui->listWidget_portrait, &QListWidget::itemPressed, this, &BackgroundPanel::setPortraitBg);
    connect(this, &BackgroundPanel::sendFilePath, this, &BackgroundPanel::onFileSelectOver);
    ui->label_upload_media->installEventFilter(this);
    ui->label_upload_media->hide();
}

void BackgroundPanel::build()
{
    restorePortraitType();
    buildBackgroundList();
    m_ui->switch_portrait->setOpen(portraitSwitchOn());
}

void BackgroundPanel::setItemSize(QSize size)
{
    m_itemSize = size;
    for (int row = 0; row < m_ui->listWidget_portrait->count(); ++row)
        m_ui->listWidget_portrait->item(row)->setSizeHint(size);
    setBackgroundListStyle();
}

void BackgroundPanel::showChosenBackground()
{
    if (QListWidgetItem* current = m_ui->listWidget_portrait->currentItem())
        setPortraitBg(current);
}

bool BackgroundPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->label_upload_media && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        uploadBackground();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void BackgroundPanel::restorePortraitType()
{
    const QList<QPushButton*> buttons = {m_ui->pb_ai_portrait, m_ui->pb_greenscreen, m_ui->pb_bluescreen};
    const int type = AppSettings::instance().value(SettingsKeys::portraitType, SettingsKeys::portraitTypeDefault).toInt();
    if (type >= 0 && type < buttons.size())
        buttons[type]->click();
}

void BackgroundPanel::onPortraitSwitch(int open)
{
    m_engine->setBackgroundType(EffectParameters::backgroundTypeFor(m_ui->listWidget_portrait->currentRow(), open != 0));
    AppSettings::instance().setValue(SettingsKeys::portraitSwitch, open != 0);
}

void BackgroundPanel::checkPortraitType(QPushButton* checkedButton, int type)
{
    for (QPushButton* button : {m_ui->pb_ai_portrait, m_ui->pb_greenscreen, m_ui->pb_bluescreen})
        button->setChecked(button == checkedButton);
    m_ui->frame_portrait_level->setVisible(type != EffectParameters::AiMatting);
    m_engine->setPortraitType(type);
}

void BackgroundPanel::on_pushButton_pb_ai_portrait_clicked()
{
    checkPortraitType(m_ui->pb_ai_portrait, EffectParameters::AiMatting);
}

void BackgroundPanel::on_pushButton_pb_greenscreen_clicked()
{
    checkPortraitType(m_ui->pb_greenscreen, EffectParameters::GreenScreen);
}

void BackgroundPanel::on_pushButton_pb_bluescreen_clicked()
{
    checkPortraitType(m_ui->pb_bluescreen, EffectParameters::BlueScreen);
}

bool BackgroundPanel::portraitSwitchOn() const
{
    return AppSettings::instance().value(SettingsKeys::portraitSwitch, SettingsKeys::portraitSwitchDefault).toBool();
}

void BackgroundPanel::buildBackgroundList()
{
    const QList<QFileInfo> builtIn = BackgroundStore::getFileListUnderDir(BackgroundStore::builtInFolder(), QDir::Name);
    m_files = BackgroundStore::userFiles() + builtIn;

    QListWidget* list = m_ui->listWidget_portrait;
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(m_itemSize.width(), m_itemSize.height()));
    list->setSpacing(m_spacing);
    list->setResizeMode(QListView::Adjust);
    list->setMovement(QListView::Static);

    const QString saved = AppSettings::instance().value(SettingsKeys::portraitItem, QString()).toString();
    addBackgroundItem(":/image/item_clear_effect.png", true, saved.isEmpty(), false);
    addBackgroundItem(":/image/item_upload_pic.png", true, saved == "virtualize", false);
    for (const QFileInfo& file : m_files)
        addBackgroundItem(file.absoluteFilePath(), false, file.absoluteFilePath() == saved, false);
    setBackgroundListStyle();
}

void BackgroundPanel::setBackgroundListStyle()
{
    m_ui->listWidget_portrait->setStyleSheet(kListStyle);
}

void BackgroundPanel::addBackgroundItem(const QString& path, bool fixed, bool selected, bool insertAtTop)
{
    QListWidget* list = m_ui->listWidget_portrait;
    auto* item = new QListWidgetItem();
    item->setSizeHint(QSize(m_itemSize.width(), m_itemSize.height()));
    if (insertAtTop)
        list->insertItem(2, item);
    else
        list->addItem(item);

    auto* widget = new qitemwidget(item);
    widget->setGeometry(0, 0, m_itemSize.width() - 2, m_itemSize.height() - 2);
    widget->setVideoMark(BackgroundStore::isVideo(path));
    if (fixed)
        widget->disableHover();
    widget->setPicture(QPixmap(BackgroundStore::picturePathOf(path)));
    list->setItemWidget(item, widget);
    item->setSelected(selected);
    connect(widget, &qitemwidget::onDelete, this, &BackgroundPanel::onDelete);

    if (!selected)
        return;
    m_currentRow = list->row(item);
    list->setCurrentRow(m_currentRow);
    if (!insertAtTop)
        setPortraitBg(item);
}

void BackgroundPanel::setPortraitBg(QListWidgetItem* widgetitem)
{
    const int row = m_ui->listWidget_portrait->row(widgetitem);
    qDebug() << "select row " << row;
    if (row < 0 || row - 2 >= m_files.size())
        return;
    m_currentRow = row;
    m_engine->setBackgroundType(EffectParameters::backgroundTypeFor(row, portraitSwitchOn()));
    if (row == 1) {
        m_engine->selectVirtualize();
    } else if (row >= 2) {
        const QFileInfo& file = m_files[row - 2];
        qDebug() << "bj file : " << file.absoluteFilePath();
        m_engine->setBackground(file.absoluteFilePath().toLocal8Bit().constData());
    }
}

void BackgroundPanel::uploadBackground()
{
    const QString chosen = FilePicker::openFile(m_dialogParent, "OpenFile", "(*.jpg *.png *.mp4)");
    if (chosen.isEmpty()) {
        qDebug() << "select picture empty";
        m_ui->listWidget_portrait->setCurrentRow(m_currentRow);
        return;
    }
    m_host->runJob([this, chosen] { copyUploadJob(chosen); });
}

void BackgroundPanel::copyUploadJob(const QString& chosen)
{
    const QString newPath = BackgroundStore::copyUpload(chosen);
    if (newPath.isEmpty()) {
        QMetaObject::invokeMethod(this, [this] {
            m_ui->listWidget_portrait->setCurrentRow(m_currentRow);
            showToast(nullptr, "背景添加失败", "10.5pt", "#ffffff", "#E0000000");
        }, Qt::QueuedConnection);
        return;
    }
    m_engine->setBackgroundType(EffectParameters::backgroundTypeFor(2, portraitSwitchOn()));
    m_engine->setBackground(newPath.toLocal8Bit().constData());
    if (BackgroundStore::isVideo(newPath))
        BackgroundStore::writeVideoThumbnail(newPath);
    emit sendFilePath(newPath);
}

void BackgroundPanel::onFileSelectOver(const QString& path)
{
    m_files.prepend(QFileInfo(path));
    addBackgroundItem(path, false, true, true);
    setBackgroundListStyle();
}

void BackgroundPanel::onDelete(QListWidgetItem* item)
{
    QListWidget* list = m_ui->listWidget_portrait;
    const int row = list->row(item);
    qDebug() << "delete row : " << row;
    const int index = row - 2;
    if (index < 0 || index >= m_files.size())
        return;
    // The engine lets go of the file before it goes: a deleted video must not stay in play.
    if (row == m_currentRow || item->isSelected()) {
        list->setCurrentRow(0);
        setPortraitBg(list->item(0));
    } else if (m_currentRow > row) {
        --m_currentRow;
    }
    const QString path = m_files.takeAt(index).absoluteFilePath();
    // The press came from the item's own delete button: the widget goes later, not now.
    list->removeItemWidget(item);
    delete item;
    if (!QFile::remove(path))
        qWarning() << "cannot delete background" << path;
    const QString thumbnail = BackgroundStore::picturePathOf(path);
    if (thumbnail != path && QFile::exists(thumbnail) && !QFile::remove(thumbnail))
        qWarning() << "cannot delete thumbnail" << thumbnail;
}
