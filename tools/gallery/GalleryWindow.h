#pragma once
// One window that shows every compiled-in picture, the custom controls in their states
// and a scaled dialog with a toast, so that all of it can be judged in one screenshot.
#include <QWidget>

class QBaseUI;

class GalleryWindow : public QWidget {
    Q_OBJECT
public:
    explicit GalleryWindow(QWidget *parent = nullptr);

    // Shows a toast on the demo dialog (toasts last one second).
    void toastOnDialog();

private:
    QWidget *pictureGrid();
    QWidget *controlsColumn();

    QBaseUI *dialog = nullptr;
};
