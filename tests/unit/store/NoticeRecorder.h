#ifndef NOTICERECORDER_H
#define NOTICERECORDER_H

#include "ui/NoticeBox.h"

#include <QList>
#include <QStringList>

// Answers every message box instead of showing it and records what would have been shown.
// Answers come from the queue `answers`, then OK (or Yes for a confirmation).
class NoticeRecorder
{
public:
    NoticeRecorder()
    {
        m_previous = NoticeBox::setHandler([this](const NoticeRequest& request) {
            requests.append(request);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return (request.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }
    ~NoticeRecorder() { NoticeBox::setHandler(m_previous); }
    NoticeRecorder(const NoticeRecorder&) = delete;
    NoticeRecorder& operator=(const NoticeRecorder&) = delete;

    QStringList texts() const
    {
        QStringList list;
        for (const NoticeRequest& r : requests)
            list << r.text;
        return list;
    }

    QList<NoticeRequest> requests;
    QList<QMessageBox::StandardButton> answers;

private:
    NoticeBox::Handler m_previous;
};

#endif
