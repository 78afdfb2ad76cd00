#pragma once
#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;

// The overlay that covers the whole main window while an export runs and after it ended:
// a progress panel (bar, percentage bubble, cancel), a done panel (reveal, back) and a
// failure panel (the engine's reason, back). Exactly one panel shows at a time.
class QLoadingWidget : public QFrame
{
    Q_OBJECT
public:
    QLoadingWidget(QWidget* parent, float scale);

    // fraction 0..1; the bubble's centre follows the end of the filled bar.
    void setProgress(float fraction);
    void resetProgress();
    void showDone();
    void showFailed(const QString& reason);
    void centreContent();

signals:
    void openSaveDir();
    void onBack();
    void onCancel();

private:
    int scaled(int designValue) const;
    QFrame* addPanel(const QRect& designGeometry);
    QPushButton* addButton(QWidget* parent, const QRect& designGeometry, const QString& text);
    QLabel* addText(QWidget* parent, const QRect& designGeometry, const QString& text);
    void buildDonePanel();
    void buildFailedPanel();
    void buildProgressPanel();
    void showOnly(QFrame* panel);

    float scale;
    QFrame* contentFrame;
    QFrame* donePanel;
    QFrame* failedPanel;
    QFrame* progressPanel;
    QLabel* progressText;
    QProgressBar* progressBar;
    QLabel* failedReason;
    int contentWidth;
    int contentHeight;
};
