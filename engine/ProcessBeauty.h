#pragma once
#include "EffectLevelStore.h"
#include "EffectParameters.h"
#include "ExportProducer.h"
#include "LibraryHost.h"
#include "PreviewLoop.h"

#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QStringList>

#include <mutex>

// The processing engine: owns both effect libraries, plays the current video through them into
// the frame display, and exports the processed video.
//
// Threading: constructed on the GUI thread, then moved onto a worker thread of its own, where the
// slots process (the preview loop) and save (the export producer) run. pause, resume, isPaused,
// stopProcessing, cancelSave, setDisplaySize and the effect setters are direct calls from the GUI
// thread or the task pool. The export writer runs on the task pool and emits onSaveProgress,
// onSaveOver and onSaveFailed from there. picUpdate is delivered to the display with a blocking
// queued connection: one frame in flight at most.
class ProcessBeauty : public QObject
{
    Q_OBJECT
public:
    // display: the widget with a slot setPixmap(const QPixmap&), or null (headless export).
    explicit ProcessBeauty(QObject* display);
    ~ProcessBeauty() override;

    // The process-wide lock between the preview's library calls and background changes.
    static std::mutex& effectLock();
    // Preview size for a video on a display: a video up to about 11 % larger than the display is
    // left to the display to scale; the width is a multiple of 8 and the height even.
    static QSize previewSize(const QSize& video, const QSize& display);

    void setDisplaySize(QSize size);
    void pause();
    void resume();
    bool isPaused() const { return m_preview.isPaused(); }
    // Ends the preview loop and waits for it (3 s, 5 s when exiting). A loop that does not end is
    // written off: its thread is replaced, or the process ends itself when exiting.
    void stopProcessing(bool clearBackgroundVideo, bool exiting);
    void cancelSave();

    void setBeautyLevel(int item, float level);
    void setAiLight(float level);
    void setPortraitLevel(int level);
    void setPortraitType(int type);
    void setBackgroundType(int type);
    void setBackground(const char* path);
    void selectVirtualize();
    void setCompare(bool on);

    float beautyLevel(int item) const;
    float defaultBeautyLevel(int item) const;
    float aiLight() const;
    float defaultAiLight() const;
    float portraitLevel() const;
    int portraitType() const { return m_parameters.portraitType; }
    int backgroundType() const { return m_parameters.backgroundType; }
    bool mattingJustEnabled() const { return m_parameters.mattingJustEnabled; }

    // Number of preview effect passes run so far (each repetition counts once), and the time
    // they took: frame copy, library calls and the conversion for the display.
    // What kept the libraries from starting fully (missing or broken model files), for the log
    // and for tools that must say so; empty when both started with everything.
    QStringList effectProblems() const { return m_libraries.problems(); }
    // Off: the setters change the effects but write nothing into the settings store (batch
    // exports use the stored settings without changing them).
    void setPersistSettings(bool on) { m_store.setEnabled(on); }

    int effectPassCount() const { return m_preview.effectPassCount(); }
    qint64 effectPassMicroseconds() const { return m_preview.effectPassMicroseconds(); }

public slots:
    // The preview loop; path must stay valid until the slot returns.
    void process(const char* path);
    // The export of path with the current settings, beside the source.
    void save(const char* path);

signals:
    void picUpdate(const QPixmap& pixmap);
    void onDuration(long seconds);
    void onCostTime(long cost);
    void onSaveOver(const char* path);
    void onSaveProgress(float percent);
    void onSaveCanceled();
    // The export could not be written; message says why.
    void onSaveFailed(QString message);
    // The export goes on, but without something the user chose; message says what.
    void onSaveWarning(QString message);

private:
    PreviewLoop::Output previewOutput();
    ExportProducer::Output exportOutput();
    void connectDisplay();
    void disconnectDisplay();
    bool releaseFrameHandOff();
    void rehomeOntoFreshThread();

    QObject* m_display;
    EffectParameters m_parameters;
    EffectLevelStore m_store;
    LibraryHost m_libraries;
    PreviewLoop m_preview;
    ExportProducer m_export;
};
