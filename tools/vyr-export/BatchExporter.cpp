#include "BatchExporter.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "engine/ProcessBeauty.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

namespace {
constexpr int kBarWidth = 40;
}

BatchExporter::BatchExporter(const Options& options)
    : m_options(options), m_engine(new ProcessBeauty(nullptr)), m_thread(new QThread)
{
    // A batch run uses the stored settings and its own choices without writing any of them.
    m_engine->setPersistSettings(false);
    m_engine->moveToThread(m_thread);
    connect(m_engine, &ProcessBeauty::onSaveProgress, this, &BatchExporter::showProgress, Qt::QueuedConnection);
    connect(m_engine, &ProcessBeauty::onSaveOver, this, [this](const char* path) {
        finishFile("done: " + QFile::decodeName(path), false);
    }, Qt::QueuedConnection);
    connect(m_engine, &ProcessBeauty::onSaveFailed, this, [this](const QString& message) {
        finishFile("failed: " + message, true);
    }, Qt::QueuedConnection);
    connect(m_engine, &ProcessBeauty::onSaveWarning, this, [this](const QString& message) {
        clearProgressLine();
        std::fprintf(stderr, "vyr-export: warning: %s\n", qPrintable(message));
    }, Qt::QueuedConnection);
    connect(m_engine, &ProcessBeauty::onSaveCanceled, this, [this] {
        finishFile("cancelled", true);
    }, Qt::QueuedConnection);
    m_thread->start();
}

BatchExporter::~BatchExporter()
{
    m_thread->quit();
    m_thread->wait();
    delete m_engine;
    delete m_thread;
}

void BatchExporter::applySettings()
{
    AppSettings& settings = AppSettings::instance();
    for (const QString& problem : m_engine->effectProblems())
        std::fprintf(stderr, "vyr-export: warning: %s\n", qPrintable(problem));
    // The window's start-up pass: every level through its setter, then the portrait choice.
    for (int item = 0; item < EffectParameters::itemCount; ++item)
        m_engine->setBeautyLevel(item, m_engine->beautyLevel(item));
    m_engine->setAiLight(m_engine->aiLight());
    const int type = m_options.portraitType >= 0 ? m_options.portraitType : settings.value(SettingsKeys::portraitType, SettingsKeys::portraitTypeDefault).toInt();
    m_engine->setPortraitType(type);
    const bool switchOn = m_options.portraitSwitch >= 0 ? m_options.portraitSwitch == 1
                                                        : settings.value(SettingsKeys::portraitSwitch, SettingsKeys::portraitSwitchDefault).toBool();
    QString item = m_options.background.isEmpty() ? settings.value(SettingsKeys::portraitItem).toString() : m_options.background;
    if (item == "none")
        item.clear();
    if (!item.isEmpty() && item != "virtualize" && !QFileInfo::exists(item)) {
        std::fprintf(stderr, "vyr-export: background %s not found, exporting without it\n", qPrintable(item));
        item.clear();
    }
    const int row = item.isEmpty() ? 0 : item == "virtualize" ? 1 : 2;
    m_engine->setBackgroundType(EffectParameters::backgroundTypeFor(row, switchOn));
    if (item == "virtualize")
        m_engine->selectVirtualize();
    else if (!item.isEmpty())
        m_engine->setBackground(QFile::encodeName(item).constData());
}

void BatchExporter::start()
{
    applySettings();
    exportNext();
}

void BatchExporter::cancel()
{
    m_cancelled = true;
    m_engine->cancelSave();
}

void BatchExporter::exportNext()
{
    if (m_cancelled || m_next >= m_options.inputs.size()) {
        QCoreApplication::exit(m_failures == 0 ? 0 : 1);
        return;
    }
    m_current = QFileInfo(m_options.inputs[m_next++]).absoluteFilePath().toUtf8();
    m_lastPercent = -1;
    QMetaObject::invokeMethod(m_engine, "save", Qt::QueuedConnection, Q_ARG(const char*, m_current.constData()));
}

void BatchExporter::showProgress(float percent)
{
    const int whole = static_cast<int>(percent * 100);
    if (m_options.quiet || whole == m_lastPercent)
        return;
    m_lastPercent = whole;
    const int filled = whole * kBarWidth / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%  %s", QByteArray(filled, '#').constData(),
                 QByteArray(kBarWidth - filled, '.').constData(), whole,
                 qPrintable(QFileInfo(QString::fromUtf8(m_current)).fileName()));
    std::fflush(stderr);
}

void BatchExporter::clearProgressLine()
{
    if (!m_options.quiet && m_lastPercent >= 0)
        std::fputc('\n', stderr);
    m_lastPercent = -1;
}

void BatchExporter::finishFile(const QString& line, bool failed)
{
    clearProgressLine();
    std::fprintf(failed ? stderr : stdout, "%s: %s\n", qPrintable(QString::fromUtf8(m_current)), qPrintable(line));
    std::fflush(stdout);
    if (failed)
        ++m_failures;
    exportNext();
}
