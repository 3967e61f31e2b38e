#include "NoticeBox.h"

#include "store/FingerManage.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QThread>

namespace
{

NoticeBox::Handler& currentHandler()
{
    static NoticeBox::Handler handler;
    return handler;
}

// The data layer draws no windows; its warnings become this box wherever the boxes are part of
// the program, at the moment the data layer reports them (show() hands a warning raised on the
// library worker over to the GUI thread while the worker waits).
const bool g_dataLayerWarningsShown = [] {
    CFingerManage::setWarningHandler(&NoticeBox::warning);
    return true;
}();

void labelButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& text)
{
    if (QAbstractButton* button = box.button(which))
        button->setText(text);
}

} // namespace

QMessageBox::StandardButton NoticeBox::show(const NoticeRequest& request)
{
    // A box wanted by another thread (the data layer while the library worker runs it) is shown
    // by the GUI thread; the asking thread waits for the answer.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        QMetaObject::invokeMethod(
            app, [&] { answer = show(request); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    if (currentHandler())
        return currentHandler()(request);

    const Qt::WindowFlags flags
        = request.flags != Qt::WindowFlags() ? request.flags : Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    QMessageBox box(request.icon, request.title, request.text, QMessageBox::NoButton, request.parent, flags);
    box.setStandardButtons(request.buttons);
    labelButton(box, QMessageBox::Ok, QCoreApplication::translate("NoticeBox", "确定"));
    labelButton(box, QMessageBox::Yes, QCoreApplication::translate("NoticeBox", "是"));
    labelButton(box, QMessageBox::No, QCoreApplication::translate("NoticeBox", "否"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton NoticeBox::notice(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text, Qt::WindowFlags flags)
{
    NoticeRequest request;
    request.icon = icon;
    request.title = title;
    request.text = text;
    request.buttons = QMessageBox::Ok;
    request.parent = parent;
    request.flags = flags;
    return show(request);
}

bool NoticeBox::confirm(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text, Qt::WindowFlags flags)
{
    NoticeRequest request;
    request.icon = icon;
    request.title = title;
    request.text = text;
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    request.parent = parent;
    request.flags = flags;
    return show(request) == QMessageBox::Yes;
}

void NoticeBox::warning(const QString& text)
{
    notice(nullptr, QMessageBox::Warning, QCoreApplication::translate("NoticeBox", "警告"), text);
}

NoticeBox::Handler NoticeBox::setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}
