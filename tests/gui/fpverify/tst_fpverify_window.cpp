// The real verification window on the offscreen platform, with its status file in a temporary
// directory and a stand-in for the print side that writes results while the window runs. Each run
// goes through QApplication::exec() as the program does, so "the program ends" is exec() returning.

#include "MainWindow.h"
#include "PrintSideDouble.h"
#include "SigintHandler.h"
#include "StatusFile.h"
#include "VerifyArgument.h"
#include "VerifyOutcome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMovie>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <climits>
#include <csignal>
#include <functional>

namespace
{

// A short tick keeps the runs fast; the program ticks once a second.
const int kTickMs = 20;
const int kWatchdogMs = 30000;
const int kWatchdogExit = 99;

const QString kCancelledText = QStringLiteral("指纹验证被用户取消，打印作业也将被取消！");
const QString kTimedOutText = QStringLiteral("指纹验证超时，打印作业也将被取消！");

struct TickSeen {
    int timeLeft;
    bool visible;
    bool ending; // an outcome has been read
    QString shown; // label_timeval
    QString status;
    QString result;
};

struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QStringList buttons;
    Qt::WindowFlags flags;
    bool parentless;
    bool modal;
    bool windowHidden;
};

// One run of the window until the program would end.
class VerifyRun
{
public:
    VerifyRun(const QString& argument, const QString& statusFile)
        : window(argument, nullptr, statusFile, kTickMs)
        , m_statusFile(statusFile)
    {
    }

    MainWindow window;
    // Called after every tick, with the time left after it.
    std::function<void(VerifyRun&, int)> onTick;
    // Called once for every box that opens, before the box is answered.
    std::function<void(VerifyRun&)> onBox;
    // Ticks (of the test's own clock, at the window's pace) that an outcome box stays open before
    // the test presses its button.
    int holdBoxTicks = 0;

    QList<TickSeen> ticks;
    QList<BoxSeen> boxes;
    int mostBoxesAtOnce = 0;
    bool watchdogFired = false;

    // The tick whose poll read the outcome; the countdown stops with it.
    int endingTick() const
    {
        for (int i = 0; i < ticks.size(); ++i) {
            if (ticks.at(i).ending)
                return i;
        }
        return -1;
    }
    int endingTimeLeft() const { return endingTick() < 0 ? INT_MIN : ticks.at(endingTick()).timeLeft; }

    int exec()
    {
        ww = &window;
        window.show();
        QObject::connect(&window.tickTimer(), &QTimer::timeout, &window, [this]() {
            const int job = window.jobId();
            ticks.append({ window.timeLeft(), window.isVisible(), window.isEnding(),
                window.findChild<QLabel*>(QStringLiteral("label_timeval"))->text(),
                PrintSideDouble::value(m_statusFile, job, "status"),
                PrintSideDouble::value(m_statusFile, job, "result") });
            if (onTick)
                onTick(*this, window.timeLeft());
        });
        QTimer clock;
        QObject::connect(&clock, &QTimer::timeout, [this]() { ++m_clockTicks; });
        clock.start(kTickMs);
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [this]() { answerBoxes(); });
        answerer.start(2);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this]() {
            watchdogFired = true;
            QCoreApplication::exit(kWatchdogExit);
        });
        watchdog.start(kWatchdogMs);
        const int status = QApplication::exec();
        return watchdogFired ? kWatchdogExit : status;
    }

private:
    void answerBoxes()
    {
        QList<QMessageBox*> open;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible())
                open.append(box);
        }
        mostBoxesAtOnce = qMax(mostBoxesAtOnce, int(open.size()));
        for (QMessageBox* box : open) {
            int& openedAt = openedAtTick(box);
            if (openedAt < 0) {
                openedAt = m_clockTicks;
                QStringList buttons;
                for (QAbstractButton* button : box->buttons())
                    buttons.append(button->text());
                boxes.append({ box->windowTitle(), box->text(), box->icon(), buttons, box->windowFlags(),
                    box->parentWidget() == nullptr, box->isModal(), window.isHidden() });
                if (onBox)
                    onBox(*this);
            }
            if (m_clockTicks - openedAt >= holdBoxTicks && !box->buttons().isEmpty())
                box->buttons().first()->click();
        }
    }

    int& openedAtTick(QMessageBox* box)
    {
        for (auto& entry : m_openedAt) {
            if (entry.first == box)
                return entry.second;
        }
        m_openedAt.append({ QPointer<QMessageBox>(box), -1 });
        return m_openedAt.last().second;
    }

    QString m_statusFile;
    int m_clockTicks = 0;
    QList<QPair<QPointer<QMessageBox>, int>> m_openedAt;
};

QString arg(int jobId, int seconds)
{
    return QStringLiteral("start://office?jobid=%1&time_val=%2").arg(jobId).arg(seconds);
}

} // namespace

class TestVerifyWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void argument_data();
    void argument();
    void outcome_data();
    void outcome();
    void notAnOutcome_data();
    void notAnOutcome();
    void resultAlreadyThereEndsAtFirstTick();
    void cancel_data();
    void cancel();
    void timeOut();
    void cancelledThenTimedOut();
    void countdownStopsWithTheOutcome();
    void lateResultIsNotOverwritten();
    void missingOrUnreadableFileKeepsWaiting();
    void sigint_data();
    void sigint();

private:
    QString statusFile() const { return m_dir->filePath(QStringLiteral(".vrkt7xsmtmp.conf")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestVerifyWindow::initTestCase()
{
    // As the program does: the window hides itself and must not end the application by that.
    QApplication::setQuitOnLastWindowClosed(false);
    installSigintHandler();
    watchSigint(qApp);
}

void TestVerifyWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestVerifyWindow::form()
{
    MainWindow window(QString::fromLatin1(kDefaultVerifyArgument), nullptr, statusFile(), kTickMs);
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.size(), QSize(400, 300));
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    auto* central = qobject_cast<QVBoxLayout*>(window.centralWidget()->layout());
    QVERIFY(central);
    QCOMPARE(central->spacing(), 6);
    QCOMPARE(central->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(central->count(), 2);
    QCOMPARE(central->stretch(0), 1);
    QCOMPARE(central->stretch(1), 0);

    auto* inner = qobject_cast<QVBoxLayout*>(central->itemAt(0)->layout());
    QVERIFY(inner);
    QCOMPARE(inner->spacing(), 6);
    QCOMPARE(inner->count(), 3);
    auto* gif = window.findChild<QLabel*>(QStringLiteral("label_gif"));
    auto* text = window.findChild<QLabel*>(QStringLiteral("label"));
    QCOMPARE(inner->itemAt(0)->widget(), gif);
    QVERIFY(inner->itemAt(0)->alignment().testFlag(Qt::AlignHCenter));
    QCOMPARE(inner->itemAt(1)->widget(), text);
    QVERIFY(gif->hasScaledContents());
    QVERIFY(text->wordWrap());

    auto* timeRow = qobject_cast<QHBoxLayout*>(inner->itemAt(2)->layout());
    QVERIFY(timeRow);
    QCOMPARE(timeRow->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(timeRow->count(), 3);
    QCOMPARE(qobject_cast<QLabel*>(timeRow->itemAt(0)->widget())->objectName(), QStringLiteral("label_2"));
    QCOMPARE(qobject_cast<QLabel*>(timeRow->itemAt(0)->widget())->text(), QStringLiteral("剩余时间："));
    QCOMPARE(timeRow->itemAt(1)->widget()->objectName(), QStringLiteral("label_timeval"));
    QVERIFY(timeRow->itemAt(2)->spacerItem());

    auto* buttonRow = qobject_cast<QHBoxLayout*>(central->itemAt(1)->layout());
    QVERIFY(buttonRow);
    QCOMPARE(buttonRow->objectName(), QStringLiteral("horizontalLayout_2"));
    QCOMPARE(buttonRow->count(), 2);
    QVERIFY(buttonRow->itemAt(0)->spacerItem());
    auto* cancel = qobject_cast<QPushButton*>(buttonRow->itemAt(1)->widget());
    QVERIFY(cancel);
    QCOMPARE(cancel->objectName(), QStringLiteral("btn_cancel"));
    QCOMPARE(cancel->text(), QStringLiteral("取消"));

    QVERIFY(window.findChild<QMenuBar*>());
    auto* toolBar = window.findChild<QToolBar*>(QStringLiteral("mainToolBar"));
    QVERIFY(toolBar);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!toolBar->isVisible());
    QVERIFY(!window.statusBar()->isVisible());

    // The finger plays from the compiled-in animation; the icon is compiled in as well.
    QMovie* movie = gif->movie();
    QVERIFY(movie);
    QCOMPARE(movie->fileName(), QStringLiteral(":/image/finger.gif"));
    QVERIFY(movie->isValid());
    QVERIFY(movie->frameCount() > 1);
    QCOMPARE(movie->state(), QMovie::Running);
    const int firstFrame = movie->currentFrameNumber();
    QTRY_VERIFY(movie->currentFrameNumber() != firstFrame);
    QVERIFY(!QPixmap(QStringLiteral(":/image/app_icon.png")).isNull());
}

void TestVerifyWindow::argument_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("jobId");
    QTest::addColumn<int>("seconds");

    QTest::newRow("office job 17, 60 s") << "start://office?jobid=17&time_val=60"
                                         << "指纹认证-office-17" << 17 << 60;
    QTest::newRow("default argument") << "start://testprinter?jobid=0&time_val=30"
                                      << "指纹认证-testprinter-0" << 0 << 30;
    QTest::newRow("time 5 counts from 30") << "start://office?jobid=3&time_val=5"
                                           << "指纹认证-office-3" << 3 << 30;
    QTest::newRow("time 9 counts from 30") << "start://office?jobid=3&time_val=9"
                                           << "指纹认证-office-3" << 3 << 30;
    QTest::newRow("time 10 is kept") << "start://office?jobid=3&time_val=10"
                                     << "指纹认证-office-3" << 3 << 10;
    QTest::newRow("no time") << "start://office?jobid=4"
                             << "指纹认证-office-4" << 4 << 30;
    QTest::newRow("time not a number") << "start://office?jobid=4&time_val=1x"
                                       << "指纹认证-office-4" << 4 << 30;
    QTest::newRow("negative time") << "start://office?jobid=4&time_val=-40"
                                   << "指纹认证-office-4" << 4 << 30;
    QTest::newRow("items swapped") << "start://office?time_val=45&jobid=8"
                                   << "指纹认证-office-8" << 8 << 45;
    QTest::newRow("no job id") << "start://office?time_val=20"
                               << "指纹认证-office-0" << 0 << 20;
    QTest::newRow("job id not a number") << "start://office?jobid=x1&time_val=20"
                                         << "指纹认证-office-0" << 0 << 20;
    QTest::newRow("job id too large") << "start://office?jobid=99999999999"
                                      << "指纹认证-office-0" << 0 << 30;
    QTest::newRow("scheme not tested") << "ipp://host/printers/lab?jobid=5&time_val=12"
                                       << "指纹认证-host/printers/lab-5" << 5 << 12;
    QTest::newRow("queue name that is no URL host") << "start://lab[2]?jobid=6&time_val=15"
                                                    << "指纹认证-lab[2]-6" << 6 << 15;
    QTest::newRow("Chinese queue name") << "start://财务室?jobid=7"
                                        << "指纹认证-财务室-7" << 7 << 30;
    QTest::newRow("no query") << "start://office"
                              << "指纹认证-office-0" << 0 << 30;
    QTest::newRow("question mark first") << "start://?jobid=9"
                                         << "指纹认证-?jobid=9-9" << 9 << 30;
    QTest::newRow("no scheme") << "garbage"
                               << "指纹认证-garbage-0" << 0 << 30;
    QTest::newRow("scheme only") << "start://"
                                 << "指纹认证--0" << 0 << 30;
    QTest::newRow("empty") << ""
                           << "指纹认证--0" << 0 << 30;
}

void TestVerifyWindow::argument()
{
    QFETCH(QString, argument);
    QFETCH(QString, title);
    QFETCH(int, jobId);
    QFETCH(int, seconds);

    VerifyRun run(argument, statusFile());
    QCOMPARE(run.window.windowTitle(), title);
    QCOMPARE(run.window.findChild<QLabel*>("label_timeval")->text(), QString::number(seconds));
    QCOMPARE(run.window.findChild<QLabel*>("label")->text(),
        QStringLiteral("您的打印工作需要进行指纹认证，请按下您的手指。如果在%1秒内未检测到正确指纹，则打印工作取消。"
                       "您也可以直接点击“取消”按键取消当前打印。")
            .arg(seconds));

    // The countdown runs from the given time, and the job's group is the one the program uses:
    // Cancel is reported there, and a result there ends the run.
    run.onTick = [&](VerifyRun& r, int timeLeft) {
        if (timeLeft == seconds - 2)
            QTest::mouseClick(r.window.findChild<QPushButton*>("btn_cancel"), Qt::LeftButton);
        if (timeLeft == seconds - 3)
            PrintSideDouble::writeResult(statusFile(), jobId, kResultEnd);
    };
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.ticks.first().timeLeft, seconds - 1);
    QCOMPARE(run.endingTimeLeft(), seconds - 4);
    QCOMPARE(PrintSideDouble::value(statusFile(), jobId, "status"), QStringLiteral("3"));
    QCOMPARE(PrintSideDouble::readIni(statusFile()).size(), 1);
}

void TestVerifyWindow::outcome_data()
{
    QTest::addColumn<QByteArray>("written"); // the value of "result" as the print side writes it
    QTest::addColumn<bool>("asPlainText");
    QTest::addColumn<QString>("message"); // empty: the program ends without a box

    QTest::newRow("1 ends silently") << QByteArray("1") << false << QString();
    QTest::newRow("2 failed") << QByteArray("2") << false << QStringLiteral("指纹验证失败，打印作业将被取消！");
    QTest::newRow("3 cancelled") << QByteArray("3") << false << kCancelledText;
    QTest::newRow("4 cancelled") << QByteArray("4") << false << kCancelledText;
    QTest::newRow("5 timed out") << QByteArray("5") << false << kTimedOutText;
    QTest::newRow("7 no users") << QByteArray("7") << false
                                << QStringLiteral("设备用户列表为空，无法进行指纹验证，当前打印作业将被取消！");
    QTest::newRow("8 busy") << QByteArray("8") << false << QStringLiteral("设备忙，当前打印作业将被取消！");
    QTest::newRow("0 ends silently") << QByteArray("0") << false << QString();
    QTest::newRow("9 ends silently") << QByteArray("9") << false << QString();
    QTest::newRow("-1 ends silently") << QByteArray("-1") << false << QString();
    QTest::newRow("2 as plain INI text") << QByteArray("2") << true
                                         << QStringLiteral("指纹验证失败，打印作业将被取消！");
    QTest::newRow("spaced 8 as plain INI text")
        << QByteArray(" 8 ") << true << QStringLiteral("设备忙，当前打印作业将被取消！");
}

void TestVerifyWindow::outcome()
{
    QFETCH(QByteArray, written);
    QFETCH(bool, asPlainText);
    QFETCH(QString, message);

    VerifyRun run(arg(17, 30), statusFile());
    run.onTick = [&](VerifyRun&, int timeLeft) {
        if (timeLeft != 27)
            return;
        if (asPlainText)
            QVERIFY(PrintSideDouble::writeRaw(statusFile(), "[17]\nresult=" + written + "\n"));
        else
            PrintSideDouble::writeResult(statusFile(), 17, written.toInt());
    };
    QCOMPARE(run.exec(), 0);

    // The result written after the tick at 27 is read by the next poll, which ends the run.
    QCOMPARE(run.endingTimeLeft(), 26);
    if (message.isEmpty()) {
        QCOMPARE(run.boxes.size(), 0);
    } else {
        QCOMPARE(run.boxes.size(), 1);
        const BoxSeen& box = run.boxes.first();
        QCOMPARE(box.text, message);
        QCOMPARE(box.title, QStringLiteral("警告"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QStringList { QStringLiteral("确定") });
        QVERIFY(box.flags.testFlag(Qt::Dialog));
        QVERIFY(box.flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        QVERIFY(box.parentless);
        QVERIFY(box.modal);
        QVERIFY(box.windowHidden);
    }
    QVERIFY(run.window.isHidden());
    // Nothing was reported back: neither a cancellation nor a time-out.
    QVERIFY(PrintSideDouble::value(statusFile(), 17, "status").isNull());
}

void TestVerifyWindow::notAnOutcome_data()
{
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("result 6") << QByteArray("[17]\nresult=6\n");
    QTest::newRow("not a number") << QByteArray("[17]\nresult=done\n");
    QTest::newRow("empty value") << QByteArray("[17]\nresult=\n");
    QTest::newRow("other key") << QByteArray("[17]\nstatus=2\n");
    QTest::newRow("other job") << QByteArray("[18]\nresult=2\n");
    QTest::newRow("no group") << QByteArray("result=2\n");
    QTest::newRow("not INI at all") << QByteArray("\x01\x02\xff\xfe garbage");
}

void TestVerifyWindow::notAnOutcome()
{
    QFETCH(QByteArray, file);

    QVERIFY(PrintSideDouble::writeRaw(statusFile(), file));
    VerifyRun run(arg(17, 30), statusFile());
    run.onTick = [&](VerifyRun&, int timeLeft) {
        if (timeLeft == 22)
            PrintSideDouble::writeResult(statusFile(), 17, kResultEnd);
    };
    QCOMPARE(run.exec(), 0);
    // Eight ticks of waiting with the window up, then the real result ends the run.
    QCOMPARE(run.endingTimeLeft(), 21);
    for (int i = 0; i < run.endingTick(); ++i)
        QVERIFY(run.ticks.at(i).visible);
    QCOMPARE(run.boxes.size(), 0);
}

void TestVerifyWindow::resultAlreadyThereEndsAtFirstTick()
{
    PrintSideDouble::writeResult(statusFile(), 17, kResultCancelled);
    VerifyRun run(arg(17, 30), statusFile());
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.endingTick(), 0);
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, kCancelledText);
    QCOMPARE(run.endingTimeLeft(), 29);
}

void TestVerifyWindow::cancel_data()
{
    QTest::addColumn<bool>("byButton"); // otherwise the window is closed as a window manager would

    QTest::newRow("Cancel button") << true;
    QTest::newRow("window closed") << false;
}

void TestVerifyWindow::cancel()
{
    QFETCH(bool, byButton);

    // The print side's record of another job must survive our writes.
    PrintSideDouble::writeResult(statusFile(), 4, kResultFailed);
    VerifyRun run(arg(17, 30), statusFile());
    int cancelledAt = 0;
    run.onTick = [&](VerifyRun& r, int timeLeft) {
        if (timeLeft == 28) {
            cancelledAt = int(r.ticks.size());
            if (byButton)
                QTest::mouseClick(r.window.findChild<QPushButton*>("btn_cancel"), Qt::LeftButton);
            else
                QVERIFY(!r.window.close());
            QVERIFY(r.window.isHidden());
            QCOMPARE(PrintSideDouble::value(statusFile(), 17, "status"), QStringLiteral("3"));
        }
        if (timeLeft == 24)
            PrintSideDouble::writeResult(statusFile(), 17, kResultCancelled);
    };
    QCOMPARE(run.exec(), 0);

    // Hidden, the window went on counting and polling until the print side answered.
    QCOMPARE(run.endingTimeLeft(), 23);
    for (int i = cancelledAt; i < run.ticks.size(); ++i) {
        QVERIFY(!run.ticks.at(i).visible);
        QCOMPARE(run.ticks.at(i).status, QStringLiteral("3"));
    }
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, kCancelledText);
    QCOMPARE(PrintSideDouble::value(statusFile(), 4, "result"), QStringLiteral("2"));
}

void TestVerifyWindow::timeOut()
{
    VerifyRun run(arg(17, 10), statusFile());
    QCOMPARE(run.exec(), 0);

    // 9..1 shown and counting, 0 hidden with "status" 5, then 14 ticks of waiting, and at -15 the
    // program records the time-out itself and shows it.
    QCOMPARE(run.endingTick(), 24);
    for (const TickSeen& tick : run.ticks.mid(0, 25)) {
        QCOMPARE(tick.visible, tick.timeLeft > 0);
        QCOMPARE(tick.shown, QString::number(qMax(tick.timeLeft, 1)));
        QCOMPARE(tick.status.isNull(), tick.timeLeft > 0);
        if (tick.timeLeft <= 0)
            QCOMPARE(tick.status, QStringLiteral("5"));
        QCOMPARE(tick.result.isNull(), tick.timeLeft > -15);
    }
    QCOMPARE(run.endingTimeLeft(), -15);
    QCOMPARE(run.ticks.at(24).result, QStringLiteral("5"));
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, kTimedOutText);
}

void TestVerifyWindow::cancelledThenTimedOut()
{
    VerifyRun run(arg(17, 10), statusFile());
    run.onTick = [](VerifyRun& r, int timeLeft) {
        if (timeLeft == 5)
            QTest::mouseClick(r.window.findChild<QPushButton*>("btn_cancel"), Qt::LeftButton);
    };
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.ticks.at(5).timeLeft, 4);
    QCOMPARE(run.ticks.at(5).status, QStringLiteral("3"));
    QCOMPARE(run.ticks.at(9).timeLeft, 0);
    QCOMPARE(run.ticks.at(9).status, QStringLiteral("5"));
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, kTimedOutText);
}

void TestVerifyWindow::countdownStopsWithTheOutcome()
{
    // The failure box stays open for longer than the countdown and the time-out mark had left.
    VerifyRun run(arg(17, 10), statusFile());
    run.holdBoxTicks = 24;
    run.onTick = [&](VerifyRun&, int timeLeft) {
        if (timeLeft == 3)
            PrintSideDouble::writeResult(statusFile(), 17, kResultFailed);
    };
    QCOMPARE(run.exec(), 0);

    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.mostBoxesAtOnce, 1);
    QCOMPARE(run.boxes.first().text, QStringLiteral("指纹验证失败，打印作业将被取消！"));
    QCOMPARE(run.endingTimeLeft(), 2);
    // No tick after the outcome was read: nothing counted, no time-out written into the job's group.
    QCOMPARE(run.ticks.size(), run.endingTick() + 1);
    QCOMPARE(run.window.timeLeft(), 2);
    QVERIFY(PrintSideDouble::value(statusFile(), 17, "status").isNull());
    // The print side's outcome stays what it wrote.
    QCOMPARE(PrintSideDouble::value(statusFile(), 17, "result"), QStringLiteral("2"));
}

void TestVerifyWindow::lateResultIsNotOverwritten()
{
    // The print side answers just before the program would record the time-out itself.
    VerifyRun run(arg(17, 10), statusFile());
    run.onTick = [&](VerifyRun&, int timeLeft) {
        if (timeLeft == -14)
            PrintSideDouble::writeResult(statusFile(), 17, kResultBusy);
    };
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, QStringLiteral("设备忙，当前打印作业将被取消！"));
    QCOMPARE(PrintSideDouble::value(statusFile(), 17, "result"), QStringLiteral("8"));
}

void TestVerifyWindow::missingOrUnreadableFileKeepsWaiting()
{
    QCOMPARE(get_result(17, m_dir->filePath("absent.conf")), int(kResultNone));
    QCOMPARE(get_result(17, m_dir->path()), int(kResultNone)); // a directory, not a file

    // A status file that can be neither read nor written (its directory is a plain file): the
    // window waits out the countdown and the grace ticks, then ends on the time-out all the same.
    QVERIFY(PrintSideDouble::writeRaw(m_dir->filePath("plain"), "not a directory"));
    const QString blocked = m_dir->filePath("plain/.vrkt7xsmtmp.conf");
    QVERIFY(!update_status(17, kStatusCancelled, blocked));
    VerifyRun run(arg(17, 10), blocked);
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.endingTimeLeft(), -15);
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, kTimedOutText);
}

void TestVerifyWindow::sigint_data()
{
    QTest::addColumn<bool>("withBoxOpen");

    QTest::newRow("while counting") << false;
    QTest::newRow("while the outcome box is open") << true;
}

void TestVerifyWindow::sigint()
{
    QFETCH(bool, withBoxOpen);

    VerifyRun run(arg(17, 30), statusFile());
    run.holdBoxTicks = 1000;
    run.onTick = [&](VerifyRun&, int timeLeft) {
        if (timeLeft != 27)
            return;
        if (withBoxOpen)
            PrintSideDouble::writeResult(statusFile(), 17, kResultFailed);
        else
            std::raise(SIGINT);
    };
    run.onBox = [](VerifyRun&) { std::raise(SIGINT); };
    QCOMPARE(run.exec(), 0);
    QCOMPARE(run.boxes.size(), withBoxOpen ? 1 : 0);
    QVERIFY(run.ticks.size() < 10);
    // Ending on the signal is not a cancellation.
    QCOMPARE(run.window.isVisible(), !withBoxOpen);
    QVERIFY(PrintSideDouble::value(statusFile(), 17, "status").isNull());
}

QTEST_MAIN(TestVerifyWindow)
#include "tst_fpverify_window.moc"
