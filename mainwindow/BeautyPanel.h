#pragma once
#include <QObject>
#include <QString>

#include <vector>

class ProcessBeauty;
class QLabel;
class QSlider;
struct BeautyRow;
namespace Ui {
class MainWindow;
}

// The beauty sliders of both beauty pages, the AI light and the matting strength: each slider
// sets its engine level and shows its value; clear and restore set them all; the compare label
// shows the unprocessed video while it is held down.
class BeautyPanel : public QObject
{
    Q_OBJECT
public:
    BeautyPanel(Ui::MainWindow* ui, ProcessBeauty* engine, QObject* parent);

    // Every slider to the engine's level (the start-up pass; it also reaches the library).
    void syncLevelsFromEngine();
    bool comparePressed() const { return m_comparePressed; }
    // The mouse went up anywhere in the window.
    void endCompareIfPressed();

public slots:
    void setInputLevel(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct RowWidgets
    {
        const BeautyRow* row;
        QSlider* slider;
        QLabel* valueLabel;
    };

    void startCompare();
    void endCompare();
    void applyLevel(const QString& name, int value, int index, bool moveSlider);
    void resetLevels(bool toDefaults);
    static int sliderValueOf(float level);
    const RowWidgets* findRow(const QString& sliderName, int index) const;

    Ui::MainWindow* m_ui;
    ProcessBeauty* m_engine;
    std::vector<RowWidgets> m_rows;
    bool m_comparePressed = false;
};
