// The engine's effect model: defaults, index arithmetic, persistence and the matting flags.
#include "app/AppSettings.h"
#include "engine/ProcessBeauty.h"
#include "platform/Platform.h"

#include <QtTest>

class EffectParametersTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void emptyStoreGivesDefaults();
    void levelsWrapAndPersistAsFloats();
    void storedLevelsAreLoaded();
    void storedValuesOutOfRangeAreHeldToTheirRange();
    void backgroundChoiceIsPersistedBySuffix();
    void clearingTheBackgroundDropsTheChoice();
    void mattingJustEnabledOnlyOnTheChangeIntoMatting();
    void neutralOnlyWithEveryItemAtItsNeutralPoint();
};

void EffectParametersTest::initTestCase()
{
    // Before the store is first opened: every case starts from a missing file.
    QFile::remove(platform::dataDirectory() + "/virtualBg.ini");
    QVERIFY(!AppSettings::instance().contains("BIG_EYE"));
}

void EffectParametersTest::emptyStoreGivesDefaults()
{
    ProcessBeauty engine(nullptr);
    QCOMPARE(engine.beautyLevel(0), 0.6f);
    QCOMPARE(engine.beautyLevel(2), 0.0f);
    QCOMPARE(engine.beautyLevel(11), 0.5f);
    QCOMPARE(engine.beautyLevel(21), 0.0f);
    QCOMPARE(engine.aiLight(), 0.6f);
    QCOMPARE(engine.defaultAiLight(), 0.6f);
    QCOMPARE(engine.portraitLevel(), 70.0f);
    QCOMPARE(engine.portraitType(), 0);
    QCOMPARE(engine.backgroundType(), 2);
    QVERIFY(!engine.mattingJustEnabled());
}

void EffectParametersTest::levelsWrapAndPersistAsFloats()
{
    ProcessBeauty engine(nullptr);
    engine.setBeautyLevel(23, 0.3f);
    QCOMPARE(engine.beautyLevel(1), 0.3f);
    QCOMPARE(engine.beautyLevel(23), 0.3f);
    QCOMPARE(engine.defaultBeautyLevel(23), 0.6f);
    const QVariant stored = AppSettings::instance().value("BIG_EYE");
    QCOMPARE(int(stored.userType()), int(QMetaType::Float));
    QCOMPARE(stored.toFloat(), 0.3f);
    // A negative item must not read outside the table.
    engine.setBeautyLevel(-1, 0.25f);
    QCOMPARE(engine.beautyLevel(21), 0.25f);
    engine.setAiLight(0.4f);
    engine.setPortraitLevel(55);
    engine.setPortraitType(1);
    QCOMPARE(AppSettings::instance().value("AI_LIGHT").toFloat(), 0.4f);
    QCOMPARE(AppSettings::instance().value("portrait_level").toInt(), 55);
    QCOMPARE(AppSettings::instance().value("portrait_type").toInt(), 1);
}

void EffectParametersTest::storedLevelsAreLoaded()
{
    AppSettings::instance().setValue("SHARPEN", 0.15f);
    AppSettings::instance().setValue("AI_LIGHT", 0.2f);
    AppSettings::instance().setValue("portrait_level", 42);
    ProcessBeauty engine(nullptr);
    QCOMPARE(engine.beautyLevel(8), 0.15f);
    QCOMPARE(engine.aiLight(), 0.2f);
    QCOMPARE(engine.portraitLevel(), 42.0f);
    // The portrait type is restored by the window, not by the engine.
    QCOMPARE(engine.portraitType(), 0);
}

void EffectParametersTest::storedValuesOutOfRangeAreHeldToTheirRange()
{
    AppSettings& settings = AppSettings::instance();
    settings.setValue("SMALL_FACE", "1e30");
    settings.setValue("BIG_EYE", -3);
    settings.setValue("SHARPEN", "nan");
    settings.setValue("AI_LIGHT", "bright");
    settings.setValue("portrait_level", "1e30");
    ProcessBeauty engine(nullptr);
    QCOMPARE(engine.beautyLevel(0), 1.0f);
    QCOMPARE(engine.beautyLevel(1), 0.0f);
    QCOMPARE(engine.beautyLevel(8), 0.6f);
    QCOMPARE(engine.aiLight(), 0.6f);
    QCOMPARE(engine.portraitLevel(), 100.0f);
    // Setting what was read writes nothing back: the store keeps the user's text.
    engine.setBeautyLevel(0, 1.0f);
    engine.setAiLight(0.6f);
    QCOMPARE(settings.value("SMALL_FACE").toString(), QString("1e30"));
    QCOMPARE(settings.value("AI_LIGHT").toString(), QString("bright"));
    for (const char* key : {"SMALL_FACE", "BIG_EYE", "SHARPEN", "AI_LIGHT", "portrait_level"})
        settings.remove(key);
}

void EffectParametersTest::backgroundChoiceIsPersistedBySuffix()
{
    ProcessBeauty engine(nullptr);
    engine.setBackground("/videos/Beach.MP4");
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), QString("/videos/Beach.MP4"));
    engine.setBackground("/pictures/sky.jpeg");
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), QString("/pictures/sky.jpeg"));
    engine.setBackground(nullptr);
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), QString("/pictures/sky.jpeg"));
    engine.selectVirtualize();
    QCOMPARE(AppSettings::instance().value("portrait_item").toString(), QString("virtualize"));
}

void EffectParametersTest::clearingTheBackgroundDropsTheChoice()
{
    ProcessBeauty engine(nullptr);
    engine.setBackgroundType(3);
    engine.setBackground("/videos/a.mp4");
    QVERIFY(AppSettings::instance().contains("portrait_item"));
    engine.setBackgroundType(2);
    QVERIFY(!AppSettings::instance().contains("portrait_item"));
    engine.setBackground("/videos/a.mp4");
    engine.setBackgroundType(0);
    QVERIFY(!AppSettings::instance().contains("portrait_item"));
}

void EffectParametersTest::mattingJustEnabledOnlyOnTheChangeIntoMatting()
{
    ProcessBeauty engine(nullptr);
    engine.setBackgroundType(5);  // virtualize row, switch off
    QVERIFY(!engine.mattingJustEnabled());
    engine.setBackgroundType(4);  // switch on
    QVERIFY(engine.mattingJustEnabled());
    engine.setPortraitType(2);
    QVERIFY(!engine.mattingJustEnabled());
    // A picture replaced by colour keying needs no mask; AI matting of it does.
    engine.setBackgroundType(3);
    QVERIFY(!engine.mattingJustEnabled());
    engine.setPortraitType(0);
    QVERIFY(engine.mattingJustEnabled());
}

void EffectParametersTest::neutralOnlyWithEveryItemAtItsNeutralPoint()
{
    EffectParameters parameters;
    parameters.aiLight = 0.0f;
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        parameters.setLevel(item, EffectParameters::defaultLevel(item) == 0.5f ? 0.5f : 0.0f);
    parameters.backgroundType = EffectParameters::SwitchOnNoBackground;
    QVERIFY(parameters.changesNoPixel());
    // A centred item at 0 moves the feature as far as it goes.
    parameters.setLevel(15, 0.0f);
    QVERIFY(!parameters.changesNoPixel());
    parameters.setLevel(15, 0.5f);
    parameters.backgroundType = EffectParameters::Virtualize;
    QVERIFY(!parameters.changesNoPixel());
    parameters.backgroundType = EffectParameters::VirtualizeWithoutMatting;
    parameters.aiLight = 0.01f;
    QVERIFY(!parameters.changesNoPixel());
}

QTEST_GUILESS_MAIN(EffectParametersTest)
#include "EffectParametersTest.moc"
