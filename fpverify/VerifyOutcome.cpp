#include "VerifyOutcome.h"

#include "MainWindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

QString outcome_text(int code)
{
    switch (code) {
    case kResultFailed:
        return QCoreApplication::translate("VerifyOutcome", "指纹验证失败，打印作业将被取消！");
    case kResultCancelled:
    case kResultCancelledToo:
        return QCoreApplication::translate("VerifyOutcome", "指纹验证被用户取消，打印作业也将被取消！");
    case kResultTimedOut:
        return QCoreApplication::translate("VerifyOutcome", "指纹验证超时，打印作业也将被取消！");
    case kResultNoUsers:
        return QCoreApplication::translate(
            "VerifyOutcome", "设备用户列表为空，无法进行指纹验证，当前打印作业将被取消！");
    case kResultBusy:
        return QCoreApplication::translate("VerifyOutcome", "设备忙，当前打印作业将被取消！");
    default:
        return QString();
    }
}

void handler_result(int code)
{
    const QString text = outcome_text(code);
    if (text.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("VerifyOutcome", "警告"), text, QMessageBox::Ok,
        nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.button(QMessageBox::Ok)->setText(QCoreApplication::translate("VerifyOutcome", "确定"));
    box.exec();
}

void timeout_task(int jobId, const QString& statusFile)
{
    if (ww && ww->isEnding())
        return;
    const int code = get_result(jobId, statusFile);
    if (code == kResultNone)
        return;
    finish_with(code);
}

void finish_with(int code)
{
    if (ww) {
        ww->setEnding();
        if (!ww->isHidden())
            ww->hide();
    }
    // The box is opened from outside the tick: a Qt timer does not fire again while its own handler
    // is still running, and the countdown goes on while the box is open.
    QObject* context = ww ? static_cast<QObject*>(ww) : QCoreApplication::instance();
    QTimer::singleShot(0, context, [code]() {
        handler_result(code);
        // exit() rather than quit(): quit() would first try to close the windows, and closing this
        // one means "cancelled" to the print side.
        QCoreApplication::exit(0);
    });
}
