// Shows every picture and control of the window chrome in one window.
// Usage: gallery [--grab file.png]   (run with QT_FONT_DPI=144 to see the scaling)
#include "GalleryWindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QTimer>

namespace {

// Shorter than a toast's one-second life, so that one is always on screen.
constexpr int toastEveryMs = 900;

void useApplicationFont()
{
    const int id = QFontDatabase::addApplicationFont(":/OPlusSans3.ttf");
    const QStringList families = id == -1 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty())
        QApplication::setFont(QFont(families.first(), -1, -1, false));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    useApplicationFont();
    QApplication::setWindowIcon(QIcon(":/doridOvov.ico"));
    GalleryWindow window;
    window.show();
    window.toastOnDialog();

    const QStringList args = app.arguments();
    const int grabAt = args.indexOf("--grab");
    if (grabAt > 0 && grabAt + 1 < args.size()) {
        const QString file = args.at(grabAt + 1);
        QTimer::singleShot(400, &window, [&window, file] {
            window.toastOnDialog();
            QTimer::singleShot(50, &window, [&window, file] {
                window.grab().save(file);
                QApplication::quit();
            });
        });
    } else {
        auto *again = new QTimer(&window);
        QObject::connect(again, &QTimer::timeout, &window, &GalleryWindow::toastOnDialog);
        again->start(toastEveryMs);
    }
    return app.exec();
}
