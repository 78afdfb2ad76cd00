#pragma once
// The ordinary update dialog, opened from the settings dialog: the offered version and its
// release notes, and a button that asks for the download (startDownloadPkg) and closes.
// GUI thread only.
#include "widgets/QBaseUI.h"

#include <memory>

struct UpdateInfo;

namespace Ui {
class QUpdateWidget;
}

class QUpdateWidget : public QBaseUI {
    Q_OBJECT
public:
    QUpdateWidget();
    ~QUpdateWidget() override;

    // Offered version and notes; the button stays disabled while a download runs.
    void setUpdateInfo(const UpdateInfo& info);

signals:
    void startDownloadPkg();

private:
    void on_pushButton_pb_update_sure_clicked();

    std::unique_ptr<Ui::QUpdateWidget> ui;
};
