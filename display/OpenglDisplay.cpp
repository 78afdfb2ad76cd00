#include "OpenglDisplay.h"

OpenglDisplay::OpenglDisplay(QWidget* parent) : QOpenGLWidget(parent) {}
