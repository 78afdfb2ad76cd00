#pragma once
#include <QObject>
#include <QStringList>

class ProcessBeauty;
class QThread;

// Exports files one after another through the engine, with the effect settings of
// virtualBg.ini, and draws a progress bar on the terminal. It never writes the settings store:
// the choices given on the command line apply to this run only.
class BatchExporter : public QObject
{
    Q_OBJECT
public:
    struct Options {
        QStringList inputs;
        QString background;      // empty: as stored; "none", "virtualize" or a picture/video path
        int portraitType = -1;   // -1: as stored
        int portraitSwitch = -1; // -1: as stored, 0 off, 1 on
        bool quiet = false;
    };

    explicit BatchExporter(const Options& options);
    ~BatchExporter() override;

    // Starts the first export; the application quits with the exit code when the batch is done.
    void start();
    void cancel();
    int failures() const { return m_failures; }

private:
    void applySettings();
    void exportNext();
    void showProgress(float percent);
    void clearProgressLine();
    void finishFile(const QString& line, bool failed);

    Options m_options;
    ProcessBeauty* m_engine;
    QThread* m_thread;
    QByteArray m_current;
    int m_next = 0;
    int m_failures = 0;
    bool m_cancelled = false;
    int m_lastPercent = -1;
};
