#pragma once
// Base of the program's dialogs: frameless, deleted on close, laid out at 96 DPI by its
// generated form and scaled by hand, at creation (installFrameless) and whenever a
// screen's logical DPI changes (updateWindowScale). GUI thread only.
#include <QDialog>
#include <QList>

class FramelessHelper;
class QBaseUI;

// Called by a dialog's constructor after its form is set up: scales the dialog for the
// first screen and attaches a FramelessHelper (margins 3, title band titleBarHeight
// design pixels). The caller registers its title-bar buttons as excluded items and
// connects its close button to triggerCloseButtonAction.
FramelessHelper *installFrameless(QBaseUI *dialog, int titleBarHeight);

class QBaseUI : public QDialog {
    Q_OBJECT
public:
    explicit QBaseUI(QWidget *parent = nullptr);
    ~QBaseUI() override;

    // How far the dialog's geometry is from its 96-DPI design.
    double scaleFactor() const { return scale; }

public slots:
    virtual void updateWindowScale(qreal dpi);

protected:
    double scale = 1.0;

private:
    friend FramelessHelper *installFrameless(QBaseUI *dialog, int titleBarHeight);

    QList<QMetaObject::Connection> screenConnections;
};
