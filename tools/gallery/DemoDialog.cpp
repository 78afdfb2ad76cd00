#include "DemoDialog.h"

#include "ui_DemoDialog.h"
#include "widgets/FramelessHelper.h"

namespace {
constexpr int titleBandHeight = 50;
}

DemoDialog::DemoDialog(QWidget *parent)
    : QBaseUI(parent)
    , ui(new Ui::DemoDialog)
{
    ui->setupUi(this);
    FramelessHelper *helper = installFrameless(this, titleBandHeight);
    helper->addExcludeItem(ui->pb_close);
    connect(ui->pb_close, &QPushButton::clicked, helper, &FramelessHelper::triggerCloseButtonAction);
    ui->switch_portrait->setOpen(true);
}

DemoDialog::~DemoDialog() = default;
