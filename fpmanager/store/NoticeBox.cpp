#include "NoticeBox.h"

#include <QAbstractButton>

namespace {

NoticeBox::Handler& currentHandler()
{
    static NoticeBox::Handler handler;
    return handler;
}

void labelButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& text)
{
    if (QAbstractButton* button = box.button(which))
        button->setText(text);
}

} // namespace

QMessageBox::StandardButton NoticeBox::show(const NoticeRequest& request)
{
    if (currentHandler())
        return currentHandler()(request);

    const Qt::WindowFlags flags = request.flags != Qt::WindowFlags()
                                      ? request.flags
                                      : Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    QMessageBox box(request.icon, request.title, request.text, QMessageBox::NoButton, request.parent,
                    flags);
    box.setStandardButtons(request.buttons);
    labelButton(box, QMessageBox::Ok, QStringLiteral("确定"));
    labelButton(box, QMessageBox::Yes, QStringLiteral("是"));
    labelButton(box, QMessageBox::No, QStringLiteral("否"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton NoticeBox::notice(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& title, const QString& text,
                                              Qt::WindowFlags flags)
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

bool NoticeBox::confirm(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                        const QString& text, Qt::WindowFlags flags)
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
    notice(nullptr, QMessageBox::Warning, QStringLiteral("警告"), text);
}

NoticeBox::Handler NoticeBox::setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}
