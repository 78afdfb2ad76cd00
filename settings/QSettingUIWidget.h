#pragma once
// The settings dialog, which in this program is the about-and-update window: product name
// and running version, whether a newer version exists (red dot), the update button that
// opens the update dialog, the download progress, and the maker's web site. It reads the
// update state afresh at every opening and keeps none of its own. GUI thread only.
#include "widgets/QBaseUI.h"

#include <memory>

class UpdateService;

namespace Ui {
class setting;
}

class QSettingUIWidget : public QBaseUI {
    Q_OBJECT
public:
    explicit QSettingUIWidget(UpdateService& service);
    ~QSettingUIWidget() override;

    // The maker's web site, opened by the company link.
    static const char* const webSite;

    void showProgress(qint64 received, qint64 total);
    void hideStatus();

signals:
    void startDownloadPkg();

private:
    void on_pushButton_label_update_clicked();
    void on_pushButton_label_company_clicked();
    void updateAccepted();
    void placeRows();

    std::unique_ptr<Ui::setting> ui;
    UpdateService& service;
    QString version;
    int dialogWidth = 400;
    int contentTop = 70;
    int contentHeight = 227;
    int dialogHeight = 303;
};
