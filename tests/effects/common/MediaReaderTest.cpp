#include "common/MediaReader.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <vector>

namespace {

// Each side runs its own way, so a picture turned the wrong way round differs everywhere.
cv::Mat gradientPicture(int width, int height)
{
    cv::Mat picture(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 255 / width, y * 255 / height, 128);
    return picture;
}

// After the SOI: an APP1 segment, its length, "Exif\0\0"; a big-endian TIFF header with IFD0
// at 8; one entry, the orientation as one SHORT; no IFD1.
std::vector<uchar> withExifOrientation(std::vector<uchar> jpeg, uchar orientation)
{
    const std::vector<uchar> app1 = {0xFF, 0xE1, 0x00, 0x22, 'E',  'x',         'i',  'f', 0,    0,    'M',  'M',
                                     0x00, 0x2A, 0,    0,    0,    8,           0x00, 1,   0x01, 0x12, 0x00, 0x03,
                                     0,    0,    0,    1,    0x00, orientation, 0,    0,   0,    0,    0,    0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

double meanDifference(const cv::Mat& a, const cv::Mat& b)
{
    return cv::norm(a, b, cv::NORM_L1) / (a.total() * a.channels());
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool makeClip(const QString& path, const QString& size, int frames)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=10", "-frames:v",
                            QString::number(frames), "-c:v", "mpeg4", "-q:v", "3", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

// The track's display matrix set as a phone held upright writes it: shown turned a quarter
// clockwise. Empty when the file has no version-0 track header.
QByteArray turnedAQuarter(QByteArray mp4)
{
    const int movie = mp4.indexOf("moov");
    const int header = movie < 0 ? -1 : mp4.indexOf("tkhd", movie);
    // After the name: version and flags; creation and change times, track, reserved, duration;
    // reserved; layer, group, volume, reserved; then the nine 32-bit matrix values.
    const int matrix = header + 4 + 4 + 20 + 8 + 8;
    if (header < 0 || mp4.at(header + 4) != 0 || matrix + 36 > mp4.size())
        return QByteArray();
    const quint32 values[9] = {0, 0x10000, 0, 0xFFFF0000, 0, 0, 0, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        for (int byte = 0; byte < 4; ++byte)
            mp4[matrix + i * 4 + byte] = static_cast<char>(values[i] >> (24 - 8 * byte));
    return mp4;
}

} // namespace

class MediaReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void picturesDecodeAsImreadGivesThem_data();
    void picturesDecodeAsImreadGivesThem();
    void videosDecodeEveryFrameUprightAndLoop();
    void brokenFilesFailWithAReason();
};

void MediaReaderTest::picturesDecodeAsImreadGivesThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("tolerance");
    // 91 pixels make lines of 273 bytes, no whole number of the scaler's blocks.
    const cv::Mat picture = gradientPicture(91, 60);
    std::vector<uchar> png, jpeg;
    cv::imencode(".png", picture, png);
    cv::imencode(".jpg", picture, jpeg);
    const auto bytes = [](const std::vector<uchar>& data) {
        return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()));
    };
    QTest::newRow("png, exact") << "a.png" << bytes(png) << 0.0;
    // The two JPEG decoders round and fill in the colour planes differently.
    QTest::newRow("jpeg") << "a.jpg" << bytes(jpeg) << 2.0;
    QTest::newRow("jpeg taken turned a quarter") << "b.jpg" << bytes(withExifOrientation(jpeg, 6)) << 2.0;
}

void MediaReaderTest::picturesDecodeAsImreadGivesThem()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(double, tolerance);
    QTemporaryDir dir;
    const std::string path = dir.filePath(name).toStdString();
    QVERIFY(writeFile(dir.filePath(name), bytes));

    const cv::Mat expected = cv::imread(path, cv::IMREAD_COLOR);
    std::string error;
    const cv::Mat decoded = effects::MediaReader::readPicture(path, error);
    QVERIFY2(!decoded.empty(), error.c_str());
    QCOMPARE(decoded.type(), CV_8UC3);
    QCOMPARE(decoded.size(), expected.size());
    const double difference = meanDifference(decoded, expected);
    QVERIFY2(difference <= tolerance, qPrintable(QString::number(difference)));
}

// Lines of 990 bytes: the scaler's blocks run past each line's end and past the last one. The
// same clip marked as turned comes out as players show it: turned clockwise.
void MediaReaderTest::videosDecodeEveryFrameUprightAndLoop()
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("odd.mp4"), turned = dir.filePath("turned.mp4");
    QVERIFY(makeClip(plain, "330x240", 12));
    const QByteArray turnedBytes = turnedAQuarter(readFile(plain));
    QVERIFY(!turnedBytes.isEmpty() && writeFile(turned, turnedBytes));

    std::vector<cv::Mat> expected;
    cv::VideoCapture capture(plain.toStdString());
    for (cv::Mat frame; capture.read(frame);)
        expected.push_back(frame.clone());
    QCOMPARE(expected.size(), size_t(12));

    for (const QString& path : {plain, turned}) {
        effects::MediaReader reader;
        std::string error;
        QVERIFY2(reader.open(path.toStdString(), error), error.c_str());
        QCOMPARE(reader.fps(), 10.0);
        for (int loop = 0; loop < 2; ++loop) {
            cv::Mat frame, want;
            for (const cv::Mat& stored : expected) {
                QVERIFY(reader.read(frame));
                if (path == turned)
                    cv::rotate(stored, want, cv::ROTATE_90_CLOCKWISE);
                else
                    want = stored;
                QCOMPARE(frame.size(), want.size());
                QCOMPARE(cv::norm(frame, want, cv::NORM_INF), 0.0);
            }
            QVERIFY(!reader.read(frame));
            QVERIFY2(reader.rewind(error), error.c_str());
        }
    }
}

void MediaReaderTest::brokenFilesFailWithAReason()
{
    QTemporaryDir dir;
    const QString video = dir.filePath("whole.mp4");
    QVERIFY(makeClip(video, "64x48", 10));
    const QByteArray bytes = readFile(video);
    QVERIFY(writeFile(dir.filePath("cut.mp4"), bytes.left(bytes.size() / 2)));
    QVERIFY(writeFile(dir.filePath("garbage.jpg"), QByteArray(4096, '\x5a')));
    QVERIFY(writeFile(dir.filePath("empty.png"), QByteArray()));

    for (const char* name : {"cut.mp4", "garbage.jpg", "empty.png", "missing.mp4"}) {
        const std::string path = dir.filePath(name).toStdString();
        // A file named as a picture opens by its name alone, and then decodes nothing.
        effects::MediaReader reader;
        std::string error;
        cv::Mat frame;
        QVERIFY2(!(reader.open(path, error) && reader.read(frame)), name);
        QVERIFY2(effects::MediaReader::readPicture(path, error).empty(), name);
        QVERIFY(!error.empty());
    }
    // A JPEG cut off in its picture data decodes to its top part over flat grey or green; as a
    // background that would pass for a picture, so it is refused.
    cv::Mat photo(240, 320, CV_8UC3);
    cv::randu(photo, 0, 255);
    std::vector<uchar> jpeg;
    QVERIFY(cv::imencode(".jpg", photo, jpeg));
    const QByteArray whole(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size()));
    QVERIFY(writeFile(dir.filePath("cut.jpg"), whole.left(whole.size() / 2)));
    QVERIFY(writeFile(dir.filePath("whole.jpg"), whole));
    std::string error;
    QVERIFY(effects::MediaReader::readPicture(dir.filePath("cut.jpg").toStdString(), error).empty());
    QVERIFY(!error.empty());
    QCOMPARE(effects::MediaReader::readPicture(dir.filePath("whole.jpg").toStdString(), error).size(), photo.size());
}

QTEST_GUILESS_MAIN(MediaReaderTest)
#include "MediaReaderTest.moc"
