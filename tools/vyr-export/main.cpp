// vyr-export: the engine's export without a window, for batch runs and the benchmarks.
#include "BatchExporter.h"

#include "platform/Platform.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <opencv2/core/utils/logger.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> g_interrupted{false};
bool g_verbose = false;

void onInterrupt(int)
{
    g_interrupted = true;
}

// The engine's log lines go to the log file in the program; here they would break the progress
// bar, so they are shown only on request.
void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (g_verbose || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vyr-export: %s\n", qPrintable(text));
}

bool parsePortraitType(const QString& text, int& type)
{
    bool ok = false;
    type = text.toInt(&ok);
    return ok && type >= 0 && type <= 2;
}

} // namespace

int main(int argc, char* argv[])
{
    platform::keepFreedMemoryForReuse();
    QCoreApplication app(argc, argv);
    // The program's own data folder, so virtualBg.ini is the one the window uses.
    QCoreApplication::setApplicationName("Vyr_DoridOvov");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Exports videos with the effect settings of virtualBg.ini; each output is written beside its\n"
        "source as Lumetra_<ms>_<name>. Exits with 1 when any export failed.");
    parser.addHelpOption();
    parser.addPositionalArgument("videos", "The videos to export.", "video...");
    const QCommandLineOption background("background", "Background: none, virtualize or a picture/video file.", "choice");
    const QCommandLineOption portraitType("portrait-type", "0 AI matting, 1 green screen, 2 blue screen.", "type");
    const QCommandLineOption portraitSwitch("portrait", "Background replacement on or off.", "on|off");
    const QCommandLineOption quiet("quiet", "No progress bar.");
    const QCommandLineOption verbose("verbose", "Show the engine's log lines.");
    parser.addOptions({background, portraitType, portraitSwitch, quiet, verbose});
    parser.process(app);

    BatchExporter::Options options;
    options.inputs = parser.positionalArguments();
    options.background = parser.value(background);
    options.quiet = parser.isSet(quiet);
    if (options.inputs.isEmpty()) {
        std::fprintf(stderr, "vyr-export: no video given (see --help)\n");
        return 2;
    }
    if (parser.isSet(portraitType) && !parsePortraitType(parser.value(portraitType), options.portraitType)) {
        std::fprintf(stderr, "vyr-export: --portrait-type takes 0, 1 or 2\n");
        return 2;
    }
    if (parser.isSet(portraitSwitch)) {
        const QString value = parser.value(portraitSwitch);
        if (value != "on" && value != "off") {
            std::fprintf(stderr, "vyr-export: --portrait takes on or off\n");
            return 2;
        }
        options.portraitSwitch = value == "on" ? 1 : 0;
    }
    g_verbose = parser.isSet(verbose);
    qInstallMessageHandler(messageHandler);
    if (!g_verbose)
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);

    BatchExporter exporter(options);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, &exporter, [&exporter] {
        if (g_interrupted.exchange(false))
            exporter.cancel();
    });
    interruptWatch.start(100);
    QTimer::singleShot(0, &exporter, &BatchExporter::start);
    return app.exec();
}
