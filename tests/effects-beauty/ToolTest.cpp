// vyr-beauty, the still-picture tool: its result and its landmark file, and its refusals.
#include <opencv2/imgcodecs.hpp>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class ToolTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString tool, astronaut;

    int run(const QStringList& arguments)
    {
        QProcess p;
        p.start(tool, arguments);
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        tool = qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-beauty";
        astronaut = qEnvironmentVariable("VYR_SOURCE_DIR") + "/.cache/testdata/astronaut.png";
        QVERIFY2(QFile::exists(astronaut), "astronaut.png missing: run scripts/setup");
        QVERIFY(dir.isValid());
    }

    void writesTheResultAndTheLandmarksOfEveryFace()
    {
        const QString out = dir.filePath("eyes.png"), json = dir.filePath("eyes.json");
        QCOMPARE(run({astronaut, out, "--level", "BIG_EYE=1", "--light", "0.5", "--landmarks", json}), 0);
        const cv::Mat result = cv::imread(out.toStdString());
        QCOMPARE(result.cols, 512);
        QCOMPARE(result.rows, 512);
        QFile file(json);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray faces = QJsonDocument::fromJson(file.readAll()).object().value("faces").toArray();
        QCOMPARE(faces.size(), 1);
        const QJsonArray points = faces[0].toObject().value("points").toArray();
        QCOMPARE(points.size(), 468);
        for (const auto& p : points) {
            const double x = p.toArray()[0].toDouble(), y = p.toArray()[1].toDouble();
            QVERIFY(x > 100 && x < 400 && y > 20 && y < 300);  // on the astronaut's face
        }
    }

    void refusesWhatItCannotDo()
    {
        const QString out = dir.filePath("x.png");
        QCOMPARE(run({astronaut}), 1);
        QCOMPARE(run({astronaut, out, "--level", "NO_SUCH_ITEM=1"}), 1);
        QCOMPARE(run({astronaut, out, "--background", "sideways"}), 1);
        QCOMPARE(run({dir.filePath("missing.png"), out}), 1);
        QCOMPARE(run({astronaut, out, "--background", "picture=" + dir.filePath("missing.jpg")}), 1);
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(ToolTest)
#include "ToolTest.moc"
