#pragma once
// The phone number and SMS code inputs of the login and binding dialogs: validators, the
// enabling rules, the 60 s resend countdown and the server's refusal text. It owns the
// dialog's one timer, which the login dialog also uses for its QR snapshots, so that
// starting either run ends the other.
#include <QObject>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

struct PhoneCodeWidgets
{
    QLineEdit* phone;
    QLineEdit* code;
    QPushButton* codeButton;
    QPushButton* submit;
    QLabel* error;
};

class PhoneCodeForm : public QObject
{
    Q_OBJECT
public:
    static constexpr int countdownSeconds = 60;

    // Installs the validators, connects the inputs' textChanged and sets the start state
    // (error hidden, both buttons disabled).
    PhoneCodeForm(const PhoneCodeWidgets& widgets, QObject* parent);
    ~PhoneCodeForm() override;

    // Stops and deletes (later) the current timer, then makes a new one, not yet started.
    QTimer* replaceTimer(int intervalMs, int ticks);
    void stopTimer();
    // One tick of the current run: the counter before it was decremented.
    int takeTick();

    bool phoneComplete() const;
    // When the phone number is complete: starts a fresh 60 s countdown that calls everySecond
    // once a second, and asks the server to send the code.
    void sendCode(const std::function<void()>& everySecond);
    // One second of the countdown: the button shows the seconds left, then "重新发送".
    void countdownTick();
    void setCodeButtonClickable(bool clickable);
    // Shows the server's refusal without the Java exception prefix and with white space simplified.
    void showRefusal(const QString& msg);

    static QString cleanedMessage(const QString& msg);

private:
    void phoneChanged(const QString& text);
    void codeChanged(const QString& text);

    PhoneCodeWidgets m_widgets;
    QTimer* m_timer = nullptr;
    int m_counter = 0;
};
