#include "FilePicker.h"

#include <QFileDialog>

QString FilePicker::openFile(QWidget* parent, const QString& caption, const QString& filter)
{
    if (chooser())
        return chooser()(parent, caption, filter);
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

void FilePicker::setChooser(Chooser replacement)
{
    chooser() = std::move(replacement);
}

FilePicker::Chooser& FilePicker::chooser()
{
    static Chooser current;
    return current;
}
