// init(): the library looked for in five locations in order, the eleven functions bound by name,
// a library refused when it cannot be loaded or lacks one of them, then the database prepared.
// Uses a stand-in library (fakelib/) and temporary locations.

#include "BoundCalls.h"
#include "StoreTestSupport.h"
#include "store/FingerManage.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace StoreTest;

namespace
{

QString fakeLibrary(const QString& omitted = QString())
{
    return QStringLiteral(STORE_FAKE_LIB_DIR "/libstore_fakevrkt7x%1.so")
        .arg(omitted.isEmpty() ? QString() : QStringLiteral("_no_") + omitted);
}

} // namespace

class BindingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void searchOrder_data();
    void searchOrder();
    void noLibraryAnywhere();
    void unloadableLibrary();
    void missingExport_data();
    void missingExport();
    void databaseFailureUnloads();
    void nullUntilBound();

private:
    QString location(int i) const { return m_dir->filePath(QStringLiteral("loc%1/libvrkt7xcommon.so").arg(i)); }
    std::unique_ptr<CFingerManage> makeManager();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<NoticeRecorder> m_notices;
};

void BindingTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    for (int i = 1; i <= 5; ++i)
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("loc%1").arg(i)));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("store")));
    m_notices = std::make_unique<NoticeRecorder>();
    QVERIFY(QFile::exists(fakeLibrary()));
}

void BindingTest::cleanup()
{
    m_notices.reset();
    m_dir.reset();
}

std::unique_ptr<CFingerManage> BindingTest::makeManager()
{
    FingerManagePaths paths;
    paths.databaseFile = m_dir->filePath(QStringLiteral("store/fingerdata.db"));
    paths.workingCopy = m_dir->filePath(QStringLiteral(".fingerdata.db"));
    paths.settingsFile = m_dir->filePath(QStringLiteral("store/setting.ini"));
    paths.libraryLocations.clear();
    for (int i = 1; i <= 5; ++i)
        paths.libraryLocations << location(i);
    return std::make_unique<CFingerManage>(nullptr, paths);
}

void BindingTest::searchOrder_data()
{
    QTest::addColumn<QList<int>>("copies");
    QTest::addColumn<int>("chosen");

    QTest::newRow("first only") << QList<int> { 1 } << 1;
    QTest::newRow("fourth only") << QList<int> { 4 } << 4;
    QTest::newRow("fifth only") << QList<int> { 5 } << 5;
    QTest::newRow("everywhere: the first wins") << QList<int> { 1, 2, 3, 4, 5 } << 1;
    QTest::newRow("second, third and fifth") << QList<int> { 2, 3, 5 } << 2;
    QTest::newRow("first and fourth") << QList<int> { 1, 4 } << 1;
}

void BindingTest::searchOrder()
{
    QFETCH(QList<int>, copies);
    QFETCH(int, chosen);

    for (int i : copies)
        QVERIFY(QFile::copy(fakeLibrary(), location(i)));
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(manager->init());
    QCOMPARE(manager->m_commLib.fileName(), location(chosen));
    QVERIFY(manager->m_commLib.isLoaded());
    QCOMPARE(describeBoundCalls(*manager), QString::fromLatin1(expectedBoundCalls()));

    QCOMPARE(log.lines().value(0), QStringLiteral("FingerManage Versoin:  \"V0.17\""));
    QVERIFY(log.hasLineStartingWith(QStringLiteral("the comm dll path is ")));
    QVERIFY(log.lines().contains(QStringLiteral("the dll path file name is  \"\"")));
    QVERIFY(log.lines().contains(QStringLiteral("the database path is  \"%1\"").arg(manager->paths().databaseFile)));
    QCOMPARE(log.lines().last(), QStringLiteral("Login"));

    // The database is ready and the account read.
    QCOMPARE(manager->m_strDbPath, manager->paths().databaseFile);
    QCOMPARE(manager->m_strTmpDbPath, manager->paths().workingCopy);
    QCOMPARE(manager->m_userRecords.size(), 1);
    QVERIFY(m_notices->requests.isEmpty());
}

void BindingTest::noLibraryAnywhere()
{
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(!manager->init());
    QCOMPARE(log.lines().last(), QStringLiteral("\"%1\"  is not exist!").arg(location(5)));
    QVERIFY(m_notices->requests.isEmpty());
    QVERIFY(!manager->m_commLib.isLoaded());
    QVERIFY(allBindingsNull(*manager));
    QVERIFY(!QFile::exists(manager->paths().databaseFile));
}

void BindingTest::unloadableLibrary()
{
    QVERIFY(writeFile(location(3), "not an ELF file"));
    QVERIFY(QFile::copy(fakeLibrary(), location(4)));
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(!manager->init());
    QVERIFY(log.lines().contains(QStringLiteral("load library failed")));
    QCOMPARE(m_notices->requests.size(), 1);
    const NoticeRequest& box = m_notices->requests.at(0);
    QCOMPARE(box.text, QStringLiteral("the vrkt7xcomm dll not found"));
    QCOMPARE(box.title, QStringLiteral("警告"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.parent);
    QVERIFY(allBindingsNull(*manager));
    QVERIFY(!QFile::exists(manager->paths().databaseFile));
}

void BindingTest::missingExport_data()
{
    QTest::addColumn<QString>("omitted");
    for (const QString& name : boundExportNames())
        QTest::newRow(qPrintable(name)) << name;
}

void BindingTest::missingExport()
{
    QFETCH(QString, omitted);

    QVERIFY(QFile::copy(fakeLibrary(omitted), location(2)));
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(!manager->init());
    QCOMPARE(m_notices->requests.size(), 1);
    QCOMPARE(m_notices->requests.at(0).text, QStringLiteral("the vrkt7xcomm dll not found"));
    QVERIFY(log.contains(omitted));
    QVERIFY(!manager->m_commLib.isLoaded());
    QVERIFY(allBindingsNull(*manager));
    QVERIFY(!QFile::exists(manager->paths().databaseFile));
}

void BindingTest::databaseFailureUnloads()
{
    QVERIFY(QFile::copy(fakeLibrary(), location(1)));
    auto manager = makeManager();
    const QByteArray garbage("neither SQLite nor encrypted by us, 48 bytes....");
    QVERIFY(writeFile(manager->paths().databaseFile, garbage));
    LogCapture log;
    QVERIFY(!manager->init());
    QCOMPARE(log.lines().last(), QStringLiteral("Open and Read Database error"));
    QVERIFY(!manager->m_commLib.isLoaded());
    QCOMPARE(m_notices->requests.size(), 1);
    QCOMPARE(readFile(manager->paths().databaseFile), garbage);
}

void BindingTest::nullUntilBound()
{
    // The global object and a fresh one: nothing is bound before init.
    QVERIFY(allBindingsNull(fingerMagager));
    QCOMPARE(fingerMagager.m_strVersion, QStringLiteral("V0.17"));
    QCOMPARE(fingerMagager.paths().databaseFile, QStringLiteral("/usr/share/vrkt7x/fingerdata.db"));
    QCOMPARE(fingerMagager.paths().workingCopy, QStringLiteral("/tmp/.fingerdata.db"));
    QCOMPARE(fingerMagager.paths().settingsFile, QStringLiteral("/usr/share/vrkt7x/setting.ini"));
    QCOMPARE(fingerMagager.paths().libraryLocations,
        QStringList({ QStringLiteral("/usr/lib/libvrkt7xcommon.so"), QStringLiteral("/usr/lib64/libvrkt7xcommon.so"),
            QStringLiteral("/usr/lib/x86_64-linux-gnu/libvrkt7xcommon.so"),
            QStringLiteral("/usr/lib/aarch64-linux-gnu/libvrkt7xcommon.so"),
            QStringLiteral("/usr/lib/i386-linux-gnu/libvrkt7xcommon.so") }));
    QVERIFY(fingerMagager.m_strDbPath.isEmpty());
    QCOMPARE(QByteArray(fingerMagager.m_strPrinterURI), QByteArray());
}

QTEST_GUILESS_MAIN(BindingTest)
#include "tst_binding.moc"
