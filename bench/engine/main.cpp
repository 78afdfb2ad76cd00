// bench-engine: preview effect pass cost, setter-to-display latency, export speed against an
// ffmpeg libx264 transcode of the same clip, and the export's peak memory. Prints figures only;
// nothing here passes or fails.
#include "VideoMeasures.h"
#include "WriterBench.h"

#include "engine/ProcessBeauty.h"
#include "platform/Platform.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using namespace bench;

namespace {

// Stands in for the preview widget: notes when each frame arrives.
class FrameClock : public QObject
{
    Q_OBJECT
public:
    int frames = 0;
public slots:
    void setPixmap(const QPixmap&) { ++frames; }
};

void waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct PreviewFigures {
    double passMsOff = 0;
    double passMsOn = 0;
    double setterMs = 0;
    double beautySetterMs = 0;
};

// Paused: median time from a setter call to the re-rendered frame in the display's slot.
double medianLatencyMs(FrameClock& clock, const std::function<void(int)>& setter)
{
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        // Past the frame interval, so the pacing of the previous re-render does not count.
        QElapsedTimer settle;
        settle.start();
        waitUntil([&] { return settle.elapsed() >= 100; });
        const int before = clock.frames;
        QElapsedTimer timer;
        timer.start();
        setter(i);
        waitUntil([&] { return clock.frames > before; });
        latencies.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    return latencies[latencies.size() / 2];
}

double averagePassMs(ProcessBeauty& engine, FrameClock& clock, int frames)
{
    const int passesBefore = engine.effectPassCount();
    const qint64 usBefore = engine.effectPassMicroseconds();
    engine.resume();
    const int target = clock.frames + frames;
    waitUntil([&] { return clock.frames >= target; });
    engine.pause();
    const int passes = engine.effectPassCount() - passesBefore;
    return passes ? (engine.effectPassMicroseconds() - usBefore) / 1000.0 / passes : 0;
}

PreviewFigures measurePreview(const QString& clip)
{
    PreviewFigures figures;
    FrameClock clock;
    ProcessBeauty engine(&clock);
    engine.setDisplaySize(QSize(910, 650));
    QThread thread;
    engine.moveToThread(&thread);
    thread.start();
    const QByteArray path = clip.toUtf8();
    QMetaObject::invokeMethod(&engine, "process", Qt::QueuedConnection, Q_ARG(const char*, path.constData()));
    waitUntil([&] { return clock.frames >= 1; });

    engine.setBackgroundType(2);
    figures.passMsOff = averagePassMs(engine, clock, 60);
    engine.setBackgroundType(4);
    figures.passMsOn = averagePassMs(engine, clock, 60);
    engine.setBackgroundType(2);

    figures.setterMs = medianLatencyMs(clock, [&engine](int i) { engine.setPortraitLevel(50 + i); });
    figures.beautySetterMs = medianLatencyMs(clock, [&engine](int i) { engine.setBeautyLevel(4, (i % 10) / 10.0f); });

    // As the main window does: the stop waits on another thread while this one serves frames.
    std::unique_ptr<QThread> stopper(QThread::create([&engine] { engine.stopProcessing(true, false); }));
    stopper->start();
    waitUntil([&] { return stopper->isFinished(); });
    thread.quit();
    thread.wait();
    return figures;
}

struct ExportFigures {
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 peakBytes = 0;
    bool ok = false;
};

// Runs in a child of the bench, so that the peak memory of its only child is the export's own.
int exportChild(const QString& clip)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = runProgram(platform::executableDir() + "/vyr-export", {"--quiet", clip});
    std::printf("%d %f %lld\n", ok ? 1 : 0, timer.nsecsElapsed() / 1e9,
                static_cast<long long>(platform::peakMemoryOfEndedChildren()));
    return 0;
}

// Neutral levels: the export runs the libraries but no effect changes a pixel.
void writeNeutralSettings(const QString& dataHome)
{
    QSettings settings(dataHome + "/Vyr_DoridOvov/virtualBg.ini", QSettings::IniFormat);
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        settings.setValue(EffectParameters::itemName(item), EffectParameters::defaultLevel(item) == 0.5f ? 0.5f : 0.0f);
    settings.setValue("AI_LIGHT", 0.0f);
    settings.setValue("portrait_switch", false);
}

ExportFigures measureExport(const QString& clip, const QString& dataHome)
{
    ExportFigures figures;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpuBefore = platform::cpuSecondsOfEndedChildren();
    child.start(QCoreApplication::applicationFilePath(), {"--export-child", clip});
    child.waitForFinished(-1);
    figures.cpuSeconds = platform::cpuSecondsOfEndedChildren() - cpuBefore;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 3) {
        figures.ok = fields[0] == "1";
        figures.seconds = fields[1].toDouble();
        figures.peakBytes = fields[2].toLongLong();
    }
    return figures;
}

// Wall and processor seconds of an ffmpeg libx264 transcode; wall -1 when it failed.
std::pair<double, double> measureTranscode(const QString& clip, const QString& output)
{
    const double cpuBefore = platform::cpuSecondsOfEndedChildren();
    QElapsedTimer timer;
    timer.start();
    if (!runProgram("ffmpeg", {"-v", "error", "-y", "-i", clip, "-c:v", "libx264", "-c:a", "aac", output}))
        return {-1, 0};
    return {timer.nsecsElapsed() / 1e9, platform::cpuSecondsOfEndedChildren() - cpuBefore};
}

void removeOutputs(const QString& dir)
{
    for (const QString& name : QDir(dir).entryList({"Lumetra_*"}, QDir::Files))
        QFile::remove(dir + "/" + name);
}

void benchSize(const QString& dir, int width, int height, int frames)
{
    writeNeutralSettings(dir + "/data");
    const QString clip = QString("%1/clip_%2p.mp4").arg(dir).arg(height);
    std::printf("\n== %dx%d, 30 fps, %d frames ==\n", width, height, frames);
    if (!makeTestPattern(clip, width, height, frames)) {
        std::printf("cannot generate the clip\n");
        return;
    }
    const PreviewFigures preview = measurePreview(clip);
    std::printf("preview effect pass at 910x650 display: matting off %.2f ms/frame, matting on %.2f ms/frame\n",
                preview.passMsOff, preview.passMsOn);
    std::printf("setter on a paused preview to frame in display (median): setPortraitLevel %.1f ms, "
                "setBeautyLevel(SMOOTH_FACE) %.1f ms\n", preview.setterMs, preview.beautySetterMs);

    const ExportFigures exported = measureExport(clip, dir + "/data");
    removeOutputs(dir);
    const auto [transcode, transcodeCpu] = measureTranscode(clip, dir + "/ffmpeg_out.mp4");
    if (!exported.ok || transcode <= 0) {
        std::printf("export %s, transcode %s\n", exported.ok ? "ok" : "FAILED", transcode > 0 ? "ok" : "FAILED");
        return;
    }
    std::printf("export (vyr-export, no effects, with mux): %.1f s, %.1f fps, %.1f s processor time\n",
                exported.seconds, frames / exported.seconds, exported.cpuSeconds);
    std::printf("ffmpeg -c:v libx264 transcode:            %.1f s, %.1f fps, %.1f s processor time\n",
                transcode, frames / transcode, transcodeCpu);
    // On a shared machine the processor-time ratio is the steadier of the two.
    std::printf("speed ratio export / ffmpeg: %.2f by wall time, %.2f by processor time\n",
                transcode / exported.seconds, transcodeCpu / exported.cpuSeconds);
    std::printf("peak memory of the export (vyr-export and its mux): %.0f MiB\n", exported.peakBytes / 1048576.0);
}

void benchLongExport(const QString& dir, int minutes)
{
    const int frames = minutes * 60 * 30;
    const QString clip = dir + "/long_1080p.mp4";
    std::printf("\n== %d-minute 1080p export (%d frames) ==\n", minutes, frames);
    if (!makeTestPattern(clip, 1920, 1080, frames)) {
        std::printf("cannot generate the clip\n");
        return;
    }
    writeNeutralSettings(dir + "/data");
    const ExportFigures exported = measureExport(clip, dir + "/data");
    removeOutputs(dir);
    std::printf("export %s: %.0f s, %.1f fps, peak memory %.0f MiB\n", exported.ok ? "ok" : "FAILED",
                exported.seconds, frames / exported.seconds, exported.peakBytes / 1048576.0);
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption frames("frames", "Frames per clip (default 300).", "n", "300");
    const QCommandLineOption longMinutes("long-minutes", "Also export a 1080p clip this long (default 0: skip).",
                                         "minutes", "0");
    const QCommandLineOption writerOnly("writer", "Only the writer's presets at 720p and 1080p.");
    const QCommandLineOption exportChildMode("export-child", "(internal) Export one clip and report.", "clip");
    const QCommandLineOption encodeChildMode("encode-child", "(internal) Encode raw NV12 with the writer.");
    parser.addOptions({frames, longMinutes, writerOnly, exportChildMode, encodeChildMode});
    parser.process(app);
    if (parser.isSet(exportChildMode))
        return exportChild(parser.value(exportChildMode));
    if (parser.isSet(encodeChildMode))
        return encodeRawChild(parser.positionalArguments());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    QTemporaryDir dir;
    const int frameCount = std::max(30, parser.value(frames).toInt());
    if (parser.isSet(writerOnly)) {
        benchWriterPresets(dir.path(), 1280, 720, frameCount);
        benchWriterPresets(dir.path(), 1920, 1080, frameCount);
        return 0;
    }
    benchSize(dir.path(), 1280, 720, frameCount);
    benchSize(dir.path(), 1920, 1080, frameCount);
    if (parser.value(longMinutes).toInt() > 0)
        benchLongExport(dir.path(), parser.value(longMinutes).toInt());
    return 0;
}

#include "main.moc"
