#pragma once
// The important-update dialog: pops up by itself at start when the manifest asks for it.
// In forced mode it cannot be dismissed: Escape is swallowed and the cancel button quits
// the application. It only asks for the download (startDownloadPkg); UpdateService shows
// the progress in it and gives the button back after a failed download. GUI thread only.
#include "widgets/QBaseUI.h"

#include <memory>

struct UpdateInfo;

namespace Ui {
class versionupdateUI;
}

class versionupdateUI : public QBaseUI {
    Q_OBJECT
public:
    versionupdateUI();
    ~versionupdateUI() override;

    void setForced(bool forced);
    bool isForced() const { return forced; }
    // Names the offered version in the content text.
    void setVersionInfo(const UpdateInfo& info);
    void showProgress(qint64 received, qint64 total);
    void resetUpdateButton();

signals:
    void startDownloadPkg();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void on_pushButton_pb_update_sure_clicked();
    void on_pushButton_pb_update_cancel_clicked();

    std::unique_ptr<Ui::versionupdateUI> ui;
    bool forced = false;
};
