// The longest stall of fpmanager's GUI thread while the printer works, through the real library
// against a simulated USB printer (this benchmark runs itself under "fpsim usb") and a private
// cupsd. The printer starts with 997 records: three enrolments (the first finger comes 2 s into
// its wait) make 1000, which are exported three times (into the database as well); then three
// users are deleted and enrolled again with the database full. A 5 ms timer on the GUI thread
// gives the longest time between two of its ticks from the click (for an enrolment: from its
// first library call, after the name dialog) to the end of the operation (its boxes answered at
// once). Figures: $VRKT_ARTIFACTS_DIR/fpmanager-stalls.txt.
// Nothing here is asserted about speed.
#include "AddDlg.h"
#include "CupsSandbox.h"
#include "FingerLibrary.h"
#include "FingerManageDlg.h"
#include "LibraryWorker.h"
#include "ManagerTestSupport.h"
#include "SimulatedPrinters.h"
#include "store/FingerManage.h"
#include "ui_AddDlg.h"
#include "ui_FingerManageDlg.h"

#include <QApplication>
#include <QtTest>

namespace
{

const QString kQueue = QStringLiteral("ZPH_USB");
const QByteArray kUri = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
const int kRecords = 1000;
const int kEnrolments = 3;

struct Figures {
    qint64 longestGapMs = 0;
    qint64 wallMs = 0;
};

QString line(const QString& what, const Figures& f)
{
    return QStringLiteral("%1: longest GUI-thread stall %2 ms, operation %3 ms")
        .arg(what)
        .arg(f.longestGapMs)
        .arg(f.wallMs);
}

} // namespace

class StallBenchmark : public QObject
{
    Q_OBJECT

private slots:
    void run();

private:
    Figures measure(FingerManageDlg& window, QPushButton* button);
    Figures enrol(FingerManageDlg& window, const QByteArray& name);
};

Figures StallBenchmark::measure(FingerManageDlg& window, QPushButton* button)
{
    GuiThreadWatch watch(window, 5);
    QElapsedTimer wall;
    wall.start();
    button->click();
    Figures f;
    f.wallMs = wall.elapsed();
    // The next tick measures the stretch from the last one to the end of the operation.
    QTest::qWait(20);
    f.longestGapMs = watch.longestGapMs();
    return f;
}

void StallBenchmark::run()
{
    QVERIFY(fpsim::runningUnderUsbSimulation());
    QVERIFY(inPrivateNamespace());
    qApp->setQuitOnLastWindowClosed(false);
    CupsSandbox cups;
    QVERIFY2(cups.start(), qPrintable(cups.lastError()));
    QVERIFY2(cups.addQueue(kQueue, QString::fromLatin1(kUri), QStringLiteral("Simulated ZPH6100RMX Series")),
        qPrintable(cups.lastError()));
    fpsim::ControlClient printer;
    QVERIFY(printer.connectTo(fpsim::usbControlSocket(QStringLiteral("SIM0001"))));
    FingerLibrary library;
    QVERIFY2(library.load(), qPrintable(library.error()));
    QVERIFY(ManagerTestEnv::freshManager());
    CFingerManage& m = fingerMagager;
    m.m_pfnAddFinger = library.AddFinger;
    m.m_pfnIsDeviceFingerOpen = library.IsDeviceFingerOpen;
    m.m_pfnOpenFinger = library.OpenFinger;
    m.m_pfnCloseFinger = library.CloseFinger;
    m.m_pfnCheckFinger = library.CheckFinger;
    m.m_pfnDeleteFinger = library.DeleteFinger;
    m.m_pfnDeleteFingers = library.DeleteFingers;
    m.m_pfnImportFinger = library.ImportFinger;
    m.m_pfnExportFinger = library.ExportFinger;
    QVERIFY(printer.clearStore());
    QVERIFY(printer.setState(1));
    QVERIFY(printer.setCapacity(kRecords + 10));
    for (int i = 0; i < kRecords - kEnrolments; ++i)
        QVERIFY(printer.addUser("user" + QByteArray::number(i)) > 0);

    ManagerTestEnv::setPrinters({ { kQueue.toUtf8(), kUri } });
    FingerManageDlg window;
    window.settingDlgshow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    NoticeScript notices;
    FileDialogScript dialogs;
    QTemporaryDir dir;

    QStringList report { QStringLiteral(
        "Longest time between two ticks of a 5 ms timer on fpmanager's GUI thread, from the start "
        "of the operation to its end. Before the library calls left the GUI "
        "thread, the stall was the whole operation.") };
    for (int round = 1; round <= kEnrolments; ++round) {
        const Figures f = enrol(window, "enrol" + QByteArray::number(round));
        QCOMPARE(window.ui->result->text(), QStringLiteral("添加成功"));
        report << line(QStringLiteral("round %1: enrolment, %2 records in the database").arg(round).arg(round - 1), f);
    }
    for (int round = 1; round <= 3; ++round) {
        notices.shown.clear();
        dialogs.answers = { dir.filePath(QStringLiteral("all.fdl")) };
        const Figures f = measure(window, window.ui->Btn_export);
        QCOMPARE(notices.titledTexts(), QStringList { QStringLiteral("信息|导出到文件成功!") });
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("all.fdl"))).size(), qint64(kRecords) * 546);
        report << line(QStringLiteral("round %1: export of %2 records").arg(round).arg(kRecords), f);
    }
    QCOMPARE(ManagerTestEnv::storedFingers(kQueue).size(), kRecords);
    for (int round = 1; round <= kEnrolments; ++round) {
        window.ui->LV_userList->setCurrentIndex(window.m_userModel->index(0));
        notices.answers = { QMessageBox::Yes };
        const Figures f = measure(window, window.ui->Btn_delete);
        QCOMPARE(window.ui->result->text(), QStringLiteral("删除成功! "));
        report << line(
            QStringLiteral("round %1: deletion, %2 records in the database").arg(round).arg(kRecords - round + 1), f);
    }
    for (int round = 1; round <= kEnrolments; ++round) {
        const Figures f = enrol(window, "late" + QByteArray::number(round));
        QCOMPARE(window.ui->result->text(), QStringLiteral("添加成功"));
        report << line(QStringLiteral("round %1: enrolment, %2 records in the database")
                           .arg(round)
                           .arg(kRecords - kEnrolments + round - 1),
            f);
    }

    const QString text = report.join(QLatin1Char('\n')) + QLatin1Char('\n');
    qInfo().noquote() << text;
    QFile out(ManagerTestEnv::artifactPath(QStringLiteral("fpmanager-stalls.txt")));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
    cups.stop();
}

Figures StallBenchmark::enrol(FingerManageDlg& window, const QByteArray& name)
{
    fpsim::ControlClient printer;
    printer.connectTo(fpsim::usbControlSocket(QStringLiteral("SIM0001")));
    printer.pressFingerAtNextWait(name, 2000);
    printer.pressFingerAtNextWait(name, 100);
    ModalWatcher answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<AddDlg*>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        QTest::keyClicks(dialog->ui->AddUserName, QString::fromLatin1(name));
        dialog->ui->btn_add_OK->click();
    });
    // The name dialog's own time is not the printer's: the watch starts once the name is in.
    GuiThreadWatch* watch = nullptr;
    QElapsedTimer wall;
    const QMetaObject::Connection started
        = connect(window.libraryWorker(), &LibraryWorker::busyChanged, this, [&](bool busy) {
              if (busy && !watch) {
                  watch = new GuiThreadWatch(window, 5);
                  wall.start();
              }
          });
    window.ui->Btn_add->click();
    disconnect(started);
    Figures f;
    if (watch) {
        f.wallMs = wall.elapsed();
        QTest::qWait(20);
        f.longestGapMs = watch->longestGapMs();
        delete watch;
    }
    return f;
}

int main(int argc, char* argv[])
{
    fpsim::runUnderUsbSimulation(argc, argv, { QStringLiteral("SIM0001") });
    QApplication app(argc, argv);
    StallBenchmark benchmark;
    return QTest::qExec(&benchmark, argc, argv);
}

#include "bench_fpmanager_stalls.moc"
