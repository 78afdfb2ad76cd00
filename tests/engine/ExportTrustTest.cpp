// Exports a user can trust, checked on what the files hold: picture and sound in step, phone
// videos upright, and every failure a failure with nothing at the output name.
#include "TestVideos.h"

#include "engine/ExportWriter.h"
#include "engine/FrameQueue.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString errors;
};

cv::Mat decodePng(const QByteArray& png)
{
    return cv::imdecode(cv::Mat(1, png.size(), CV_8U, const_cast<char*>(png.data())), cv::IMREAD_COLOR);
}

void writeScript(const QString& path, const QString& body)
{
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

// An ffmpeg script that runs body for the mux at the end (the call that writes muxV_) and the
// real ffmpeg for the sound encoded beforehand.
QString onMux(const QString& body)
{
    return "case \"$*\" in *muxV_*) " + body + ";; esac; exec realffmpeg \"$@\"";
}

const QStringList kTemporaryFiles{"tempV_*", "muxV_*", "tempA_*"};

} // namespace

class ExportTrustTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pictureAndSoundStayInStep_data();
    void pictureAndSoundStayInStep();
    void phoneVideosComeOutUpright_data();
    void phoneVideosComeOutUpright();
    void framesOfAnyShapeExportWithTheDefaultEffects_data();
    void framesOfAnyShapeExportWithTheDefaultEffects();
    void mux_failuresAreNeverDone_data();
    void mux_failuresAreNeverDone();
    void silentSourceNeedsNoSound();
    void fullDisksFailWithNothingLeft_data();
    void fullDisksFailWithNothingLeft();
    void namesOfEveryKindExportAsMp4_data();
    void namesOfEveryKindExportAsMp4();
    void killDuringMuxLeavesNothingAndTheNextStartCleansUp();
    void interruptDuringMuxCancels();
    void soundNotEncodedOrCopiedIsAddedInOneRun_data();
    void soundNotEncodedOrCopiedIsAddedInOneRun();
    void existingFileIsNeverReplaced();
    void brokenBackgroundIsSaidOnce_data();
    void brokenBackgroundIsSaidOnce();
    void brokenModelsAreSaid();
    void settingsOutOfRangeAreNeitherUsedNorRewritten();

private:
    // vyr-export with the given settings home and search path, arguments in dir.
    Run exportTool(const QStringList& arguments, const QString& dataHome, const QString& path = QString(),
                   const QString& dir = QString(), const QString& program = QString());
    QString dataHome(const QString& name, const QMap<QString, QVariant>& settings);
    QStringList outputsIn(const QString& dir) const;
    bool mountTmpfs(const QString& dir, int kilobytes);
    // A search path whose ffmpeg is the given script (the real one stays reachable as realffmpeg).
    QString pathWithFfmpeg(const QString& name, const QString& script);
    // vyr-export on a copy of the clip in folder name, with ffmpeg the given script (MARKER
    // in it stands for a file the script writes its process id into); returns once it runs.
    void startDuringMux(QProcess& tool, const QString& name, const QString& ffmpeg, const QString& home);

    QTemporaryDir m_dir;
    QString m_plainHome;
    QString m_clip;
    QStringList m_mounts;
    pid_t m_muxer = 0;
};

void ExportTrustTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QMap<QString, QVariant> plain{{"AI_LIGHT", 0}, {"portrait_switch", false}};
    for (const char* item : {"SMALL_FACE", "BIG_EYE", "SMOOTH_FACE", "BRIGHT_WHITE", "EYEDETAIL", "NOSEDETAIL", "SHARPEN"})
        plain.insert(item, 0);
    m_plainHome = dataHome("plain", plain);
    m_clip = m_dir.filePath("clip.mp4");
    QVERIFY(TestVideos::make(m_clip, 320, 240, 25, 75, true));
}

void ExportTrustTest::cleanupTestCase()
{
    for (const QString& mount : m_mounts)
        QProcess::execute("umount", {"--lazy", mount});
}

Run ExportTrustTest::exportTool(const QStringList& arguments, const QString& home, const QString& path,
                                const QString& dir, const QString& program)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home);
    if (!path.isEmpty())
        environment.insert("PATH", path);
    tool.setProcessEnvironment(environment);
    if (!dir.isEmpty())
        tool.setWorkingDirectory(dir);
    tool.start(program.isEmpty() ? qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-export" : program,
               QStringList{"--quiet"} + arguments);
    Run run;
    if (!tool.waitForFinished(180000))
        return run;
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.errors = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

QString ExportTrustTest::dataHome(const QString& name, const QMap<QString, QVariant>& settings)
{
    const QString home = m_dir.filePath("home-" + name);
    QDir().mkpath(home + "/Vyr_DoridOvov");
    QSettings store(home + "/Vyr_DoridOvov/virtualBg.ini", QSettings::IniFormat);
    for (auto it = settings.begin(); it != settings.end(); ++it)
        store.setValue(it.key(), it.value());
    return home;
}

QStringList ExportTrustTest::outputsIn(const QString& dir) const
{
    return QDir(dir).entryList({"Lumetra_*", ".Lumetra_*", ".vyr_*"}, QDir::Files | QDir::Hidden);
}

bool ExportTrustTest::mountTmpfs(const QString& dir, int kilobytes)
{
    if (::geteuid() != 0)
        return false;
    QDir().mkpath(dir);
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", QString("size=%1k").arg(kilobytes), "tmpfs", dir}) != 0)
        return false;
    m_mounts.prepend(dir);
    return true;
}

QString ExportTrustTest::pathWithFfmpeg(const QString& name, const QString& script)
{
    const QString bin = m_dir.filePath("bin-" + name);
    QDir().mkpath(bin);
    writeScript(bin + "/ffmpeg", script);
    QFile::link(QStandardPaths::findExecutable("ffmpeg"), bin + "/realffmpeg");
    return bin + ":/usr/bin:/bin";
}

void ExportTrustTest::pictureAndSoundStayInStep_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<bool>("effects");
    QTest::addColumn<bool>("soundLate");
    QTest::addColumn<bool>("matroska");
    for (const char* rate : {"25", "30", "24000/1001"}) {
        QTest::addRow("%s fps, no effects", rate) << rate << false << false << false;
        QTest::addRow("%s fps, default effects and blur", rate) << rate << true << false << false;
    }
    // The sound track begins a second after the picture, as some recorders write it.
    QTest::newRow("25 fps, sound starting late") << "25" << false << true << false;
    // Matroska keeps no decoding times: where its picture starts is known only from decoded
    // pictures, and a probe that skipped them would take the sound's start for the file's.
    QTest::newRow("Matroska with B-frames, sound starting late") << "30" << false << true << true;
}

void ExportTrustTest::pictureAndSoundStayInStep()
{
    QFETCH(QString, rate);
    QFETCH(bool, effects);
    QFETCH(bool, soundLate);
    QFETCH(bool, matroska);
    const QString dir = m_dir.filePath("sync-" + QString(QTest::currentDataTag()).replace('/', '_'));
    QDir().mkpath(dir);
    const QString suffix = matroska ? ".mkv" : ".mp4";
    const QString source = dir + "/flash" + suffix;
    QVERIFY(TestVideos::makeSyncClip(soundLate ? dir + "/early" + suffix : source, rate, 90, 45, true, matroska));
    if (soundLate)
        QCOMPARE(QProcess::execute("ffmpeg", {"-v", "error", "-i", dir + "/early" + suffix, "-itsoffset", "1", "-i",
                                              dir + "/early" + suffix, "-map", "0:v:0", "-map", "1:a:0", "-c", "copy",
                                              source}), 0);
    const TestVideos::BrightFrame sourceFlash = TestVideos::firstBrightFrame(source);
    const double sourceBeep = TestVideos::firstSoundTime(source);
    QCOMPARE(sourceFlash.index, 45);
    QVERIFY(sourceBeep > 1.4);

    const QStringList options = effects ? QStringList{"--portrait", "on", "--background", "virtualize"} : QStringList{};
    const Run run = exportTool(options + QStringList{source}, effects ? dataHome("defaults", {}) : m_plainHome);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QStringList outputs = outputsIn(dir);
    QCOMPARE(outputs.size(), 1);
    const QString output = dir + "/" + outputs.first();

    const TestVideos::BrightFrame flash = TestVideos::firstBrightFrame(output);
    const double beep = TestVideos::firstSoundTime(output);
    const double frameTime = sourceFlash.time / 45;
    QCOMPARE(flash.index, sourceFlash.index);
    // The export's picture starts at 0, also where a Matroska source's starts after its reordering
    // delay (21 ms here), which the sound then lags by: within a frame there, to the sample elsewhere.
    const double lag = beep - flash.time, sourceLag = sourceBeep - sourceFlash.time;
    QVERIFY2(std::abs(lag - sourceLag) < (matroska ? frameTime : 0.005),
             qPrintable(QString("beep %1 s after the flash, in the source %2 s").arg(lag).arg(sourceLag)));
    if (!matroska) {
        QVERIFY2(std::abs(flash.time - sourceFlash.time) < frameTime / 2, qPrintable(QString::number(flash.time)));
        QVERIFY2(std::abs(beep - sourceBeep) < 0.005, qPrintable(QString("beep at %1, source %2").arg(beep).arg(sourceBeep)));
    }
    QCOMPARE(TestVideos::probe(output, "v", "nb_read_frames"), QString("90"));
}

void ExportTrustTest::phoneVideosComeOutUpright_data()
{
    QTest::addColumn<int>("degrees");
    QTest::newRow("90") << 90;
    QTest::newRow("180") << 180;
    QTest::newRow("270") << 270;
}

void ExportTrustTest::phoneVideosComeOutUpright()
{
    QFETCH(int, degrees);
    const QString dir = m_dir.filePath(QString("rotated-%1").arg(degrees));
    QDir().mkpath(dir);
    const QString flat = dir + "/flat.mp4";
    const QString source = dir + "/phone.mp4";
    QVERIFY(TestVideos::make(flat, 320, 240, 25, 10, true));
    QVERIFY(TestVideos::makeRotated(flat, source, degrees));
    const Run run = exportTool({source}, m_plainHome);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QStringList outputs = QDir(dir).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 1);

    const cv::Mat expected = decodePng(TestVideos::frameAsPng(source, 0));
    const cv::Mat exported = decodePng(TestVideos::frameAsPng(dir + "/" + outputs.first(), 0));
    QVERIFY(!expected.empty() && !exported.empty());
    QCOMPARE(exported.cols, expected.cols);
    QCOMPARE(exported.rows, expected.rows);
    const double psnr = cv::PSNR(expected, exported);
    QVERIFY2(psnr > 30, qPrintable(QString("PSNR %1 dB").arg(psnr)));
}

// Frames whose lines are no whole number of the scaler's blocks: their conversion wrote past the
// frame, and the export aborted.
void ExportTrustTest::framesOfAnyShapeExportWithTheDefaultEffects_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("portrait 360x640") << 360 << 640;
    QTest::newRow("portrait 1080x1920") << 1080 << 1920;
    QTest::newRow("almost square 1080x1082") << 1080 << 1082;
    QTest::newRow("tiny 40x24") << 40 << 24;
    QTest::newRow("tiny 8x8") << 8 << 8;
    QTest::newRow("tiny 2x2") << 2 << 2;
}

void ExportTrustTest::framesOfAnyShapeExportWithTheDefaultEffects()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QString dir = m_dir.filePath(QString("shape-%1x%2").arg(width).arg(height));
    QDir().mkpath(dir);
    const QString source = dir + "/clip.mp4";
    QVERIFY(TestVideos::make(source, width, height, 25, 3, false));
    const Run run = exportTool({source}, dataHome(QString("defaults-%1x%2").arg(width).arg(height), {}));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QStringList outputs = QDir(dir).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(outputs.size(), 1);
    QCOMPARE(TestVideos::probe(dir + "/" + outputs.first(), "v", "nb_read_frames"), QString("3"));
}

void ExportTrustTest::mux_failuresAreNeverDone_data()
{
    QTest::addColumn<QString>("ffmpeg");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no ffmpeg on the search path") << QString() << "cannot start ffmpeg";
    QTest::newRow("ffmpeg crashes") << "kill -SEGV $$" << "ffmpeg crashed";
    QTest::newRow("ffmpeg fails half-way") << "for last; do :; done; echo partial > \"${last#file:}\"; exit 1"
                                           << "could not add the sound";
}

void ExportTrustTest::mux_failuresAreNeverDone()
{
    QFETCH(QString, ffmpeg);
    QFETCH(QString, reason);
    const QString dir = m_dir.filePath("mux-" + QString(QTest::currentDataTag()).replace(' ', '-'));
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const QString path = ffmpeg.isEmpty() ? m_dir.filePath("empty-bin") : pathWithFfmpeg(QTest::currentDataTag(), ffmpeg);
    const Run run = exportTool({"--verbose", dir + "/clip.mp4"}, m_plainHome, path);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains("failed: ") && run.errors.contains(reason), qPrintable(run.errors));
    // A missing ffmpeg is known when the sound's encoding cannot start, before any frame.
    if (ffmpeg.isEmpty())
        QVERIFY2(!run.errors.contains("not encoded beforehand"), qPrintable(run.errors));
    QVERIFY(!run.out.contains("done"));
    QCOMPARE(outputsIn(dir), QStringList());
    QCOMPARE(QDir(m_plainHome + "/Vyr_DoridOvov").entryList(kTemporaryFiles, QDir::Files), QStringList());
}

// The sound encoded beside the video is one road; when it fails, the sound is added in one run.
void ExportTrustTest::soundNotEncodedOrCopiedIsAddedInOneRun_data()
{
    QTest::addColumn<QString>("ffmpeg");
    QTest::addColumn<QString>("logged");
    QTest::newRow("sound not encoded beforehand") << "case \"$*\" in *tempA_*) exit 1;; esac; exec realffmpeg \"$@\""
                                                  << "not encoded beforehand";
    QTest::newRow("an ffmpeg without the copy's options")
        << "case \"$*\" in *-nofind_stream_info*) echo unknown option >&2; exit 8;; esac; exec realffmpeg \"$@\""
        << "could not be copied in";
}

void ExportTrustTest::soundNotEncodedOrCopiedIsAddedInOneRun()
{
    QFETCH(QString, ffmpeg);
    QFETCH(QString, logged);
    const QString name = "sound-" + QString(QTest::currentDataTag()).replace(' ', '-');
    const QString dir = m_dir.filePath(name);
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const Run run = exportTool({"--verbose", dir + "/clip.mp4"}, m_plainHome, pathWithFfmpeg(name, ffmpeg));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(logged), qPrintable(run.errors));
    const QStringList outputs = outputsIn(dir);
    QCOMPARE(outputs.size(), 1);
    QCOMPARE(TestVideos::probe(dir + "/" + outputs.first(), "a", "codec_name"), QString("aac"));
    QCOMPARE(QDir(m_plainHome + "/Vyr_DoridOvov").entryList(kTemporaryFiles, QDir::Files), QStringList());
}

void ExportTrustTest::silentSourceNeedsNoSound()
{
    // Only a source without sound ends in a silent export, and then ffmpeg is not needed at all.
    const QString dir = m_dir.filePath("silent");
    QDir().mkpath(dir);
    QVERIFY(TestVideos::make(dir + "/silent.mp4", 320, 240, 25, 20, false));
    const Run run = exportTool({"--verbose", dir + "/silent.mp4"}, m_plainHome, m_dir.filePath("empty-bin"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.contains("has no sound"), qPrintable(run.errors));
    const QStringList outputs = outputsIn(dir);
    QCOMPARE(outputs.size(), 1);
    QCOMPARE(TestVideos::probe(dir + "/" + outputs.first(), "v", "nb_read_frames"), QString("20"));
    QCOMPARE(TestVideos::probe(dir + "/" + outputs.first(), "a", "codec_type"), QString());
}

void ExportTrustTest::fullDisksFailWithNothingLeft_data()
{
    QTest::addColumn<QString>("full");
    QTest::newRow("data folder full while encoding") << "data-encode";
    QTest::newRow("data folder full while adding the sound") << "data-mux";
    QTest::newRow("output folder full") << "output";
}

void ExportTrustTest::fullDisksFailWithNothingLeft()
{
    QFETCH(QString, full);
    // The size of a complete export tells how small the folders must be.
    const QString reference = m_dir.filePath("full-reference");
    if (!QFileInfo::exists(reference)) {
        QDir().mkpath(reference);
        QVERIFY(QFile::copy(m_clip, reference + "/clip.mp4"));
        QCOMPARE(exportTool({reference + "/clip.mp4"}, m_plainHome).exitCode, 0);
    }
    const QStringList done = QDir(reference).entryList({"Lumetra_*"}, QDir::Files);
    QCOMPARE(done.size(), 1);
    const int exportKb = int(QFileInfo(reference + "/" + done.first()).size() / 1024) + 1;

    const QString dir = m_dir.filePath("full-" + full);
    const QString home = m_dir.filePath("full-home-" + full);
    const int sourceKb = int(QFileInfo(m_clip).size() / 1024) + 1;
    const int kilobytes = full == "data-encode" ? exportKb / 4 : full == "data-mux" ? exportKb * 3 / 2 : sourceKb + exportKb / 2;
    if (!mountTmpfs(full == "output" ? dir : home, kilobytes))
        QSKIP("mounting a small tmpfs needs root");
    QDir().mkpath(dir);
    QDir().mkpath(home);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const Run run = exportTool({dir + "/clip.mp4"}, home);
    QCOMPARE(run.exitCode, 1);
    // The reason is the one the user can act on, wherever the disk ran full.
    QVERIFY2(run.errors.contains("failed: ") && run.errors.contains("No space left on device"), qPrintable(run.errors));
    QCOMPARE(outputsIn(dir), QStringList());
    QCOMPARE(QDir(home + "/Vyr_DoridOvov").entryList({"tempV_*", "muxV_*"}, QDir::Files), QStringList());
}

void ExportTrustTest::namesOfEveryKindExportAsMp4_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("outputEnd");
    QTest::newRow("webm") << "talk.webm" << "_talk.mp4";
    QTest::newRow("no suffix") << "talk" << "_talk.mp4";
    QTest::newRow("read as a protocol") << "pipe:0.mp4" << "_pipe:0.mp4";
    QTest::newRow("colon") << "a:b.mp4" << "_a:b.mp4";
    QTest::newRow("longest name") << QString(200, QChar(0x4e2d)).left(80) + ".mp4" << ".mp4";
}

void ExportTrustTest::namesOfEveryKindExportAsMp4()
{
    QFETCH(QString, name);
    QFETCH(QString, outputEnd);
    const QString dir = m_dir.filePath("names-" + QString::number(qHash(name)));
    QDir().mkpath(dir);
    if (name.endsWith(".webm")) {
        QCOMPARE(QProcess::execute("ffmpeg", {"-v", "error", "-y", "-i", m_clip, "-c:v", "libvpx", "-b:v", "300k",
                                              "-c:a", "libopus", dir + "/" + name}), 0);
    } else {
        QVERIFY(QFile::copy(m_clip, dir + "/" + name));
    }
    // Given as a relative name, as a user types it in the folder.
    const Run run = exportTool({name}, m_plainHome, QString(), dir);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QStringList outputs = outputsIn(dir);
    QCOMPARE(outputs.size(), 1);
    QVERIFY2(outputs.first().endsWith(outputEnd), qPrintable(outputs.first()));
    QVERIFY(QFile::encodeName(outputs.first()).size() <= 255);
    const QString output = dir + "/" + outputs.first();
    QCOMPARE(TestVideos::probe(output, "a", "codec_type"), QString("audio"));
    QCOMPARE(TestVideos::probe(output, "v", "nb_read_frames"), QString("75"));
}

void ExportTrustTest::startDuringMux(QProcess& tool, const QString& name, const QString& ffmpeg, const QString& home)
{
    const QString dir = m_dir.filePath(name);
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const QString marker = m_dir.filePath(name + "-mux-running");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home);
    environment.insert("PATH", pathWithFfmpeg(name, QString(ffmpeg).replace("MARKER", marker)));
    tool.setProcessEnvironment(environment);
    tool.start(qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-export", {"--quiet", dir + "/clip.mp4"});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 60000);
    QFile pidFile(marker);
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    m_muxer = pidFile.readAll().trimmed().toInt();
    QVERIFY(m_muxer > 0);
}

void ExportTrustTest::killDuringMuxLeavesNothingAndTheNextStartCleansUp()
{
    const QString home = dataHome("killed", {{"AI_LIGHT", 0}});
    QProcess tool;
    // The mux's ffmpeg writes its whole file, then stays until it is ended.
    startDuringMux(tool, "killed", onMux("realffmpeg \"$@\" && echo $$ > MARKER && exec sleep 60"), home);
    const qint64 pid = tool.processId();
    tool.kill();
    tool.waitForFinished();
    ::kill(m_muxer, SIGKILL);

    QCOMPARE(outputsIn(m_dir.filePath("killed")), QStringList());
    const QString data = home + "/Vyr_DoridOvov";
    const QStringList left = QDir(data).entryList(kTemporaryFiles, QDir::Files);
    QVERIFY2(left.contains(QString("muxV_%1.mp4").arg(pid)) && left.contains(QString("tempA_%1.mp4").arg(pid)),
             qPrintable(left.join(' ')));
    // The next run removes what the killed one left.
    QVERIFY(exportTool({m_dir.filePath("missing.mp4")}, home).exitCode == 1);
    QCOMPARE(QDir(data).entryList(kTemporaryFiles, QDir::Files), QStringList());
}

void ExportTrustTest::interruptDuringMuxCancels()
{
    QProcess tool;
    startDuringMux(tool, "interrupted", onMux("echo $$ > MARKER; exec sleep 60"), m_plainHome);
    ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains("cancelled"));
    QCOMPARE(outputsIn(m_dir.filePath("interrupted")), QStringList());
    // The ffmpeg that was running has been ended.
    QTRY_VERIFY(::kill(m_muxer, 0) != 0);
}

void ExportTrustTest::existingFileIsNeverReplaced()
{
    const QString dir = m_dir.filePath("taken");
    QDir().mkpath(dir);
    const QString source = dir + "/clip.mp4";
    QVERIFY(TestVideos::make(source, 160, 120, 25, 5, false));
    ExportWriter::Job job;
    job.sourcePath = source;
    job.temporaryPath = dir + "/work.mp4";
    job.muxPath = dir + "/mux.mp4";
    job.soundPath = dir + "/sound.mp4";
    job.startedMs = 1700000000000;
    job.width = 160;
    job.height = 120;
    job.total = 6;
    job.sourceHasAudio = false;
    const QString taken = ExportWriter::outputPathFor(source, job.startedMs);
    QFile existing(taken);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("the user's own file");
    existing.close();

    FrameQueue queue;
    std::thread producer([&queue] {
        for (int i = 0; i < 5; ++i)
            queue.push(cv::Mat(120 * 3 / 2, 160, CV_8UC1, cv::Scalar(i * 40)));
        queue.finishProduction();
    });
    ExportWriter writer(queue, job, [](float) {});
    QCOMPARE(writer.run(), ExportWriter::Outcome::Finished);
    producer.join();
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("the user's own file"));
    QCOMPARE(writer.outputPath(), ExportWriter::outputPathFor(source, job.startedMs, 1));
    QCOMPARE(TestVideos::probe(writer.outputPath(), "v", "nb_read_frames"), QString("5"));
}

void ExportTrustTest::brokenBackgroundIsSaidOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::newRow("video") << "broken.mp4" << "video";
    // The library keeps the background it had when a picture does not decode; an export that
    // then said nothing would look finished with the wrong background, or none.
    QTest::newRow("picture") << "broken.png" << "picture";
}

void ExportTrustTest::brokenBackgroundIsSaidOnce()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    const QString dir = m_dir.filePath("broken-background-" + kind);
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    if (kind == "video") {
        QVERIFY(TestVideos::makeCorrupt(dir + "/" + file));
    } else {
        QFile text(dir + "/" + file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
    }
    const Run run = exportTool({"--verbose", "--portrait", "on", "--background", dir + "/" + file, dir + "/clip.mp4"},
                               m_plainHome);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(run.errors.count("cannot be read, exporting without it"), 1);
    QVERIFY2(run.errors.contains("warning: the background " + kind), qPrintable(run.errors));
    QCOMPARE(QDir(dir).entryList({"Lumetra_*"}, QDir::Files).size(), 1);
}

void ExportTrustTest::brokenModelsAreSaid()
{
    // A copy of the exporter beside models that are not models.
    const QString bin = m_dir.filePath("broken-models");
    QDir().mkpath(bin + "/models");
    const QString real = qEnvironmentVariable("VYR_BIN_DIR");
    for (const QString& file : QDir(real).entryList({"vyr-export", "lib*.so*"}, QDir::Files))
        QVERIFY(QFile::copy(real + "/" + file, bin + "/" + file));
    QFile::setPermissions(bin + "/vyr-export", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    for (const QString& model : QDir(real + "/models").entryList(QDir::Files)) {
        QFile broken(bin + "/models/" + model);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a model");
    }
    const QString dir = m_dir.filePath("broken-models-out");
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const Run run = exportTool({dir + "/clip.mp4"}, dataHome("broken-models", {}), QString(), QString(), bin + "/vyr-export");
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.contains("warning: ") && run.errors.contains("face"), qPrintable(run.errors));
    QVERIFY2(run.errors.contains("matting"), qPrintable(run.errors));
}

void ExportTrustTest::settingsOutOfRangeAreNeitherUsedNorRewritten()
{
    const QString home = dataHome("wild", {{"SMALL_FACE", "1e30"}, {"BIG_EYE", "-5"}, {"SHARPEN", "nan"},
                                           {"AI_LIGHT", "bright"}, {"portrait_level", "1e30"}, {"portrait_type", "7"}});
    const QString file = home + "/Vyr_DoridOvov/virtualBg.ini";
    QFile ini(file);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray before = ini.readAll();
    ini.close();
    const QString dir = m_dir.filePath("wild");
    QDir().mkpath(dir);
    QVERIFY(QFile::copy(m_clip, dir + "/clip.mp4"));
    const Run run = exportTool({"--background", "none", dir + "/clip.mp4"}, home);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), before);
}

QTEST_GUILESS_MAIN(ExportTrustTest)
#include "ExportTrustTest.moc"
