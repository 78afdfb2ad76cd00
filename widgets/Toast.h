#pragma once
// A short notice centred on its parent (on the screen when parent is null) that fades
// out over one second and then deletes itself. Toasts do not queue: two in a row overlap.
#include <QString>

class QWidget;

void showToast(QWidget *parent, const QString &text, const QString &font = QStringLiteral("10.5pt"),
               const QString &color = QStringLiteral("#ffffff"),
               const QString &background = QStringLiteral("#E0000000"));
