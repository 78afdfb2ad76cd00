#include "GalleryWindow.h"

#include "DemoDialog.h"
#include "widgets/DoubleSlider.h"
#include "widgets/Slider.h"
#include "widgets/SwitchButton.h"
#include "widgets/Toast.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int columns = 6;
const QSize cellPicture(96, 64);

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet("color: rgba(255, 255, 255, 153); font: 8pt;");
    return label;
}

QWidget *pictureCell(const QString &name, QWidget *parent)
{
    auto *cell = new QWidget(parent);
    auto *layout = new QVBoxLayout(cell);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *picture = new QLabel(cell);
    picture->setFixedSize(cellPicture);
    picture->setAlignment(Qt::AlignCenter);
    picture->setStyleSheet("background-color: rgb(43, 42, 46);");
    QPixmap pixmap(":/image/" + name);
    if (pixmap.width() > cellPicture.width() || pixmap.height() > cellPicture.height())
        pixmap = pixmap.scaled(cellPicture, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture->setPixmap(pixmap);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(caption(QFileInfo(name).completeBaseName(), cell), 0, Qt::AlignHCenter);
    return cell;
}

SwitchButton *switchIn(bool open, QWidget *parent)
{
    auto *button = new SwitchButton(parent);
    button->setGeometry(QRect(0, 0, 40, 20));
    button->setFixedSize(40, 20);
    button->setOpen(open);
    return button;
}

DoubleSlider *doubleSliderAt(int value, QWidget *parent)
{
    auto *slider = new DoubleSlider(parent);
    slider->setRange(0, 100);
    slider->setValue(value);
    slider->setFixedSize(200, 20);
    return slider;
}

Slider *knob(QWidget *parent)
{
    auto *knob = new Slider(parent);
    knob->setFixedSize(24, 24);
    knob->setDiameter(24);
    return knob;
}

} // namespace

GalleryWindow::GalleryWindow(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle("Gallery");
    // The program's panels give their sliders a thin groove and a round 16-pixel handle;
    // only a plain slider fills the part left of its handle.
    setStyleSheet("GalleryWindow { background-color: #212023; }"
                  "QSlider::groove:horizontal { height: 4px; border-radius: 2px;"
                  " background: rgba(255, 255, 255, 41); }"
                  "QSlider::handle:horizontal { width: 16px; height: 16px; margin: -6px 0;"
                  " border-radius: 8px; background: #ffffff; }"
                  "QSlider::sub-page:horizontal { border-radius: 2px; background: #00BEFF; }"
                  "DoubleSlider::sub-page:horizontal { background: transparent; }");
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(pictureGrid(), 0, Qt::AlignTop);
    layout->addWidget(controlsColumn(), 0, Qt::AlignTop);
}

void GalleryWindow::toastOnDialog()
{
    showToast(dialog, QStringLiteral("ID已复制到剪切板"));
}

QWidget *GalleryWindow::pictureGrid()
{
    auto *grid = new QWidget(this);
    auto *layout = new QGridLayout(grid);
    layout->setSpacing(2);
    const QStringList names = QDir(":/image").entryList(QDir::Files, QDir::Name);
    for (int i = 0; i < names.size(); ++i)
        layout->addWidget(pictureCell(names[i], grid), i / columns, i % columns);
    return grid;
}

QWidget *GalleryWindow::controlsColumn()
{
    auto *column = new QWidget(this);
    auto *layout = new QVBoxLayout(column);
    auto *controls = new QGridLayout;
    const auto addRow = [column, controls](const QString &text, QWidget *control) {
        const int row = controls->rowCount();
        controls->addWidget(caption(text, column), row, 0);
        controls->addWidget(control, row, 1, Qt::AlignLeft);
    };
    addRow("SwitchButton off", switchIn(false, column));
    addRow("SwitchButton on", switchIn(true, column));
    addRow("Slider (knob)", knob(column));
    for (int value : {0, 30, 50, 100})
        addRow(QString("DoubleSlider %1").arg(value), doubleSliderAt(value, column));
    layout->addLayout(controls);
    // A QBaseUI is a sub-window: given a parent, it sits inside it.
    dialog = new DemoDialog(column);
    layout->addWidget(caption(QString("QBaseUI, scale %1").arg(dialog->scaleFactor()), column));
    layout->addWidget(dialog);
    layout->addStretch();
    return column;
}
