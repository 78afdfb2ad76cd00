// The network runner against the reference runtime and against figures measured on real
// pictures, and its behaviour on files that are not (quite) models.
#include "nn/TfliteModel.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <fstream>
#include <random>

namespace {

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

std::string modelPath(const QString& name)
{
    return (env("VYR_BIN_DIR") + "/models/" + name + ".tflite").toStdString();
}

cv::Mat messi()
{
    return cv::imread((env("VYR_TESTDATA") + "/messi5.jpg").toStdString(), cv::IMREAD_COLOR);
}

std::unique_ptr<nn::TfliteModel> loadModel(const QString& name)
{
    std::string error;
    auto model = nn::TfliteModel::load(modelPath(name), error);
    if (!model)
        qWarning("%s", error.c_str());
    return model;
}

// BGR picture -> RGB float tensor: value * scale + offset.
void fillInput(nn::TfliteModel& model, const cv::Mat& bgr, double scale, double offset)
{
    const std::vector<int>& shape = model.inputShape(0);
    cv::Mat resized, rgb;
    cv::resize(bgr, resized, cv::Size(shape[2], shape[1]), 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(resized, rgb, cv::COLOR_BGR2RGB);
    cv::Mat input(shape[1], shape[2], CV_32FC3, model.input(0));
    rgb.convertTo(input, CV_32FC3, scale, offset);
}

struct Landmarks {
    cv::Point2d centre;
    double side;
    double theta;
};

cv::Point2d fromCrop(const Landmarks& roi, double u, double v)
{
    const double xn = u / 192.0 - 0.5, yn = v / 192.0 - 0.5;
    return {roi.centre.x + (std::cos(roi.theta) * xn - std::sin(roi.theta) * yn) * roi.side,
            roi.centre.y + (std::sin(roi.theta) * xn + std::cos(roi.theta) * yn) * roi.side};
}

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

} // namespace

class TfliteModelTest : public QObject {
    Q_OBJECT

private slots:
    void agreesWithReference_data();
    void agreesWithReference();
    void selfieMatchesMeasuredCoverageOnMessi();
    void faceDetectorFindsTheSmallFaceOnTiles();
    void faceLandmarksMatchMeasuredPoints();
    void refusesFilesThatAreNotModels();
    void survivesCorruptedModels();
};

void TfliteModelTest::agreesWithReference_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("picture");
    for (const char* name : {"selfie_segmentation", "selfie_segmentation_landscape", "face_detection_short_range",
                             "face_landmark"}) {
        QTest::newRow(qPrintable(QString(name) + " random")) << name << false;
        QTest::newRow(qPrintable(QString(name) + " messi5")) << name << true;
    }
}

// Every output of every model, on noise and on a real picture, within 1e-3 of the reference
// runtime (run under Node from the set-up's npm cache).
void TfliteModelTest::agreesWithReference()
{
    QFETCH(QString, model);
    QFETCH(bool, picture);
    const QString package = env("VYR_NPM_TOOLS") + "/node_modules/@litertjs/core";
    QVERIFY2(QFile::exists(package + "/package.json"), "reference runtime missing: run scripts/setup");
    auto runner = loadModel(model);
    QVERIFY(runner);

    float* input = runner->input(0);
    if (picture) {
        const bool detector = model.startsWith("face_detection");
        fillInput(*runner, messi(), detector ? 1 / 127.5 : 1 / 255.0, detector ? -1.0 : 0.0);
    } else {
        std::mt19937 random(42);
        std::uniform_real_distribution<float> uniform(-1.f, 1.f);
        for (size_t i = 0; i < runner->inputSize(0); ++i)
            input[i] = uniform(random);
    }
    QTemporaryDir dir;
    const QString inputFile = dir.filePath("input.f32");
    {
        std::ofstream out(inputFile.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(input), runner->inputSize(0) * sizeof(float));
    }
    runner->run();

    QProcess node;
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start("node", {env("VYR_SOURCE_DIR") + "/tests/effects/nn/reference.mjs", package,
                        QString::fromStdString(modelPath(model)), inputFile, dir.filePath("out")});
    QVERIFY2(node.waitForFinished(120000), "node did not finish");
    QCOMPARE(node.exitCode(), 0);

    QFile namesFile(dir.filePath("out.names"));
    QVERIFY(namesFile.open(QIODevice::ReadOnly));
    const QStringList names = QString(namesFile.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(names.size(), runner->outputCount());
    for (int i = 0; i < names.size(); ++i) {
        const int ours = runner->outputIndex(names[i].toStdString());
        QVERIFY2(ours >= 0, qPrintable("no output named " + names[i]));
        const std::vector<uint8_t> bytes = fileBytes(dir.filePath("out%1.f32").arg(i).toStdString());
        QCOMPARE(bytes.size(), runner->outputSize(ours) * sizeof(float));
        const float* reference = reinterpret_cast<const float*>(bytes.data());
        double worst = 0;
        for (size_t k = 0; k < runner->outputSize(ours); ++k)
            worst = std::max(worst, double(std::abs(reference[k] - runner->output(ours)[k])));
        QVERIFY2(worst <= 1e-3, qPrintable(QString("%1 differs by %2").arg(names[i]).arg(worst)));
    }
}

void TfliteModelTest::selfieMatchesMeasuredCoverageOnMessi()
{
    auto square = loadModel("selfie_segmentation");
    auto landscape = loadModel("selfie_segmentation_landscape");
    QVERIFY(square && landscape);
    fillInput(*square, messi(), 1 / 255.0, 0);
    fillInput(*landscape, messi(), 1 / 255.0, 0);
    square->run();
    landscape->run();
    const cv::Mat a(256, 256, CV_32F, const_cast<float*>(square->output(0)));
    const cv::Mat b(144, 256, CV_32F, const_cast<float*>(landscape->output(0)));
    double low, high;
    cv::minMaxLoc(a, &low, &high);
    QVERIFY(low >= 0 && high <= 1);
    const double person = 100.0 * cv::countNonZero(a > 0.5f) / a.total();
    QVERIFY2(std::abs(person - 20.8) < 0.5, qPrintable(QString("person %1 %").arg(person)));

    cv::Mat bAtSquare;
    cv::resize(b, bAtSquare, a.size(), 0, 0, cv::INTER_LINEAR);
    const double agree = 100.0 * cv::countNonZero((a > 0.5f) == (bAtSquare > 0.5f)) / a.total();
    QVERIFY2(std::abs(agree - 91.8) < 1.5, qPrintable(QString("models agree on %1 %").arg(agree)));
}

// The short-range detector misses messi5's 34-pixel face on the full frame; on 192-pixel tiles
// it scores 0.958 on the tile at (192, 0), with the box measured there.
void TfliteModelTest::faceDetectorFindsTheSmallFaceOnTiles()
{
    auto detector = loadModel("face_detection_short_range");
    QVERIFY(detector);
    const int regressors = detector->outputIndex("regressors");
    const int scores = detector->outputIndex("classificators");
    QVERIFY(regressors >= 0 && scores >= 0);
    const cv::Mat image = messi();
    double bestScore = 0;
    cv::Point bestTile;
    cv::Rect2d bestBox;
    for (int y : {0, 96, image.rows - 192})
        for (int x : {0, 96, 192, 288, image.cols - 192}) {
            fillInput(*detector, image(cv::Rect(x, y, 192, 192)), 1 / 127.5, -1.0);
            detector->run();
            for (int i = 0; i < 896; ++i) {
                const float logit = std::min(std::max(detector->output(scores)[i], -100.f), 100.f);
                const double score = 1.0 / (1.0 + std::exp(-logit));
                if (score <= bestScore)
                    continue;
                const bool fine = i < 512;
                const int cell = fine ? i / 2 : (i - 512) / 6, grid = fine ? 16 : 8;
                const double ax = (cell % grid + 0.5) / grid, ay = (cell / grid + 0.5) / grid;
                const float* r = detector->output(regressors) + 16 * i;
                const double cx = r[0] / 128.0 + ax, cy = r[1] / 128.0 + ay, w = r[2] / 128.0, h = r[3] / 128.0;
                bestScore = score;
                bestTile = {x, y};
                bestBox = {x + (cx - w / 2) * 192, y + (cy - h / 2) * 192, w * 192, h * 192};
            }
        }
    QVERIFY2(std::abs(bestScore - 0.958) < 0.01, qPrintable(QString("best score %1").arg(bestScore)));
    QCOMPARE(bestTile, cv::Point(192, 0));
    // The measured box is the weighted mean of all overlapping tiles, so allow a few pixels.
    QVERIFY(std::abs(bestBox.x - 222.2) < 3 && std::abs(bestBox.y - 98.3) < 3);
    QVERIFY(std::abs(bestBox.br().x - 255.5) < 3 && std::abs(bestBox.br().y - 131.6) < 3);
}

void TfliteModelTest::faceLandmarksMatchMeasuredPoints()
{
    auto mesh = loadModel("face_landmark");
    QVERIFY(mesh);
    const Landmarks roi{{238.8, 114.9}, 49.9, -0.130};
    const auto corner = [&](double u, double v) { return cv::Point2f(fromCrop(roi, u, v)); };
    const cv::Point2f from[] = {corner(0, 0), corner(192, 0), corner(0, 192)};
    const cv::Point2f to[] = {{0, 0}, {192, 0}, {0, 192}};
    cv::Mat crop, rgb;
    cv::warpAffine(messi(), crop, cv::getAffineTransform(from, to), cv::Size(192, 192), cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    fillInput(*mesh, crop, 1 / 255.0, 0);
    mesh->run();
    const int points = mesh->outputIndex("conv2d_21");
    const int presence = mesh->outputIndex("conv2d_31");
    QVERIFY(points >= 0 && presence >= 0);
    // The measured region is given to three digits, which moves the crop by a fraction of a pixel.
    QVERIFY2(std::abs(mesh->output(presence)[0] - 20.89) < 0.5,
             qPrintable(QString("presence logit %1").arg(mesh->output(presence)[0])));
    const struct { int index; cv::Point2d at; } expected[] = {
        {1, {248.6, 118.1}}, {33, {236.0, 108.1}}, {263, {252.9, 106.7}}};
    for (const auto& e : expected) {
        const float* p = mesh->output(points) + 3 * e.index;
        const cv::Point2d got = fromCrop(roi, p[0], p[1]);
        QVERIFY2(cv::norm(got - e.at) < 0.5,
                 qPrintable(QString("landmark %1 at (%2, %3)").arg(e.index).arg(got.x).arg(got.y)));
    }
}

void TfliteModelTest::refusesFilesThatAreNotModels()
{
    std::string error;
    QVERIFY(!nn::TfliteModel::load("/nonexistent/model.tflite", error));
    QVERIFY(!error.empty());

    const std::vector<uint8_t> model = fileBytes(modelPath("selfie_segmentation"));
    QVERIFY(!model.empty());
    // Cut anywhere: the header, the tables at the end, or in the middle of weights.
    for (size_t length : {size_t(0), size_t(3), size_t(8), size_t(64), model.size() / 2, model.size() - 1}) {
        error.clear();
        const std::vector<uint8_t> cut(model.begin(), model.begin() + length);
        QVERIFY2(!nn::TfliteModel::loadFromMemory(cut, error), qPrintable(QString::number(length)));
        QVERIFY(!error.empty());
    }
    const std::vector<uint8_t> picture = fileBytes((env("VYR_TESTDATA") + "/messi5.jpg").toStdString());
    QVERIFY(!nn::TfliteModel::loadFromMemory(picture, error));
    std::vector<uint8_t> wrongIdentifier = model;
    wrongIdentifier[4] = 'X';
    QVERIFY(!nn::TfliteModel::loadFromMemory(wrongIdentifier, error));
}

// Flipped bytes anywhere in a model must end in a refusal or in a model that runs; never in a
// crash or a read outside the buffers.
void TfliteModelTest::survivesCorruptedModels()
{
    const std::vector<uint8_t> model = fileBytes(modelPath("face_detection_short_range"));
    QVERIFY(!model.empty());
    std::mt19937 random(7);
    // Corrupt the flatbuffer's tables (after the weights) more often than the weights.
    std::uniform_int_distribution<size_t> anywhere(0, model.size() - 1), tables(model.size() - 40000, model.size() - 1);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes = model;
        for (int flips = 0; flips < 4; ++flips)
            bytes[(round % 4 ? tables : anywhere)(random)] ^= static_cast<uint8_t>(1 + random() % 255);
        std::string error;
        auto runner = nn::TfliteModel::loadFromMemory(bytes, error);
        if (runner)
            runner->run();
        else
            ++refused;
    }
    qInfo("corrupted models refused: %d of 300", refused);
}

QTEST_GUILESS_MAIN(TfliteModelTest)
#include "TfliteModelTest.moc"
