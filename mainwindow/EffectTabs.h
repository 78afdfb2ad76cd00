#pragma once
#include <QObject>

class QLabel;
namespace Ui {
class MainWindow;
}

// The switcher between the beauty and the portrait tab, and between the two pages of each
// (basic and advanced beauty; background list and matting settings). Each tab remembers its page.
class EffectTabs : public QObject
{
    Q_OBJECT
public:
    EffectTabs(Ui::MainWindow* ui, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPanel(int tab);
    void showPage(int target);
    void showLitePage();
    void showFullPage();
    void setTabLook(QLabel* active, QLabel* inactive, QLabel* activeUnderline, QLabel* inactiveUnderline);

    Ui::MainWindow* m_ui;
    int m_currentTab = 1;
    int m_beautyPage = 0;
    int m_portraitPage = 0;
};
