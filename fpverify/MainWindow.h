#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "StatusFile.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>

class QMovie;

namespace Ui
{
class MainWindow;
}

// The countdown window of one print job that waits for a fingerprint. It reports a cancellation or
// the end of the countdown through the status file and polls there for the outcome once a tick.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // argument: start://<printer>?jobid=<N>&time_val=<S>. statusFile and tickMs exist for tests;
    // the program runs with the fixed file and a one-second tick.
    explicit MainWindow(const QString& argument, QWidget* parent = nullptr,
        const QString& statusFile = defaultStatusFile(), int tickMs = 1000);
    ~MainWindow() override;

    int jobId() const { return m_jobId; }
    int timeLeft() const { return m_timeLeft; }
    QString printer() const { return m_strPrinter; }
    QString statusFile() const { return m_statusFile; }
    // The one-second timer that drives the countdown and the poll.
    const QTimer& tickTimer() const { return m_timer; }

    // Set by the poll once an outcome is read: the countdown stops there (nothing more is written
    // to the job's group) and no further box opens.
    bool isEnding() const { return m_ending; }
    void setEnding();

public slots:
    void timeout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::MainWindow> ui;
    QMovie* m_movie = nullptr;
    int m_jobId = 0;
    int m_timeLeft = 0; // seconds left; goes negative after the countdown
    QString m_strArg;
    QString m_strPrinter;
    QTimer m_timer;
    QString m_statusFile;
    bool m_ending = false;
};

// The one window of the program, used by the poll.
extern MainWindow* ww;

#endif
