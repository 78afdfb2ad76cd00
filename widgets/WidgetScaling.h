#pragma once
// Hand scaling of forms designed at 96 DPI. Products are truncated to integers, size
// limits rounded. Children are chosen by the exact class name of their meta-object, so
// a subclass of QSlider is scaled like any other widget.
#include <QtGlobal>

class QObject;
class QWidget;

// Scales the children of widget and, with includeSelf, the widget's own geometry and
// size limits.
void scaleWidget(QWidget *widget, qreal factor, bool includeSelf);
// Scales the direct widget children of object, recursing below them:
//  "QWebEngineView" only moves, keeping its size, centred on its scaled row;
//  "QSlider" grows in width only and stays centred on its row;
//  "SwitchButton" goes through its own geometry setter so that its knob follows.
void scaleChildren(QObject *object, qreal factor);
// The first screen's logical DPI / 96, applied to the widget; returns the factor.
qreal initialScale(QWidget *widget, bool includeSelf);
// Moves the widget to the middle of the whole virtual desktop.
void centerOnDesktop(QWidget *widget);
