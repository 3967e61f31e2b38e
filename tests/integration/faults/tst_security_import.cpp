// Local security review of fpmanager's import: the chosen *.fdl file is copied to the fixed name
// /tmp/vrkt_import.fdl, which the library then reads and sends to the printer. Another local user
// who gets a file of his own to that name first — one the importing user cannot remove, as in the
// sticky /tmp for any file of another user — must not get his records imported instead of the
// chosen ones. Here the planted file is made unremovable with a bind mount (the test runs as root
// in a private mount namespace).
//
// The window runs on the offscreen platform with the test doubles of the library (fpmanager's GUI
// test support), which keep what the "library" was handed.

#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "ManagerTestSupport.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "ui_FingerManageDlg.h"

#include <QProcess>
#include <QtTest>

namespace
{

const QByteArray kUri = "usb://Simulated/ZPH6100RMX?serial=SIM0001";
const QString kQueue = QStringLiteral("ZPH_first");
const QString kImportTemp = QString::fromLatin1(FpmanagerPaths::kImportTempFile);

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

class SecurityImportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void plantedImportFileIsNotImported();
    void cleanup();

private:
    QString m_mounted;
};

void SecurityImportTest::initTestCase()
{
    if (!inPrivateNamespace())
        QSKIP("uses fpmanager's fixed paths: runs only inside the private test namespace (ctest)");
    qApp->setQuitOnLastWindowClosed(false);
    QVERIFY(ManagerTestEnv::freshManager());
}

void SecurityImportTest::cleanup()
{
    if (!m_mounted.isEmpty())
        QProcess::execute(QStringLiteral("umount"), { m_mounted });
    m_mounted.clear();
    QFile::remove(kImportTemp);
}

void SecurityImportTest::plantedImportFileIsNotImported()
{
    QTemporaryDir dir;
    const QByteArray chosen = ManagerTestEnv::fdlRecord("alice", 4);
    const QByteArray planted = ManagerTestEnv::fdlRecord("intruder", 7);
    const QString chosenFile = dir.filePath(QStringLiteral("team.fdl"));
    const QString plantedFile = dir.filePath(QStringLiteral("planted.fdl"));
    QVERIFY(writeFile(chosenFile, chosen));
    QVERIFY(writeFile(plantedFile, planted));
    // The intruder's file at the fixed name, and the importing user cannot remove it.
    QVERIFY(writeFile(kImportTemp, QByteArray()));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), { QStringLiteral("--bind"), plantedFile, kImportTemp }), 0);
    m_mounted = kImportTemp;
    QVERIFY(!QFile::remove(kImportTemp));

    ManagerTestEnv::setPrinters({ { kQueue.toUtf8(), kUri } });
    auto window = std::make_unique<FingerManageDlg>();
    window->settingDlgshow();
    FakeFingerLibrary::state().importedData.clear();
    FakeFingerLibrary::state().importResult = 0;
    FileDialogScript dialogs;
    dialogs.answers = { chosenFile };
    NoticeScript notices;
    window->ui->Btn_import->click();

    // Whatever the window did, the printer must not receive the intruder's records.
    QVERIFY2(!FakeFingerLibrary::state().importedData.contains("intruder"),
        "the records planted at /tmp/vrkt_import.fdl were imported instead of the chosen file");
}

QTEST_MAIN(SecurityImportTest)
#include "tst_security_import.moc"
