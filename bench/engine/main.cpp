// bench-engine: decoding for the preview and the export, the preview's effect pass and
// delivered frame rate, setter-to-display latency, the export with and without effects against
// ffmpeg transcodes of the same clip (wall and processor time, quality, bitrate), the export's
// peak memory, and the writer's presets.
// Prints figures only; nothing here passes or fails.
#include "DecodeBench.h"
#include "VideoMeasures.h"
#include "WriterBench.h"

#include "engine/H264Writer.h"
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
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace bench;

namespace {

constexpr int kVirtualize = 4;
constexpr int kSwitchOnNoBackground = 2;

// Stands in for the preview widget: counts the frames and, while recording, the time of the
// effect pass behind each one (the pass ends before its frame is handed over).
class FrameClock : public QObject
{
    Q_OBJECT
public:
    int frames = 0;
    const ProcessBeauty* engine = nullptr;
    bool recording = false;
    std::vector<double> passMs;
public slots:
    void setPixmap(const QPixmap&)
    {
        ++frames;
        const qint64 us = engine ? engine->effectPassMicroseconds() : 0;
        if (recording)
            passMs.push_back((us - m_lastUs) / 1000.0);
        m_lastUs = us;
    }
private:
    qint64 m_lastUs = 0;
};

constexpr int kPreviewClipFrames = 600;

// Sleeps in the event loop between checks, woken by the frames' events or the tick: a loop that
// only polled would take one of the two cores from the preview it measures.
void waitUntil(const std::function<bool()>& done)
{
    QTimer tick;
    tick.start(5);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}

struct PreviewFigures {
    double passMsOff = 0;
    double passMsOn = 0;
    double deliveredFps = 0;
    double passMedianMs = 0;
    double passP99Ms = 0;
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
    return percentile(latencies, 0.5);
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

// Ten seconds of playback with the default effects: frames that reached the display per second
// and the effect pass behind them. The clip loops, so the half-second gap at each end counts.
void measurePlayback(ProcessBeauty& engine, FrameClock& clock, PreviewFigures& figures)
{
    engine.setBackgroundType(kVirtualize);
    engine.resume();
    waitUntil([&, start = clock.frames] { return clock.frames >= start + 10; });
    clock.passMs.clear();
    clock.recording = true;
    const int before = clock.frames;
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= 10000; });
    clock.recording = false;
    figures.deliveredFps = (clock.frames - before) * 1000.0 / timer.elapsed();
    engine.pause();
    figures.passMedianMs = percentile(clock.passMs, 0.5);
    figures.passP99Ms = percentile(clock.passMs, 0.99);
}

PreviewFigures measurePreview(const QString& clip)
{
    PreviewFigures figures;
    FrameClock clock;
    ProcessBeauty engine(&clock);
    clock.engine = &engine;
    // The default levels, whatever the machine's settings hold, and nothing written back.
    engine.setPersistSettings(false);
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        engine.setBeautyLevel(item, engine.defaultBeautyLevel(item));
    engine.setAiLight(engine.defaultAiLight());
    engine.setPortraitType(0);
    engine.setDisplaySize(QSize(910, 650));
    QThread thread;
    engine.moveToThread(&thread);
    thread.start();
    const QByteArray path = clip.toUtf8();
    QMetaObject::invokeMethod(&engine, "process", Qt::QueuedConnection, Q_ARG(const char*, path.constData()));
    waitUntil([&] { return clock.frames >= 1; });

    engine.setBackgroundType(kSwitchOnNoBackground);
    figures.passMsOff = averagePassMs(engine, clock, 60);
    engine.setBackgroundType(kVirtualize);
    figures.passMsOn = averagePassMs(engine, clock, 60);
    measurePlayback(engine, clock, figures);
    engine.setBackgroundType(kSwitchOnNoBackground);

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
    Timing timing;
    qint64 peakBytes = 0;
    QString output;
};

// Runs in a child of the bench, so that the peak memory of its only child is the export's own.
int exportChild(const QStringList& arguments)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = runProgram(platform::executableDir() + "/vyr-export", QStringList{"--quiet"} + arguments);
    std::printf("%d %f %lld\n", ok ? 1 : 0, timer.nsecsElapsed() / 1e9,
                static_cast<long long>(platform::peakMemoryOfEndedChildren()));
    return 0;
}

// Neutral levels: the export runs the libraries but no effect changes a pixel. Otherwise the
// defaults: every level at its default, AI matting over the blurred own background.
void writeSettings(const QString& dataHome, bool neutral)
{
    QSettings settings(dataHome + "/Vyr_DoridOvov/virtualBg.ini", QSettings::IniFormat);
    settings.clear();
    if (neutral) {
        for (int item = 0; item < EffectParameters::itemCount; ++item)
            settings.setValue(EffectParameters::itemName(item), EffectParameters::defaultLevel(item) == 0.5f ? 0.5f : 0.0f);
        settings.setValue("AI_LIGHT", 0.0f);
    }
    settings.setValue("portrait_switch", !neutral);
    settings.setValue("portrait_type", 0);
    if (!neutral)
        settings.setValue("portrait_item", "virtualize");
}

ExportFigures measureExport(const QString& clip, const QString& dir, bool neutral)
{
    const QString dataHome = dir + "/data";
    writeSettings(dataHome, neutral);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{"--export-child", clip};
    if (!neutral)
        arguments << "--background" << "virtualize" << "--portrait" << "on" << "--portrait-type" << "0";
    ExportFigures figures;
    const double cpuBefore = platform::cpuSecondsOfEndedChildren();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    figures.timing.cpuSeconds = platform::cpuSecondsOfEndedChildren() - cpuBefore;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 3) {
        figures.timing.ok = fields[0] == "1";
        figures.timing.wallSeconds = fields[1].toDouble();
        figures.peakBytes = fields[2].toLongLong();
    }
    const QStringList outputs = QDir(dir).entryList({"Lumetra_*"}, QDir::Files);
    if (!outputs.isEmpty())
        figures.output = dir + "/" + outputs.first();
    return figures;
}

void removeOutputs(const QString& dir)
{
    for (const QString& name : QDir(dir).entryList({"Lumetra_*", "ffmpeg_*"}, QDir::Files))
        QFile::remove(dir + "/" + name);
}

void printTiming(const char* what, const Timing& timing, int frames)
{
    std::printf("  %-44s %6.1f s %6.1f fps %7.1f s processor\n", what, timing.wallSeconds,
                frames / timing.wallSeconds, timing.cpuSeconds);
}

void printRatio(const char* what, const Timing& ours, const Timing& theirs)
{
    // On a shared machine the processor-time ratio is the steadier of the two.
    std::printf("  %-44s %.2f by wall time, %.2f by processor time\n", what, theirs.wallSeconds / ours.wallSeconds,
                theirs.cpuSeconds / ours.cpuSeconds);
}

void printQuality(const char* what, const QString& encoded, const QString& source, double target)
{
    const Quality quality = qualityOf(encoded, source);
    const double bitrate = videoBitrate(encoded);
    std::printf("  %-44s PSNR %.2f dB, SSIM %.4f, video %.2f Mbit/s (%+.1f %% of the target)\n", what,
                quality.psnr, quality.ssim, bitrate / 1e6, (bitrate / target - 1) * 100);
}

// Our export and its ffmpeg baseline, run one after the other `pairs` times. On a shared
// machine one pair can be off by 15 % either way; the median of several tells what the code does.
struct PairedRuns {
    ExportFigures ours;  // of the last pair, whose outputs are kept for the quality figures
    Timing theirs;
    std::vector<double> wallRatios, cpuRatios;
};

bool runPairs(const QString& clip, const QString& dir, bool neutral, const QStringList& ffmpegArguments, int pairs,
              PairedRuns& runs)
{
    for (int pair = 0; pair < pairs; ++pair) {
        if (pair > 0)
            removeOutputs(dir);
        runs.ours = measureExport(clip, dir, neutral);
        runs.theirs = timeProgram("ffmpeg", ffmpegArguments);
        if (!runs.ours.timing.ok || !runs.theirs.ok) {
            std::printf("  export %s, ffmpeg %s\n", runs.ours.timing.ok ? "ok" : "FAILED", runs.theirs.ok ? "ok" : "FAILED");
            return false;
        }
        runs.wallRatios.push_back(runs.theirs.wallSeconds / runs.ours.timing.wallSeconds);
        runs.cpuRatios.push_back(runs.theirs.cpuSeconds / runs.ours.timing.cpuSeconds);
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printRatios(const PairedRuns& runs, int frames, const char* baseline)
{
    printTiming("export (vyr-export, with mux)", runs.ours.timing, frames);
    printTiming(baseline, runs.theirs, frames);
    printRatio("speed export / ffmpeg:", runs.ours.timing, runs.theirs);
    if (runs.wallRatios.size() < 2)
        return;
    const auto [wallLow, wallHigh] = std::minmax_element(runs.wallRatios.begin(), runs.wallRatios.end());
    std::printf("  %-44s median %.2f (%.2f-%.2f) by wall time, %.2f by processor time\n",
                qPrintable(QString("over %1 alternating pairs:").arg(runs.wallRatios.size())), median(runs.wallRatios),
                *wallLow, *wallHigh, median(runs.cpuRatios));
}

// Without effects against ffmpeg with the writer's settings; with the default effects against
// ffmpeg's own defaults (preset medium, constant quality). The timings printed are the last pair's.
void benchExport(const QString& dir, const QString& clip, int frames, int pairs)
{
    const double target = H264Writer::exportBitrate(containerKbps(clip), 0, 0, 30);
    const QString sameSettings = dir + "/ffmpeg_same.mp4", defaults = dir + "/ffmpeg_medium.mp4";

    std::printf(" without effects (preset %s at %.2f Mbit/s, twice the source's):\n",
                H264Writer::defaultPreset().constData(), target / 1e6);
    PairedRuns plain;
    if (!runPairs(clip, dir, true, {"-v", "error", "-y", "-i", clip, "-c:v", "libx264", "-preset",
                                    H264Writer::defaultPreset(), "-b:v", QString::number(qint64(target)),
                                    "-c:a", "aac", sameSettings}, pairs, plain))
        return;
    printRatios(plain, frames, "ffmpeg, same encoder settings");
    printQuality("export against its source:", plain.ours.output, clip, target);
    printQuality("ffmpeg against the source:", sameSettings, clip, target);
    std::printf("  peak memory of the export: %.0f MiB\n", plain.ours.peakBytes / 1048576.0);
    removeOutputs(dir);

    std::printf(" with the default effects (beauty defaults, AI matting, blurred background):\n");
    PairedRuns effects;
    if (!runPairs(clip, dir, false, {"-v", "error", "-y", "-i", clip, "-c:v", "libx264", "-c:a", "aac", defaults},
                  pairs, effects))
        return;
    printRatios(effects, frames, "ffmpeg -c:v libx264 (medium, CRF 23)");
    std::printf("  peak memory of the export: %.0f MiB\n", effects.ours.peakBytes / 1048576.0);
    removeOutputs(dir);
}

void benchSize(const QString& dir, int width, int height, int frames, bool previewOnly, int pairs)
{
    const QString clip = QString("%1/clip_%2p.mp4").arg(dir).arg(height);
    std::printf("\n== %dx%d portrait clip, 30 fps, %d frames ==\n", width, height, frames);
    if (!makePortraitClip(clip, width, height, frames)) {
        std::printf("cannot generate the clip\n");
        return;
    }
    benchDecode(clip, frames);
    // The preview plays about 15 s before its 10 s window ends; a shorter clip would put its
    // half-second gap between two plays into the window.
    const QString previewClip = QString("%1/preview_%2p.mp4").arg(dir).arg(height);
    if (!makePortraitClip(previewClip, width, height, kPreviewClipFrames)) {
        std::printf("cannot generate the preview's clip\n");
        return;
    }
    const PreviewFigures preview = measurePreview(previewClip);
    std::printf(" preview at a 910x650 display (a %d s clip):\n", kPreviewClipFrames / 30);
    std::printf("  effect pass, average: matting off %.2f ms, matting and blur on %.2f ms\n", preview.passMsOff,
                preview.passMsOn);
    std::printf("  10 s playing with default beauty, matting and blur: %.1f fps delivered, effect pass median "
                "%.1f ms, 99th percentile %.1f ms\n", preview.deliveredFps, preview.passMedianMs, preview.passP99Ms);
    std::printf("  setter on a paused preview to frame in display (median): setPortraitLevel %.1f ms, "
                "setBeautyLevel(SMOOTH_FACE) %.1f ms\n", preview.setterMs, preview.beautySetterMs);
    if (!previewOnly)
        benchExport(dir, clip, frames, pairs);
}

void benchLongExport(const QString& dir, int minutes)
{
    const int frames = minutes * 60 * 30;
    const QString clip = dir + "/long_1080p.mp4";
    std::printf("\n== %d-minute 1080p export (%d frames) ==\n", minutes, frames);
    if (!makePortraitClip(clip, 1920, 1080, frames)) {
        std::printf("cannot generate the clip\n");
        return;
    }
    const ExportFigures exported = measureExport(clip, dir, false);
    removeOutputs(dir);
    std::printf("export with the default effects %s: %.0f s, %.1f fps, %.0f s processor, peak memory %.0f MiB\n",
                exported.timing.ok ? "ok" : "FAILED", exported.timing.wallSeconds, frames / exported.timing.wallSeconds,
                exported.timing.cpuSeconds, exported.peakBytes / 1048576.0);
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
    const QCommandLineOption pairs("pairs", "Run each export and its ffmpeg baseline this often, alternating "
                                            "(default 1).", "n", "1");
    const QCommandLineOption longMinutes("long-minutes", "Also export a 1080p clip this long (default 0: skip).",
                                         "minutes", "0");
    const QCommandLineOption writerOnly("writer", "Only the writer's presets at 720p and 1080p.");
    const QCommandLineOption previewOnly("preview", "Only the preview figures.");
    const QCommandLineOption heightOption("height", "Only this size: 720 or 1080.", "lines");
    const QCommandLineOption exportChildMode("export-child", "(internal) Export one clip and report.");
    const QCommandLineOption encodeChildMode("encode-child", "(internal) Encode raw NV12 with the writer.");
    const QCommandLineOption decodeChildMode("decode-child", "(internal) Decode a clip one way.");
    parser.addOptions({frames, pairs, longMinutes, writerOnly, previewOnly, heightOption, exportChildMode, encodeChildMode,
                       decodeChildMode});
    // A child's arguments after its first one are its own (the export's options among them).
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(app);
    if (parser.isSet(exportChildMode))
        return exportChild(parser.positionalArguments());
    if (parser.isSet(encodeChildMode))
        return encodeRawChild(parser.positionalArguments());
    if (parser.isSet(decodeChildMode))
        return decodeChild(parser.positionalArguments());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    QTemporaryDir dir;
    const int frameCount = std::max(30, parser.value(frames).toInt());
    const QString height = parser.value(heightOption);
    std::vector<std::pair<int, int>> sizes;
    if (height.isEmpty() || height == "720")
        sizes.emplace_back(1280, 720);
    if (height.isEmpty() || height == "1080")
        sizes.emplace_back(1920, 1080);
    for (const auto& [w, h] : sizes) {
        if (parser.isSet(writerOnly))
            benchWriterPresets(dir.path(), w, h, frameCount);
        else
            benchSize(dir.path(), w, h, frameCount, parser.isSet(previewOnly), std::max(1, parser.value(pairs).toInt()));
    }
    if (!parser.isSet(writerOnly) && parser.value(longMinutes).toInt() > 0)
        benchLongExport(dir.path(), parser.value(longMinutes).toInt());
    return 0;
}

#include "main.moc"
