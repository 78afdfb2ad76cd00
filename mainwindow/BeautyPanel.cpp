#include "BeautyPanel.h"
#include "ui_MainWindow.h"

#include "BeautyRows.h"

#include "engine/ProcessBeauty.h"

#include <ZR_FaceBeautyLib.h>

#include <QMouseEvent>
#include <QSlider>

namespace {
const char* const kCompareIdle =
    "QLabel {border-image: url(:/image/icon-compare.png);} QLabel:hover {border-image: url(:/image/icon-compare_hover.png);}";
const char* const kComparePressed = "QLabel {border-image: url(:/image/icon-compare_press.png);}";
}

BeautyPanel::BeautyPanel(Ui::MainWindow* ui, ProcessBeauty* engine, QObject* parent)
    : QObject(parent), m_ui(ui), m_engine(engine)
{
    for (const BeautyRow& row : kBeautyRows) {
        auto* slider = ui->centralWidget->findChild<QSlider*>(row.slider);
        m_rows.push_back({&row, slider, ui->centralWidget->findChild<QLabel*>(row.valueLabel)});
        connect(slider, &QSlider::valueChanged, this, &BeautyPanel::setInputLevel);
    }
    connect(ui->slider_ailight, &QSlider::valueChanged, this, &BeautyPanel::setInputLevel);
    connect(ui->slider_portrait, &QSlider::valueChanged, this, &BeautyPanel::setInputLevel);
    for (QWidget* label : {ui->label_compare, ui->label_clear_effect, ui->label_reset_level})
        label->installEventFilter(this);
}

bool BeautyPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return QObject::eventFilter(watched, event);
    if (watched == m_ui->label_compare)
        startCompare();
    else if (watched == m_ui->label_clear_effect)
        resetLevels(false);
    else if (watched == m_ui->label_reset_level)
        resetLevels(true);
    else
        return QObject::eventFilter(watched, event);
    return true;
}

void BeautyPanel::endCompareIfPressed()
{
    if (m_comparePressed)
        endCompare();
}

void BeautyPanel::startCompare()
{
    m_comparePressed = true;
    m_engine->setCompare(true);
    m_ui->label_compare->setStyleSheet(kComparePressed);
}

void BeautyPanel::endCompare()
{
    m_comparePressed = false;
    m_engine->setCompare(false);
    m_ui->label_compare->setStyleSheet(kCompareIdle);
}

void BeautyPanel::setInputLevel(int value)
{
    if (sender())
        applyLevel(sender()->objectName(), value, BeautyItems::count, false);
}

const BeautyPanel::RowWidgets* BeautyPanel::findRow(const QString& sliderName, int index) const
{
    for (const RowWidgets& row : m_rows) {
        if (sliderName == row.row->slider || index == row.row->index)
            return &row;
    }
    return nullptr;
}

void BeautyPanel::applyLevel(const QString& name, int value, int index, bool moveSlider)
{
    const QString text = QString::number(value);
    if (name == m_ui->slider_ailight->objectName()) {
        m_ui->label_ailight_level->setText(text);
        if (moveSlider)
            m_ui->slider_ailight->setValue(value);
        m_engine->setAiLight(value / 100.0f);
        return;
    }
    if (name == m_ui->slider_portrait->objectName()) {
        m_ui->label_portrait_level->setText(text);
        if (moveSlider)
            m_ui->slider_portrait->setValue(value);
        m_engine->setPortraitLevel(value);
        return;
    }
    const RowWidgets* row = findRow(name, index);
    if (!row)
        return;
    row->valueLabel->setText(BeautyItems::at(row->row->index).centred ? QString::number(value - 50) : text);
    if (moveSlider)
        row->slider->setValue(value);
    m_engine->setBeautyLevel(row->row->index, value / 100.0f);
}

// Levels are floats: 0.53f × 100 is 52.99…, so truncating would move a slider by one on
// every start. Rounding gives back the value the slider set.
int BeautyPanel::sliderValueOf(float level)
{
    return qRound(level * 100);
}

void BeautyPanel::resetLevels(bool toDefaults)
{
    for (int item = 0; item < BeautyItems::count; ++item) {
        const bool keepDefault = toDefaults || zr_fb_native_isMutualBeautyType(item);
        const int value = keepDefault ? sliderValueOf(m_engine->defaultBeautyLevel(item)) : 0;
        applyLevel(QString(), value, item, true);
    }
    const int light = toDefaults ? sliderValueOf(m_engine->defaultAiLight()) : 0;
    applyLevel(m_ui->slider_ailight->objectName(), light, BeautyItems::count, true);
}

void BeautyPanel::syncLevelsFromEngine()
{
    for (int item = 0; item < BeautyItems::count; ++item)
        applyLevel(QString(), sliderValueOf(m_engine->beautyLevel(item)), item, true);
    applyLevel(m_ui->slider_ailight->objectName(), sliderValueOf(m_engine->aiLight()), BeautyItems::count, true);
    applyLevel(m_ui->slider_portrait->objectName(), qRound(m_engine->portraitLevel()), BeautyItems::count, true);
}
