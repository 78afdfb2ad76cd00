#pragma once
#include <QFrame>

class QPushButton;
class TimeWidget;
class WindowMetrics;

// The bar over the bottom of the preview: the playback time, the play/pause button in the
// middle, "重新导入" and "导出视频" on the right.
class ControlBar : public QFrame
{
    Q_OBJECT
public:
    ControlBar(QWidget* parent, const WindowMetrics& metrics, float scale);

    TimeWidget* timeWidget() const { return m_time; }
    // The pause look while the video plays, the play look otherwise.
    void setPlayLook(bool playing);
    // Width of the bar, and the buttons placed in it.
    void fitWidth(int width, const WindowMetrics& metrics);

signals:
    void reimportClicked();
    void playClicked();
    void exportClicked();

private:
    QPushButton* addButton(const QString& objectName, const QString& text, const QString& style);

    TimeWidget* m_time;
    QPushButton* m_reimport;
    QPushButton* m_play;
    QPushButton* m_export;
};
