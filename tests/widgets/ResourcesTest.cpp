// The compiled-in pictures, window icon and font register by merely linking
// vyr_resources: nothing here calls Q_INIT_RESOURCE.
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QRawFont>
#include <QtTest>

class ResourcesTest : public QObject {
    Q_OBJECT
private slots:
    void everyNamedPictureLoads_data();
    void everyNamedPictureLoads();
    void windowIconIsAnIconFileWithSeveralSizes();
    void cjkFontLoadsAndCoversChinese();
};

void ResourcesTest::everyNamedPictureLoads_data()
{
    QTest::addColumn<QString>("name");
    const char *names[] = {
        "icon-beauty-off", "icon-beauty-on", "icon-close", "icon-close_hover", "icon-close_press",
        "icon-compare", "icon-compare_hover", "icon-compare_press", "icon-max", "icon-max_hover",
        "icon-max_press", "icon-help", "icon-help_hover", "icon-help_press", "icon-min", "icon-min_hover", "icon-min_press", "icon-openvideo",
        "icon-pausevideo", "icon-portrait-off", "icon-portrait-on", "icon-progress-text",
        "icon-restore", "icon-restore_hover", "icon-restore_press", "icon-setting",
        "icon-setting_hover", "icon-setting_press", "icon-startvideo", "icon-video-openhint",
        "icon-video-saveover", "icon_delete", "icon_delete_hover", "icon_goweb", "icon_goweb_hover",
        "icon_head", "item_clear_effect", "item_upload_pic", "item_video_play", "loginlogo", "logo",
        "portrait_ai", "portrait_ai_select", "portrait_bluescreen", "portrait_bluescreen_select",
        "portrait_greenscreen", "portrait_greenscreen_select", "tab-select"};
    for (const char *name : names)
        QTest::newRow(name) << QString::fromLatin1(name);
}

void ResourcesTest::everyNamedPictureLoads()
{
    QFETCH(QString, name);
    const QImage image(QStringLiteral(":/image/%1.png").arg(name));
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY(image.hasAlphaChannel());
}

void ResourcesTest::windowIconIsAnIconFileWithSeveralSizes()
{
    QImageReader reader(":/doridOvov.ico");
    QCOMPARE(reader.format(), QByteArray("ico"));
    QVERIFY(reader.imageCount() >= 4);
    const QIcon icon(":/doridOvov.ico");
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
    QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
}

void ResourcesTest::cjkFontLoadsAndCoversChinese()
{
    const int id = QFontDatabase::addApplicationFont(":/OPlusSans3.ttf");
    QVERIFY(id != -1);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QVERIFY(!families.isEmpty());
    const QRawFont raw = QRawFont::fromFont(QFont(families.first(), 12));
    QVERIFY(raw.supportsCharacter(QChar(0x80CC))); // 背
    QVERIFY(raw.supportsCharacter(QChar(0x7F8E))); // 美
}

QTEST_MAIN(ResourcesTest)
#include "ResourcesTest.moc"
