#pragma once
#include <QString>

#include <functional>

class QWidget;

// The one way the main window asks the user for a file. Tests replace the dialog with an
// answer of their own; the program always uses QFileDialog. GUI thread only.
class FilePicker
{
public:
    using Chooser = std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;

    // An empty result means the user cancelled.
    static QString openFile(QWidget* parent, const QString& caption, const QString& filter);
    // An empty chooser restores the real dialog.
    static void setChooser(Chooser chooser);

private:
    static Chooser& chooser();
};
