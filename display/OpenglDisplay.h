#pragma once
#include <QOpenGLWidget>

// The OpenGL surface the main window's form places over the preview area; it draws nothing of
// its own and stays hidden.
class OpenglDisplay : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit OpenglDisplay(QWidget* parent = nullptr);
};
