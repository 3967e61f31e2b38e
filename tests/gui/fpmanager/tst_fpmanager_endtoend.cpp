// The main window's operations end to end: the real libvrkt7xcommon bound into fingerMagager's
// pointers, talking over USB to a simulated printer (this test runs itself under "fpsim usb"), a
// private cupsd with the printer's queue, the real database on the program's fixed paths (private
// namespace), the finger pressed on cue through the simulator's control socket, and faults
// injected there.
#include "AddDlg.h"
#include "BusyIndicator.h"
#include "CupsSandbox.h"
#include "FakeFingerLibrary.h"
#include "FingerLibrary.h"
#include "FingerManageDlg.h"
#include "LibraryWorker.h"
#include "ManagerTestSupport.h"
#include "SimulatedPrinters.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "ui_AddDlg.h"
#include "ui_FingerManageDlg.h"

#include <QAction>
#include <QApplication>
#include <QStringListModel>
#include <QtTest>

using fpsim::ControlClient;

namespace
{

using Rows = QList<QPair<int, QString>>;

const QString kQueue = QStringLiteral("ZPH_USB");
const QByteArray kUri = "usb://Simulated/ZPH6100RMX?serial=SIM0001";

void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

std::unique_ptr<ModalWatcher> answerName(const QString& name)
{
    return std::make_unique<ModalWatcher>([=](QWidget* modal) {
        auto* dialog = qobject_cast<AddDlg*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        typeText(dialog->ui->AddUserName, name);
        dialog->ui->btn_add_OK->click();
    });
}

QStringList printerUsers(ControlClient& printer)
{
    QStringList names;
    for (const ControlClient::User& user : printer.users())
        names << CharsetFuncs::fromGB18030(user.name.constData(), static_cast<int>(user.name.size()));
    return names;
}

QStringList disabledButtons(const FingerManageDlg& window)
{
    QStringList names;
    for (QPushButton* button : window.operationButtons())
        if (!button->isEnabled())
            names << button->objectName();
    return names;
}

// The controls that could start a second operation.
QList<QWidget*> operationControls(const FingerManageDlg& window)
{
    QList<QWidget*> controls { window.ui->cb_printerList, window.ui->chkBox_FSW };
    for (QPushButton* button : window.operationButtons())
        controls << button;
    return controls;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void enrolQueryDelete();
    void exportDeleteAllImport();
    void failures_data();
    void failures();
    void staysResponsive_data();
    void staysResponsive();
    // Ends the application's event loop: keep it last.
    void quitDuringExportWaits();

private:
    std::unique_ptr<FingerManageDlg> showWindow();

    CupsSandbox m_cups;
    ControlClient m_printer;
    FingerLibrary m_library;
    QTemporaryDir m_dir;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(fpsim::runningUnderUsbSimulation(), "not started under fpsim usb");
    QVERIFY2(inPrivateNamespace(), "run through tests/fixtures/in-namespace.sh (ctest does)");
    qApp->setQuitOnLastWindowClosed(false);
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY2(m_cups.addQueue(kQueue, QString::fromLatin1(kUri), QStringLiteral("Simulated ZPH6100RMX Series")),
        qPrintable(m_cups.lastError()));
    QVERIFY2(
        m_printer.connectTo(fpsim::usbControlSocket(QStringLiteral("SIM0001"))), qPrintable(m_printer.lastError()));
    QVERIFY2(m_library.load(), qPrintable(m_library.error()));
    QVERIFY(m_dir.isValid());
}

void TestEndToEnd::cleanupTestCase() { m_cups.stop(); }

void TestEndToEnd::init()
{
    QVERIFY(ManagerTestEnv::freshManager());
    CFingerManage& m = fingerMagager;
    m.m_pfnAddFinger = m_library.AddFinger;
    m.m_pfnIsDeviceConnect = m_library.IsDeviceConnect;
    m.m_pfnGetDeviceConnect = m_library.GetDeviceConnect;
    m.m_pfnIsDeviceFingerOpen = m_library.IsDeviceFingerOpen;
    m.m_pfnOpenFinger = m_library.OpenFinger;
    m.m_pfnCloseFinger = m_library.CloseFinger;
    m.m_pfnDeleteFinger = m_library.DeleteFinger;
    m.m_pfnDeleteFingers = m_library.DeleteFingers;
    m.m_pfnCheckFinger = m_library.CheckFinger;
    m.m_pfnImportFinger = m_library.ImportFinger;
    m.m_pfnExportFinger = m_library.ExportFinger;

    QVERIFY(m_printer.plug());
    QVERIFY(m_printer.clearFaults());
    QVERIFY(m_printer.pressNothing());
    QVERIFY(m_printer.setAutoFinger(false));
    QVERIFY(m_printer.clearStore());
    QVERIFY(m_printer.setState(1));
    QVERIFY(m_printer.clearFrameLog());
}

std::unique_ptr<FingerManageDlg> TestEndToEnd::showWindow()
{
    ManagerTestEnv::setPrinters({ { kQueue.toUtf8(), kUri } });
    auto window = std::make_unique<FingerManageDlg>();
    window->settingDlgshow();
    return window;
}

void TestEndToEnd::enrolQueryDelete()
{
    auto window = showWindow();
    QVERIFY(window->ui->chkBox_FSW->isChecked());
    NoticeScript notices;

    // Enrol: the same finger on the reader for both presses.
    const QByteArray zhang = ManagerTestEnv::gb18030(QStringLiteral("张三"));
    QVERIFY(m_printer.pressFingerAtNextWait(zhang, 50));
    QVERIFY(m_printer.pressFingerAtNextWait(zhang, 50));
    auto watcher = answerName(QStringLiteral("张三"));
    window->ui->Btn_add->click();
    QVERIFY2(notices.shown.isEmpty(), qPrintable(notices.texts().join(QLatin1Char(','))));
    QCOMPARE(window->ui->result->text(), QStringLiteral("添加成功"));
    const QList<ControlClient::User> users = m_printer.users();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().name, zhang);
    QCOMPARE(window->m_userNameList, QStringList { QStringLiteral("张三") });
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue), (Rows { { users.first().id, QStringLiteral("张三") } }));
    QCOMPARE(fingerMagager.m_ListFinger.first().ID, users.first().id);
    QVERIFY(disabledButtons(*window).isEmpty());

    // Query.
    watcher = answerName(QStringLiteral("张三"));
    window->ui->Btn_query->click();
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|此用户指纹已经存在,可以使用!") });
    QCOMPARE(window->ui->result->text(), QStringLiteral("查询成功"));
    QCOMPARE(window->ui->LV_userList->currentIndex().row(), 0);

    // Delete the selected user.
    notices.shown.clear();
    notices.answers = { QMessageBox::Yes };
    window->ui->Btn_delete->click();
    QCOMPARE(notices.texts(), QStringList { QStringLiteral("您确认要删除当前的用户和指纹吗？") });
    QCOMPARE(window->ui->result->text(), QStringLiteral("删除成功! "));
    QVERIFY(m_printer.users().isEmpty());
    QVERIFY(window->m_userNameList.isEmpty());
    QVERIFY(ManagerTestEnv::storedFingers(kQueue).isEmpty());
    QVERIFY(fingerMagager.m_ListFinger.isEmpty());
}

void TestEndToEnd::exportDeleteAllImport()
{
    for (const QString& name : { QStringLiteral("alice"), QStringLiteral("王五"), QStringLiteral("bob") })
        QVERIFY(m_printer.addUser(ManagerTestEnv::gb18030(name)) > 0);
    const QStringList everyone = printerUsers(m_printer);
    QCOMPARE(everyone.size(), 3);
    auto window = showWindow();
    QVERIFY(window->m_userNameList.isEmpty());
    NoticeScript notices;
    FileDialogScript dialogs;

    // Export to a name without suffix: "team.fdl", and the records come into the list.
    const QString file = m_dir.filePath(QStringLiteral("team.fdl"));
    dialogs.answers = { m_dir.filePath(QStringLiteral("team")) };
    window->ui->Btn_export->click();
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|导出到文件成功!") });
    QCOMPARE(QFileInfo(file).size(), 3 * 546);
    QCOMPARE(window->m_userNameList, everyone);
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue).size(), 3);

    // Delete all.
    notices.shown.clear();
    notices.answers = { QMessageBox::Yes };
    window->ui->Btn_delete_all->click();
    QCOMPARE(notices.texts(), QStringList { QStringLiteral("您确认要删除全部用户和指纹吗？") });
    QVERIFY(m_printer.users().isEmpty());
    QVERIFY(window->m_userNameList.isEmpty());
    QVERIFY(ManagerTestEnv::storedFingers(kQueue).isEmpty());

    // Import the file back: the printer and the list have everyone again.
    notices.shown.clear();
    dialogs.answers = { file };
    window->ui->Btn_import->click();
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|导入文件成功!") });
    QCOMPARE(window->ui->result->text(), QStringLiteral("导入文件成功"));
    QCOMPARE(printerUsers(m_printer), everyone);
    QCOMPARE(window->m_userNameList, everyone);
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue).size(), 3);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/vrkt_import.fdl")));
    QVERIFY(disabledButtons(*window).isEmpty());
}

void TestEndToEnd::failures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("listAfter");

    const QStringList both = { "alice", "ghost" };
    QTest::newRow("first press fails") << "enrol"
                                       << "fail code=ADDF" << QStringLiteral("信息|添加失败,请稍后重试!")
                                       << QStringLiteral("添加失败") << both;
    QTest::newRow("first press refused") << "enrol"
                                         << "refuse code=ADDF" << QStringLiteral("信息|用户已经注冊,请重新填写姓名!")
                                         << QString() << both;
    QTest::newRow("second press refused")
        << "enrol"
        << "refuse code=ADDS" << QStringLiteral("信息|添加失败，请稍后重试!") << QString() << both;
    QTest::newRow("user unknown to the printer")
        << "delete ghost"
        << "" << QStringLiteral("警告|用户不存在！") << QStringLiteral("用户不存在! ") << QStringList { "alice" };
    QTest::newRow("delete answered busy")
        << "delete alice"
        << "busy code=DELE" << QStringLiteral("警告|删除失败，请重试！") << QStringLiteral("删除失败! ") << both;
    QTest::newRow("delete all refused") << "delete all"
                                        << "refuse code=DELE" << QStringLiteral("警告|删除失败，请重试！")
                                        << QStringLiteral("删除失败! ") << both;
    QTest::newRow("export from an empty printer")
        << "export empty"
        << "" << QStringLiteral("信息|设备中无指纹存储!") << QString() << both;
    QTest::newRow("import fails") << "import"
                                  << "importfail" << QStringLiteral("警告|导入文件失败，请检查您的设备，再重试!")
                                  << QString() << both;
}

void TestEndToEnd::failures()
{
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(QString, notice);
    QFETCH(QString, message);
    QFETCH(QStringList, listAfter);

    // The database knows alice (also in the printer) and ghost (not in the printer).
    if (operation != QLatin1String("export empty"))
        QVERIFY(m_printer.addUser("alice", 4) > 0);
    ManagerTestEnv::storeFinger(kQueue, 4, QStringLiteral("alice"));
    ManagerTestEnv::storeFinger(kQueue, 6, QStringLiteral("ghost"));
    const QString file = m_dir.filePath(QStringLiteral("kept.fdl"));
    const QByteArray oldBackup = ManagerTestEnv::fdlRecord("old", 1);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(oldBackup);
    }
    auto window = showWindow();
    QCOMPARE(window->m_userNameList, (QStringList { "alice", "ghost" }));
    if (!fault.isEmpty())
        QVERIFY2(m_printer.injectFault(fault + QStringLiteral(" count=0")), qPrintable(m_printer.lastError()));

    NoticeScript notices;
    FileDialogScript dialogs;
    std::unique_ptr<ModalWatcher> watcher;
    if (operation == QLatin1String("enrol")) {
        QVERIFY(m_printer.pressFingerAtNextWait("carol", 50));
        QVERIFY(m_printer.pressFingerAtNextWait("carol", 50));
        watcher = answerName(QStringLiteral("carol"));
        window->ui->Btn_add->click();
    } else if (operation.startsWith(QLatin1String("delete "))) {
        const QString who = operation.mid(7);
        notices.answers = { QMessageBox::Yes };
        if (who == QLatin1String("all")) {
            window->ui->Btn_delete_all->click();
        } else {
            window->ui->LV_userList->setCurrentIndex(window->m_userModel->index(window->m_userNameList.indexOf(who)));
            window->ui->Btn_delete->click();
        }
        notices.shown.removeFirst(); // the confirmation
    } else if (operation == QLatin1String("export empty")) {
        dialogs.answers = { file };
        window->ui->Btn_export->click();
    } else if (operation == QLatin1String("import")) {
        dialogs.answers = { file };
        window->ui->Btn_import->click();
    }
    QVERIFY(m_printer.clearFaults());

    QCOMPARE(notices.titledTexts(), QStringList { notice });
    QCOMPARE(window->ui->result->text(), message);
    QCOMPARE(window->m_userNameList, listAfter);
    QCOMPARE(window->ui->LV_userList->model()->rowCount(), listAfter.size());
    QCOMPARE(fingerMagager.m_ListFinger.size(), listAfter.size());
    Rows stored;
    for (const QString& name : listAfter)
        stored.append({ name == QLatin1String("alice") ? 4 : 6, name });
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue), stored);
    QVERIFY(disabledButtons(*window).isEmpty());
    QFile kept(file);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), oldBackup);
    QVERIFY(!printerUsers(m_printer).contains(QStringLiteral("carol")));
}

void TestEndToEnd::staysResponsive_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<QString>("message");
    QTest::newRow("slow enrolment press") << "enrol" << QStringList() << QStringLiteral("添加成功");
    QTest::newRow("slow export") << "export" << QStringList { QStringLiteral("信息|导出到文件成功!") }
                                 << QStringLiteral("导出到文件成功");
}

void TestEndToEnd::staysResponsive()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, notices);
    QFETCH(QString, message);
    for (const char* name : { "alice", "bob" })
        QVERIFY(m_printer.addUser(name) > 0);
    auto window = showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    NoticeScript shown;
    FileDialogScript dialogs;
    std::unique_ptr<ModalWatcher> names;
    QPushButton* start = window->ui->Btn_export;
    // What lets each call of the printer's work finish comes from a tick of the GUI thread while the
    // call runs: the finger (enrolment), the end of the stalled export data.
    const bool enrol = operation == QLatin1String("enrol");
    if (enrol) {
        names = answerName(QStringLiteral("carol"));
        start = window->ui->Btn_add;
    } else {
        dialogs.answers = { m_dir.filePath(QStringLiteral("slow.fdl")) };
        QVERIFY(m_printer.injectFault(QStringLiteral("stall code=EXPT")));
    }

    GuiThreadWatch watch(*window, 10);
    bool tried = false;
    bool indicatorShown = false;
    QStringList enabledDuring;
    QStringList strays;
    std::unique_ptr<ModalWatcher> strayWatcher;
    qsizetype released = 0;
    bool releasedAll = true;
    watch.onBusyTick = [&] {
        if (released < watch.ticksPerCall.size()) {
            released = watch.ticksPerCall.size();
            releasedAll
                &= enrol ? m_printer.command(QStringLiteral("finger press carol waiting")) : m_printer.clearFaults();
        }
        if (tried)
            return;
        tried = true;
        indicatorShown = window->busyIndicator()->isVisible();
        // A second operation cannot start: every control is disabled, and clicking them opens nothing.
        for (QWidget* control : operationControls(*window))
            if (control->isEnabled())
                enabledDuring << control->objectName();
        strayWatcher = std::make_unique<ModalWatcher>([&](QWidget* modal) {
            strays << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        });
        for (QWidget* control : operationControls(*window))
            QTest::mouseClick(control, Qt::LeftButton);
    };
    start->click();

    QVERIFY(tried && releasedAll);
    QVERIFY(indicatorShown);
    QCOMPARE(enabledDuring, QStringList());
    QCOMPARE(strays, QStringList());
    QCOMPARE(dialogs.asked.size(), enrol ? 0 : 1);
    QCOMPARE(shown.titledTexts(), notices);
    // Every call left the GUI thread, whose event loop ran while the printer worked (each call was
    // released from a tick) and repainted the window.
    QCOMPARE(watch.ticksPerCall.size(), enrol ? 2 : 1);
    for (int ticks : std::as_const(watch.ticksPerCall)) {
        qInfo("%d ticks during a call; longest gap so far %lld ms", ticks, watch.longestGapMs());
        QVERIFY(ticks > 0);
    }
    QVERIFY(watch.paintsWhileBusy > 0);
    QCOMPARE(window->ui->result->text(), message);
    QVERIFY(!window->busyIndicator()->isVisible());
    for (QWidget* control : operationControls(*window))
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
}

void TestEndToEnd::quitDuringExportWaits()
{
    const int records = 50;
    for (int i = 0; i < records; ++i)
        QVERIFY(m_printer.addUser("user" + QByteArray::number(i)) > 0);
    auto window = showWindow();
    NoticeScript notices;
    FileDialogScript dialogs;
    const QString file = m_dir.filePath(QStringLiteral("quit.fdl"));
    dialogs.answers = { file };

    // Once the export runs: the title bar's close, then the tray menu's quit.
    GuiThreadWatch watch(*window, 10);
    bool asked = false;
    bool shownWhileWaiting = false;
    QString messageWhileWaiting;
    watch.onBusyTick = [&] {
        if (asked)
            return;
        asked = true;
        window->close();
        window->m_quitAction->trigger();
        shownWhileWaiting = window->isVisible();
        messageWhileWaiting = window->ui->result->text();
    };
    bool timedOut = false;
    QTimer::singleShot(0, window->ui->Btn_export, &QPushButton::click);
    QTimer::singleShot(120000, qApp, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    const int code = qApp->exec();

    QVERIFY(!timedOut);
    QCOMPARE(code, 0);
    QVERIFY(asked);
    QVERIFY(shownWhileWaiting);
    QCOMPARE(messageWhileWaiting, QStringLiteral("正在导出数据到文件，请稍候\n正在等待当前操作结束，结束后退出..."));
    // The operation ended as usual before the application did.
    QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|导出到文件成功!") });
    QCOMPARE(QFileInfo(file).size(), qint64(records) * 546);
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue).size(), records);
    QVERIFY(!window->isVisible());
}

int main(int argc, char* argv[])
{
    fpsim::runUnderUsbSimulation(argc, argv, { QStringLiteral("SIM0001") });
    QApplication app(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fpmanager_endtoend.moc"
