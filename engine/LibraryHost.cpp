#include "LibraryHost.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"

#include <QDebug>

#include <cstdio>

using namespace ZRPortraitCOM;

namespace {

constexpr int kBeautyInitOptions = 4;
constexpr int kPortraitInputSize = 256;

void portraitLog(const char* text, int)
{
    qDebug().noquote() << QString("zr_effect log : ") + text;
}

void beautyLog(const char* text)
{
    qDebug().noquote() << QString("zr_beauty log : ") + text;
}

// The libraries' callbacks carry no user pointer; there is one engine per process.
int g_backgroundHandle = -1;
QStringList* g_startupProblems = nullptr;

void forwardBackground(const unsigned char* bgr, int width, int height)
{
    zr_fb_native_setBgBuffer(g_backgroundHandle, bgr, width, height);
}

// While the library opens, its warnings and errors are what kept it from starting fully.
void collectBeautyProblem(const char* text)
{
    beautyLog(text);
    if (g_startupProblems)
        g_startupProblems->append(QString::fromUtf8(text));
}

void printLine(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace

LibraryHost::LibraryHost(const QByteArray& modelsDir) : m_modelsDir(modelsDir)
{
    g_startupProblems = &m_problems;
    zr_fb_native_log(collectBeautyProblem, 1);
    m_handle = zr_fb_native_init(m_modelsDir.constData(), kBeautyInitOptions);
    g_startupProblems = nullptr;
    if (m_handle < 0) {
        printLine("beauty init fail");
        m_problems << "the face-beauty library did not start: frames stay unprocessed";
        return;
    }
    g_backgroundHandle = m_handle;
    printLine("beauty init success");
    const int state = AppSettings::instance().value(SettingsKeys::state, SettingsKeys::stateDefault).toInt();
    qDebug().noquote() << "virtual state : " + QString::number(state) + ", gpu : " + QString::number(m_gpu);
    zr_effect_log(portraitLog, 2);
    zr_fb_native_log(beautyLog, 3);
    setPreviewMode(true);
    startPortraitLibrary();
}

void LibraryHost::startPortraitLibrary()
{
    const QByteArray dataDir = platform::dataDirectory().toUtf8();
    const int result = zr_effect_bg_init(m_modelsDir.constData(), kPortraitInputSize, dataDir.constData());
    printLine("zr_effect_bg_init return " + QByteArray::number(result));
    if (result != 0)
        m_problems << "the matting models did not load (code " + QString::number(result) + "): matting is limited or off";
    zr_effect_bg_callback(forwardBackground);
}

LibraryHost::~LibraryHost()
{
    std::lock_guard<std::mutex> lock(effectLock());
    zr_fb_native_uninit(m_handle);
    zr_effect_bg_release();
}

std::mutex& LibraryHost::effectLock()
{
    static std::mutex lock;
    return lock;
}

void LibraryHost::setPreviewMode(bool preview) const
{
    zr_effect_set_params(2, m_gpu != 0, false, preview ? 1 : 0, false, 0.07f, false);
}
