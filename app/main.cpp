#include "app/Log.h"
#include "app/User.h"
#include "mainwindow/MainWindow.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPalette>

#include <cstring>

namespace {

const char* const crashReportMode = "--crash-report";

// The crashed process cannot show a window safely; it starts us again in this mode to tell
// the user where its dump is.
int showCrashReport(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, "Crash", QString::fromLocal8Bit(argv[argc - 1]), QMessageBox::Ok,
                          QMessageBox::NoButton);
    return 0;
}

void applyApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(":/OPlusSans3.ttf");
    if (id == -1)
        return;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty())
        QApplication::setFont(QFont(families.first(), -1, -1, false));
}

void applyPlaceholderColour()
{
    QPalette palette = QApplication::palette();
    palette.setBrush(QPalette::Active, QPalette::PlaceholderText, QColor(255, 255, 255, 102));
    QApplication::setPalette(palette);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], crashReportMode) == 0)
        return showCrashReport(argc, argv);
    platform::keepFreedMemoryForReuse();

    // The login dialog's web view needs contexts shared before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(VYR_VERSION);
    platform::installCrashHandler(platform::dataDirectory(), {platform::executablePath(), crashReportMode});
    installLogRedirection();
    qInstallMessageHandler(logMessageHandler);
    User::registerMetaType();
    applyApplicationFont();
    applyPlaceholderColour();

    MainWindow window;
    window.show();
    return app.exec();
}
