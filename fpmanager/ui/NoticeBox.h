#ifndef NOTICEBOX_H
#define NOTICEBOX_H

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// What one message box shows.
struct NoticeRequest {
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString title;
    QString text;
    // QMessageBox::Ok for a notice, QMessageBox::Yes | QMessageBox::No for a confirmation.
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QWidget* parent = nullptr;
    // Window flags of the box; empty means QMessageBox's own (dialog, fixed size).
    Qt::WindowFlags flags;
};

// Every message box of fpmanager goes through here: modal QMessageBox with the buttons labelled
// "确定" (OK), "是" (yes) and "否" (no), run with exec(). A handler installed with setHandler
// answers instead of a real box (tests: record what would have been shown and pick the answer).
class NoticeBox
{
public:
    using Handler = std::function<QMessageBox::StandardButton(const NoticeRequest&)>;

    // Shows the box (or asks the handler) and returns the button chosen. Called on another thread,
    // it waits while the GUI thread does so.
    static QMessageBox::StandardButton show(const NoticeRequest& request);

    // A box with the single button OK ("确定").
    static QMessageBox::StandardButton notice(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, Qt::WindowFlags flags = Qt::WindowFlags());
    // A box with the buttons Yes ("是") and No ("否"); true only for Yes.
    static bool confirm(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
        Qt::WindowFlags flags = Qt::WindowFlags());
    // The database warning: Warning icon, title "警告", OK only, no parent. Every warning the data
    // layer (CFingerManage) reports is shown this way.
    static void warning(const QString& text);

    // Installs handler (an empty one brings back the real boxes); returns the previous one.
    static Handler setHandler(Handler handler);
};

#endif
