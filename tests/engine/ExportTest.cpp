// Exports of real clips: progress, the output beside the source, audio, cancel and failures.
#include "TestVideos.h"

#include "app/AppSettings.h"
#include "engine/ProcessBeauty.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/videoio.hpp>

#include <mutex>

class ExportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exportKeepsFramesAudioAndEvenSize();
    void quotesInTheFileNameAndNoAudio();
    void cancelLeavesNoOutput();
    void unreadableSourcesFail_data();
    void unreadableSourcesFail();
    void msmfFallsBackToAWorkingWriter();

private:
    struct Record {
        std::mutex lock;
        QList<float> progress;
        QStringList events;
        QString outputPath;
    };
    // Runs save on the engine's own thread and waits for it to return.
    void exportFile(const QString& source);
    QStringList outputsIn(const QString& dir) const;

    QTemporaryDir m_dir;
    ProcessBeauty* m_engine = nullptr;
    QThread* m_thread = nullptr;
    Record* m_record = nullptr;
    QByteArray m_path;
};

void ExportTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void ExportTest::init()
{
    m_record = new Record;
    m_engine = new ProcessBeauty(nullptr);
    m_thread = new QThread;
    m_engine->moveToThread(m_thread);
    m_thread->start();
    Record* record = m_record;
    // Direct: the writer's signals come from the task pool and are recorded where they happen.
    connect(m_engine, &ProcessBeauty::onSaveProgress, m_engine, [record](float percent) {
        std::lock_guard<std::mutex> lock(record->lock);
        record->progress << percent;
    }, Qt::DirectConnection);
    connect(m_engine, &ProcessBeauty::onSaveOver, m_engine, [record](const char* path) {
        std::lock_guard<std::mutex> lock(record->lock);
        record->events << "over";
        record->outputPath = QFile::decodeName(path);
    }, Qt::DirectConnection);
    connect(m_engine, &ProcessBeauty::onSaveCanceled, m_engine, [record] {
        std::lock_guard<std::mutex> lock(record->lock);
        record->events << "canceled";
    }, Qt::DirectConnection);
    connect(m_engine, &ProcessBeauty::onSaveFailed, m_engine, [record](const QString&) {
        std::lock_guard<std::mutex> lock(record->lock);
        record->events << "failed";
    }, Qt::DirectConnection);
}

void ExportTest::cleanup()
{
    m_thread->quit();
    m_thread->wait();
    delete m_engine;
    delete m_thread;
    delete m_record;
}

void ExportTest::exportFile(const QString& source)
{
    m_path = source.toUtf8();
    QMetaObject::invokeMethod(m_engine, "save", Qt::BlockingQueuedConnection, Q_ARG(const char*, m_path.constData()));
}

QStringList ExportTest::outputsIn(const QString& dir) const
{
    return QDir(dir).entryList({"Lumetra_*", ".Lumetra_*"}, QDir::Files | QDir::Hidden);
}

void ExportTest::exportKeepsFramesAudioAndEvenSize()
{
    const QString source = m_dir.filePath("odd.mp4");
    QVERIFY(TestVideos::make(source, 1281, 721, 30, 300, true));
    exportFile(source);

    QCOMPARE(m_record->events, QStringList{"over"});
    QCOMPARE(m_record->progress.size(), 301);
    for (int i = 0; i < 300; ++i)
        QCOMPARE(m_record->progress[i], float(i + 1) / 301.0f);
    QCOMPARE(m_record->progress.last(), 1.0f);

    const QString output = m_record->outputPath;
    QCOMPARE(QFileInfo(output).absolutePath(), QFileInfo(source).absolutePath());
    QVERIFY(QFileInfo(output).fileName().startsWith("Lumetra_"));
    QVERIFY(QFileInfo(output).fileName().endsWith("_odd.mp4"));
    QCOMPARE(outputsIn(m_dir.path()), QStringList{QFileInfo(output).fileName()});
    QCOMPARE(TestVideos::probe(output, "v", "width"), QString("1280"));
    QCOMPARE(TestVideos::probe(output, "v", "height"), QString("720"));
    QCOMPARE(TestVideos::probe(output, "v", "nb_read_frames"), QString("300"));
    QCOMPARE(TestVideos::probe(output, "a", "codec_type"), QString("audio"));
    // Twice the source's bitrate as the decoder reports it (kbit/s, the container's); on ten
    // seconds of a test pattern the encoder's average settles only roughly.
    const double target = 2000.0 * cv::VideoCapture(source.toStdString()).get(cv::CAP_PROP_BITRATE);
    const double bitrate = TestVideos::probe(output, "v", "bit_rate").toDouble();
    QVERIFY2(qAbs(bitrate / target - 1) < 0.25, qPrintable(QString("%1 of %2").arg(bitrate).arg(target)));
    QFile::remove(output);
}

void ExportTest::quotesInTheFileNameAndNoAudio()
{
    const QString dir = m_dir.filePath("it's \"quoted\"");
    QVERIFY(QDir().mkpath(dir));
    const QString withAudio = dir + "/a \"b\" 'c'.mp4";
    const QString silent = dir + "/silent.mp4";
    QVERIFY(TestVideos::make(withAudio, 160, 120, 25, 20, true));
    QVERIFY(TestVideos::make(silent, 160, 120, 25, 20, false));

    exportFile(withAudio);
    QCOMPARE(m_record->events, QStringList{"over"});
    QCOMPARE(TestVideos::probe(m_record->outputPath, "a", "codec_type"), QString("audio"));
    QCOMPARE(TestVideos::probe(m_record->outputPath, "v", "nb_read_frames"), QString("20"));

    // Without audio the output keeps the video alone, and no partial file is left behind.
    exportFile(silent);
    QCOMPARE(m_record->events, (QStringList{"over", "over"}));
    QCOMPARE(TestVideos::probe(m_record->outputPath, "v", "nb_read_frames"), QString("20"));
    QCOMPARE(TestVideos::probe(m_record->outputPath, "a", "codec_type"), QString());
    QCOMPARE(outputsIn(dir).size(), 2);
}

void ExportTest::cancelLeavesNoOutput()
{
    const QString dir = m_dir.filePath("cancel");
    QVERIFY(QDir().mkpath(dir));
    const QString source = dir + "/long.mp4";
    QVERIFY(TestVideos::make(source, 640, 360, 30, 600, true));
    ProcessBeauty* engine = m_engine;
    Record* record = m_record;
    connect(m_engine, &ProcessBeauty::onSaveProgress, m_engine, [engine, record](float) {
        if (record->progress.size() == 10)
            engine->cancelSave();
    }, Qt::DirectConnection);
    exportFile(source);
    QCOMPARE(m_record->events, QStringList{"canceled"});
    QVERIFY(m_record->progress.size() < 600);
    QVERIFY(!m_record->progress.contains(1.0f));
    QCOMPARE(outputsIn(dir), QStringList());
}

void ExportTest::unreadableSourcesFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("corrupt") << "corrupt.mp4";
    QTest::newRow("zero bytes") << "empty.mp4";
    QTest::newRow("missing") << "missing.mp4";
}

void ExportTest::unreadableSourcesFail()
{
    QFETCH(QString, name);
    const QString dir = m_dir.filePath("bad");
    QVERIFY(QDir().mkpath(dir));
    const QString source = dir + "/" + name;
    if (name == "corrupt.mp4")
        QVERIFY(TestVideos::makeCorrupt(source));
    if (name == "empty.mp4")
        QVERIFY(TestVideos::makeEmpty(source));
    exportFile(source);
    QCOMPARE(m_record->events, QStringList{"failed"});
    QCOMPARE(outputsIn(dir), QStringList());
}

void ExportTest::msmfFallsBackToAWorkingWriter()
{
    const QString source = m_dir.filePath("msmf.mp4");
    QVERIFY(TestVideos::make(source, 160, 120, 30, 10, false));
    AppSettings::instance().setValue("msmf", true);
    exportFile(source);
    AppSettings::instance().remove("msmf");
    QCOMPARE(m_record->events, QStringList{"over"});
    QCOMPARE(TestVideos::probe(m_record->outputPath, "v", "nb_read_frames"), QString("10"));
}

QTEST_GUILESS_MAIN(ExportTest)
#include "ExportTest.moc"
