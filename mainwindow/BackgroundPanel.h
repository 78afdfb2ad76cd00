#pragma once
#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QSize>

class EngineHost;
class ProcessBeauty;
class QListWidgetItem;
class QPushButton;
class QWidget;
namespace Ui {
class MainWindow;
}

// The portrait tab: the background list (none, the blurred own background, the built-in and the
// user's pictures and videos) with upload and delete, the portrait switch and the matting type
// buttons. Every choice goes to the engine as a background type and file.
class BackgroundPanel : public QObject
{
    Q_OBJECT
public:
    BackgroundPanel(Ui::MainWindow* ui, EngineHost* host, QWidget* dialogParent, QSize itemSize, int spacing);

    // The stored portrait type, the list with the stored choice selected, the switch.
    void build();
    void setItemSize(QSize size);
    // The chosen row once more (after an export that never began, whose stop dropped it).
    void showChosenBackground();
    const QList<QFileInfo>& files() const { return m_files; }

signals:
    void sendFilePath(const QString& path);

public slots:
    void setPortraitBg(QListWidgetItem* widgetitem);
    void onFileSelectOver(const QString& path);
    void onDelete(QListWidgetItem* item);
    void onPortraitSwitch(int open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_pushButton_pb_ai_portrait_clicked();
    void on_pushButton_pb_greenscreen_clicked();
    void on_pushButton_pb_bluescreen_clicked();
    void restorePortraitType();
    void checkPortraitType(QPushButton* checkedButton, int type);
    bool portraitSwitchOn() const;
    void buildBackgroundList();
    void setBackgroundListStyle();
    void addBackgroundItem(const QString& path, bool fixed, bool selected, bool insertAtTop);
    void uploadBackground();
    void copyUploadJob(const QString& chosen);

    Ui::MainWindow* m_ui;
    EngineHost* m_host;
    ProcessBeauty* m_engine;
    QWidget* m_dialogParent;
    QSize m_itemSize;
    int m_spacing;
    QList<QFileInfo> m_files;
    int m_currentRow = 0;
};
