#pragma once
// The desktop part of the seam to the operating system: windows and the file manager. Only the
// windows use it; the engine and the command-line tools stay free of widgets and the session bus.
#include <QSize>
#include <QString>

class QWidget;

namespace platform {

// Shows the file selected in the desktop's file manager, or at least opens its folder.
// Does not wait for the file manager; false when neither could be started.
bool revealInFileManager(const QString& path);
// Restores a minimised window and puts it above the others without keeping it on top.
void bringToFront(QWidget* window);
// Width (left and right) and height (top and bottom) of the system's window resize frame,
// the resize band of a frameless window that sets none of its own.
QSize systemFrameSize();

} // namespace platform
