#include "ExportFlow.h"

#include "EngineHost.h"
#include "QLoadingWidget.h"

#include "engine/ProcessBeauty.h"
#include "platform/Desktop.h"
#include "widgets/Toast.h"

#include <QDateTime>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

ExportFlow::ExportFlow(EngineHost* host, Window window, QObject* parent)
    : QObject(parent), m_host(host), m_window(std::move(window))
{
    ProcessBeauty* engine = host->engine();
    connect(engine, &ProcessBeauty::onSaveOver, this, &ExportFlow::saveOver, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveProgress, this, &ExportFlow::progress, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveFailed, this, &ExportFlow::saveFailed, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveWarning, this, &ExportFlow::saveWarning, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveCanceled, this, &ExportFlow::onCancelCompleted);
}

quint32 ExportFlow::nowMs()
{
    return quint32(QDateTime::currentMSecsSinceEpoch());
}

void ExportFlow::createOverlay(float scale)
{
    m_overlay = new QLoadingWidget(m_window.cover, scale);
    m_overlay->setObjectName("loadingWidget");
    m_overlay->resize(m_window.cover->size());
    m_overlay->centreContent();
    connect(m_overlay, &QLoadingWidget::openSaveDir, this, &ExportFlow::gotoSaveDir);
    connect(m_overlay, &QLoadingWidget::onBack, this, &ExportFlow::hideLoadFrame);
    connect(m_overlay, &QLoadingWidget::onCancel, this, &ExportFlow::cancelSaveProcess);
}

void ExportFlow::start(const char* path, float scale)
{
    if (m_overlay)
        m_overlay->resetProgress();
    else
        createOverlay(scale);
    m_overlay->show();
    m_overlay->raise();
    m_saveStartMs = nowMs();
    m_cancelled = false;
    setRunning(true);
    m_host->startExport(path, [this] { return m_cancelled.load(); }, [this] { abandonExport(); });
}

void ExportFlow::abandonExport()
{
    qDebug() << "save canceled before it began";
    m_window.showBackground();
    onCancelCompleted();
}

void ExportFlow::fitToWindow()
{
    if (!m_overlay)
        return;
    m_overlay->resize(m_window.cover->size());
    m_overlay->centreContent();
}

void ExportFlow::hide()
{
    if (m_overlay)
        m_overlay->hide();
}

void ExportFlow::progress(float percent)
{
    if (m_overlay)
        m_overlay->setProgress(percent);
}

void ExportFlow::saveOver(const char* path)
{
    setRunning(false);
    if (!m_overlay)
        return;
    m_overlay->showDone();
    qDebug() << "save use : " << nowMs() - m_saveStartMs;
    m_savedVideoPath = QString::fromLocal8Bit(path);
    m_window.restartPreview();
    m_window.notify("保存完成");
}

void ExportFlow::saveFailed(const QString& message)
{
    setRunning(false);
    qWarning() << "save failed : " << message;
    if (!m_overlay)
        return;
    m_overlay->showFailed(message);
    m_window.restartPreview();
}

void ExportFlow::saveWarning(const QString& message)
{
    qWarning() << "save warning : " << message;
    showToast(m_window.cover, "背景视频无法读取，导出的视频不含背景", "10.5pt", "#ffffff", "#E0000000");
}

void ExportFlow::cancelSaveProcess()
{
    m_cancelled = true;
    m_host->engine()->cancelSave();
}

void ExportFlow::onCancelCompleted()
{
    setRunning(false);
    hide();
    m_window.restartPreview();
}

void ExportFlow::hideLoadFrame()
{
    hide();
}

void ExportFlow::gotoSaveDir()
{
    if (!platform::revealInFileManager(m_savedVideoPath))
        qWarning() << "cannot reveal" << m_savedVideoPath;
}

bool ExportFlow::allowsQuit(QWidget* window)
{
    if (!m_running)
        return true;
    QMessageBox question(QMessageBox::Question, "提示", "导出进行中，确定退出吗？", QMessageBox::NoButton, window);
    question.setObjectName("quitDuringExport");
    QPushButton* quit = question.addButton("退出", QMessageBox::AcceptRole);
    question.setDefaultButton(question.addButton("取消", QMessageBox::RejectRole));
    question.exec();
    qDebug() << "quit during export :" << (question.clickedButton() == quit);
    return question.clickedButton() == quit;
}

void ExportFlow::setRunning(bool running)
{
    m_running = running;
    emit runningChanged(running);
}
