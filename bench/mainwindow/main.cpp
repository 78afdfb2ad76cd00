// bench-mainwindow [--clip FILE] [--seconds N] [--shots DIR]
//
// Opens the main window, loads a clip (a generated 1280x720 one by default), plays it for N
// seconds (10) and prints the longest gap between event-loop turns of the GUI thread. With
// --shots it also saves pictures of the window: no video, a loaded clip with the beauty page,
// the advanced page, the background list, the matting settings, the export running and done.
#include "EventLoopGapMeter.h"

#include "mainwindow/FilePicker.h"
#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

QString makeClip(const QString& dir)
{
    const QString path = dir + "/bench-clip.mp4";
    const int exitCode = QProcess::execute(
        "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", "-f", "lavfi", "-i",
                   "sine=frequency=440", "-t", "15", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                   "-c:a", "aac", "-shortest", path});
    return exitCode == 0 ? path : QString();
}

// Counts the paints of the preview, one per shown frame.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* display)
    {
        display->installEventFilter(this);
    }
    int count() const { return paints; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }

private:
    int paints = 0;
};

class Shots
{
public:
    Shots(QWidget* window, const QString& dir)
        : window(window)
        , dir(dir)
    {
        if (!dir.isEmpty())
            QDir().mkpath(dir);
    }

    void take(const QString& name)
    {
        if (dir.isEmpty())
            return;
        QTest::qWait(300);
        window->grab().save(dir + "/" + name + ".png");
        std::printf("shot %s\n", qPrintable(name));
    }

    bool enabled() const { return !dir.isEmpty(); }

private:
    QWidget* window;
    QString dir;
};

void pressLabel(QWidget* window, const char* name)
{
    QTest::mousePress(window->findChild<QWidget*>(name), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
}

QPushButton* visibleButton(QWidget* window, const QString& text)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == text && button->isVisible())
            return button;
    }
    return nullptr;
}

void takePanelShots(QWidget* window, Shots& shots)
{
    pressLabel(window, "label_full");
    shots.take("3-advanced-page");
    pressLabel(window, "label_portrait");
    pressLabel(window, "label_lite");
    shots.take("4-background-list");
    pressLabel(window, "label_full");
    shots.take("5-matting-settings");
    pressLabel(window, "label_beauty");
    pressLabel(window, "label_lite");
}

int exportShots(QWidget* window, Shots& shots)
{
    window->findChild<QPushButton*>("exportButton")->click();
    if (!waitFor([window] {
            auto* overlay = window->findChild<QWidget*>("loadingWidget");
            for (QLabel* label : overlay->findChildren<QLabel*>()) {
                if (label->text().endsWith('%') && label->text() != "0%")
                    return true;
            }
            return false;
        }, 60000))
        return 1;
    shots.take("6-export-running");
    if (!waitFor([window] { return visibleButton(window, "打开所在文件夹") != nullptr; }, 300000))
        return 1;
    shots.take("7-export-done");
    visibleButton(window, "返回")->click();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"clip", "Video to play.", "file"},
                       {"seconds", "Playback time to measure.", "seconds", "10"},
                       {"shots", "Folder for pictures of the window's states.", "dir"}});
    parser.addHelpOption();
    parser.process(app);

    QTemporaryDir scratch;
    const QString clip = parser.isSet("clip") ? parser.value("clip") : makeClip(scratch.path());
    if (clip.isEmpty()) {
        std::fprintf(stderr, "no clip\n");
        return 2;
    }
    FilePicker::setChooser([clip](QWidget*, const QString&, const QString&) { return clip; });

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Shots shots(&window, parser.value("shots"));
    shots.take("1-no-video");

    PaintCounter paints(window.findChild<QWidget*>("label_display"));
    window.findChild<QPushButton*>("importButton")->click();
    QLabel* total = window.findChild<QWidget*>("controlBar")->findChildren<QLabel*>().last();
    // The first frame is painted once the effect libraries have seen it.
    if (!waitFor([total] { return total->text() != "00:00:00"; }, 20000)
        || !waitFor([&paints] { return paints.count() > 2; }, 20000)) {
        std::fprintf(stderr, "the clip did not load\n");
        return 1;
    }
    shots.take("2-loaded-paused-beauty");
    takePanelShots(&window, shots);

    EventLoopGapMeter meter;
    QTest::qWait(1100);
    const int pausedPaints = paints.count();
    window.findChild<QPushButton*>("playButton")->click();
    meter.start();
    const int seconds = parser.value("seconds").toInt();
    QTest::qWait(seconds * 1000);
    meter.stop();
    std::printf("played %d s: %d frames painted, %d event-loop turns, longest gap %.1f ms, %d gaps over 50 ms\n",
                seconds, paints.count() - pausedPaints, meter.turns(), meter.longestGapMs(), meter.gapsOver(50));

    if (shots.enabled()) {
        QTest::qWait(1100);
        window.findChild<QPushButton*>("playButton")->click();
        return exportShots(&window, shots);
    }
    return 0;
}
