#include "PhoneCodeForm.h"

#include "WeChatService.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {

const char* const kPhonePattern = "^1([358][0-9]|4[579]|66|7[0135678]|9[89])[0-9]{8}$";
const char* const kCodePattern = "^[0-9]{6}$";
constexpr int kPhoneLength = 11;
constexpr int kCodeLength = 6;

} // namespace

PhoneCodeForm::PhoneCodeForm(const PhoneCodeWidgets& widgets, QObject* parent)
    : QObject(parent)
    , m_widgets(widgets)
{
    m_widgets.error->hide();
    m_widgets.codeButton->setEnabled(false);
    m_widgets.submit->setEnabled(false);
    m_widgets.phone->setValidator(
        new QRegularExpressionValidator(QRegularExpression(kPhonePattern), m_widgets.phone));
    m_widgets.code->setValidator(new QRegularExpressionValidator(QRegularExpression(kCodePattern), m_widgets.code));
    connect(m_widgets.phone, &QLineEdit::textChanged, this, &PhoneCodeForm::phoneChanged);
    connect(m_widgets.code, &QLineEdit::textChanged, this, &PhoneCodeForm::codeChanged);
}

PhoneCodeForm::~PhoneCodeForm()
{
    stopTimer();
}

QTimer* PhoneCodeForm::replaceTimer(int intervalMs, int ticks)
{
    stopTimer();
    m_timer = new QTimer;
    m_timer->setInterval(intervalMs);
    m_counter = ticks;
    return m_timer;
}

void PhoneCodeForm::stopTimer()
{
    if (!m_timer)
        return;
    m_timer->stop();
    m_timer->deleteLater();
    m_timer = nullptr;
}

int PhoneCodeForm::takeTick()
{
    const int tick = m_counter--;
    if (m_counter < 0)
        stopTimer();
    return tick;
}

bool PhoneCodeForm::phoneComplete() const
{
    return m_widgets.phone->text().size() == kPhoneLength;
}

void PhoneCodeForm::sendCode(const std::function<void()>& everySecond)
{
    if (!phoneComplete())
        return;
    QTimer* timer = replaceTimer(1000, countdownSeconds);
    setCodeButtonClickable(false);
    countdownTick();
    connect(timer, &QTimer::timeout, this, everySecond);
    timer->start();
    WeChatService::instance()->requestPhoneCode(m_widgets.phone->text());
}

void PhoneCodeForm::countdownTick()
{
    m_widgets.codeButton->setText(QString::fromUtf8("重新发送(%1s)").arg(takeTick()));
    if (!m_timer) {
        m_widgets.codeButton->setText(QString::fromUtf8("重新发送"));
        setCodeButtonClickable(true);
    }
}

void PhoneCodeForm::setCodeButtonClickable(bool clickable)
{
    m_widgets.codeButton->setAttribute(Qt::WA_TransparentForMouseEvents, !clickable);
}

void PhoneCodeForm::showRefusal(const QString& msg)
{
    m_widgets.error->setText(cleanedMessage(msg));
    m_widgets.error->show();
}

QString PhoneCodeForm::cleanedMessage(const QString& msg)
{
    return QString(msg).remove("java.lang.RuntimeException:").simplified();
}

void PhoneCodeForm::phoneChanged(const QString& text)
{
    if (text.size() != kPhoneLength) {
        stopTimer();
        m_widgets.codeButton->setText(QString::fromUtf8("获取验证码"));
        m_widgets.codeButton->setEnabled(false);
        m_widgets.error->hide();
        return;
    }
    m_widgets.codeButton->setEnabled(true);
    setCodeButtonClickable(true);
}

void PhoneCodeForm::codeChanged(const QString& text)
{
    if (phoneComplete())
        m_widgets.submit->setEnabled(text.size() == kCodeLength);
}
