#pragma once
// A small dialog on the scaled base, laid out at 96 DPI by its form, as every dialog of
// the program is.
#include "widgets/QBaseUI.h"

#include <memory>

namespace Ui {
class DemoDialog;
}

class DemoDialog : public QBaseUI {
    Q_OBJECT
public:
    explicit DemoDialog(QWidget *parent = nullptr);
    ~DemoDialog() override;

private:
    std::unique_ptr<Ui::DemoDialog> ui;
};
