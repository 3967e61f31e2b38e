#include "MainWindow.h"

#include "VerifyArgument.h"
#include "VerifyOutcome.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QMovie>

MainWindow* ww = nullptr;

namespace
{

const char kFingerPicture[] = ":/image/finger.gif";

// After the countdown the program waits this many more ticks for the print side before it records
// the time-out as the result itself.
const int kResultGraceTicks = 15;

} // namespace

MainWindow::MainWindow(const QString& argument, QWidget* parent, const QString& statusFile, int tickMs)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_strArg(argument)
    , m_statusFile(statusFile)
{
    ui->setupUi(this);
    ui->mainToolBar->hide();
    ui->statusBar->hide();
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

    ui->label_gif->setPixmap(QPixmap(QString::fromLatin1(kFingerPicture)));

    const VerifyArgument parsed = parseVerifyArgument(m_strArg);
    m_strPrinter = parsed.printer;
    m_jobId = parsed.jobId;
    m_timeLeft = parsed.seconds;

    // One arg() call for both: a "%2" in a printer's name stays as it is.
    setWindowTitle(tr("指纹认证-%1-%2").arg(m_strPrinter, QString::number(m_jobId)));
    ui->label_timeval->setText(QString::number(m_timeLeft));
    ui->label->setText(tr("您的打印工作需要进行指纹认证，请按下您的手指。如果在%1秒内未检测到正确指纹，"
                          "则打印工作取消。您也可以直接点击“取消”按键取消当前打印。")
                           .arg(m_timeLeft));

    connect(&m_timer, &QTimer::timeout, this, &MainWindow::timeout);
    m_timer.setInterval(tickMs);
    m_timer.setSingleShot(false);
    m_timer.start();

    m_movie = new QMovie(QString::fromLatin1(kFingerPicture), QByteArray(), this);
    ui->label_gif->setMovie(m_movie);
    m_movie->start();
}

MainWindow::~MainWindow()
{
    if (ww == this)
        ww = nullptr;
}

void MainWindow::setEnding()
{
    m_ending = true;
    m_timer.stop();
}

void MainWindow::timeout()
{
    if (m_ending)
        return;
    --m_timeLeft;
    if (m_timeLeft > 0) {
        ui->label_timeval->setText(QString::number(m_timeLeft));
    } else if (m_timeLeft == 0) {
        hide();
        update_status(m_jobId, kStatusTimedOut, m_statusFile);
    } else if (m_timeLeft <= -kResultGraceTicks) {
        // Only when the print side has not answered meanwhile: its outcome must not be overwritten.
        if (get_result(m_jobId, m_statusFile) == kResultNone
            && !update_result(m_jobId, kResultTimedOut, m_statusFile)) {
            // The file cannot take the result; end on the time-out all the same rather than wait
            // hidden for ever.
            finish_with(kResultTimedOut);
            return;
        }
    }
    timeout_task(m_jobId, m_statusFile);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Cancelling only tells the print side; the window keeps counting and polling, hidden, until
    // the outcome arrives.
    hide();
    update_status(m_jobId, kStatusCancelled, m_statusFile);
    event->ignore();
}
