#include "EffectTabs.h"
#include "ui_MainWindow.h"

#include <QMouseEvent>

namespace {
const char* const kActiveTab = "color:rgb(255, 255, 255);font-size:10pt;";
const char* const kInactiveTab =
    "QLabel {color:rgba(255, 255, 255, 102);font-size:10pt;}QLabel:hover{color:rgba(255, 255, 255, 200)}";
const char* const kBlueText = "color: rgb(1, 190, 255);";
const char* const kDimText = "color:rgba(255, 255, 255, 153);";
}

EffectTabs::EffectTabs(Ui::MainWindow* ui, QObject* parent) : QObject(parent), m_ui(ui)
{
    for (QWidget* label : {ui->label_beauty, ui->label_portrait, ui->label_lite, ui->label_full})
        label->installEventFilter(this);
    ui->label_full_select->hide();
}

bool EffectTabs::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);
    if (watched == m_ui->label_beauty)
        showPanel(1);
    else if (watched == m_ui->label_portrait)
        showPanel(0);
    else if (watched == m_ui->label_lite)
        showLitePage();
    else if (watched == m_ui->label_full)
        showFullPage();
    else
        return QObject::eventFilter(watched, event);
    return true;
}

// tab 1 is the beauty panel, tab 0 the portrait panel; each remembers its own page.
void EffectTabs::showPanel(int tab)
{
    if (m_currentTab == tab)
        return;
    m_currentTab = tab;
    const bool beauty = tab == 1;
    int& page = beauty ? m_beautyPage : m_portraitPage;
    // Flipping the remembered page makes the page handlers below accept the switch and set it back.
    page = 1 - page;
    if (page == 0)
        showFullPage();
    else
        showLitePage();
    if (beauty)
        m_ui->frame_bottom_btn->show();
    m_ui->label_compare->setVisible(beauty);
    m_ui->label_lite->setText(beauty ? "基础美颜" : "选择背景");
    m_ui->label_full->setText(beauty ? "高级美颜" : "抠图设置");
    m_ui->label_beauty->setStyleSheet(QString("border-image: url(:/image/icon-beauty-%1.png);").arg(beauty ? "on" : "off"));
    m_ui->label_beauty_text->setStyleSheet(beauty ? kBlueText : kDimText);
    m_ui->label_portrait->setStyleSheet(
        QString("border-image: url(:/image/icon-portrait-%1.png);").arg(beauty ? "off" : "on"));
    m_ui->label_portrait_text->setStyleSheet(beauty ? kDimText : kBlueText);
    m_ui->label_clear_effect->setVisible(beauty);
    m_ui->label_reset_level->setVisible(beauty);
    m_ui->label_upload_media->setVisible(!beauty);
}

void EffectTabs::showLitePage()
{
    showPage(0);
}

void EffectTabs::showFullPage()
{
    showPage(1);
}

// page 0 is the tab's first page (basic beauty, background list), 1 its second (advanced
// beauty, matting settings).
void EffectTabs::showPage(int target)
{
    int& page = m_currentTab == 1 ? m_beautyPage : m_portraitPage;
    if (page == target)
        return;
    page = target;
    const bool lite = target == 0;
    if (m_currentTab == 1) {
        m_ui->stackedWidget_item->setCurrentWidget(lite ? m_ui->page_beauty_lite : m_ui->page_beauty_plus);
    } else {
        m_ui->stackedWidget_item->setCurrentWidget(lite ? m_ui->page_portrait : m_ui->page_portrait_setting);
        m_ui->frame_bottom_btn->setVisible(lite);
    }
    if (lite)
        setTabLook(m_ui->label_lite, m_ui->label_full, m_ui->label_lite_select, m_ui->label_full_select);
    else
        setTabLook(m_ui->label_full, m_ui->label_lite, m_ui->label_full_select, m_ui->label_lite_select);
}

void EffectTabs::setTabLook(QLabel* active, QLabel* inactive, QLabel* activeUnderline, QLabel* inactiveUnderline)
{
    inactiveUnderline->hide();
    activeUnderline->show();
    inactive->setStyleSheet(kInactiveTab);
    active->setStyleSheet(kActiveTab);
}
