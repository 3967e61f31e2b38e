// The encrypted database of CFingerManage on real SQLite files: table check, the operations on
// UserList and FingerList, bound statement values, the in-memory lists, *.fdl merging, the
// private working copy and the write-back of the stored file.

#include "StoreTestSupport.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "store/SecureFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SecureFile::Mode)

using namespace StoreTest;

namespace
{

const QStringList kBothTables = {
    QStringLiteral("create table UserList(UserName  varchar(255), Passowrd varchar(32))"),
    QStringLiteral("create table FingerList(id int, UserName varchar(255), printerName varchar(255))"),
};

// Modes of the working copy seen while the stored file was being written.
QList<int> g_workingCopyModes;
QByteArray g_storedAtSync;
QString g_workingCopyPath;
QString g_storedPath;

void observeWriteBack(const char* step)
{
    if (qstrcmp(step, "chunk") == 0)
        g_workingCopyModes << modeOf(g_workingCopyPath);
    if (qstrcmp(step, "synced") == 0)
        g_storedAtSync = readFile(g_storedPath);
}

// Runs body in a child process under the user nobody; its exit code, or -1.
int runAsNobody(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class FingerManageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstStart();
    void secondStartCreatesNothing();
    void partialDatabases_data();
    void partialDatabases();
    void foreignStoredFileIsKept();
    void statementFailures_data();
    void statementFailures();
    void openTexts_data();
    void openTexts();
    void namesStoredUnchanged_data();
    void namesStoredUnchanged();
    void deleteDropsEveryRecordOfTheName();
    void printersAreKeptApart();
    void failedInsertAddsNoRecord();
    void changeUserInfo_data();
    void changeUserInfo();
    void listsFromRecords();
    void qstringToCharArray_data();
    void qstringToCharArray();
    void updateFingData_data();
    void updateFingData();
    void workingCopyIsPrivate_data();
    void workingCopyIsPrivate();
    void writeBackReplacesAndKeepsMode();
    void writeBackInPlaceWhenDirectoryIsReadOnly();
    void unreadableStoredFileIsNotReplaced();
    void replacementOfLinks_data();
    void replacementOfLinks();
    void failuresAreReported_data();
    void failuresAreReported();

private:
    std::unique_ptr<CFingerManage> makeManager();
    QString stored() const { return m_dir->filePath(QStringLiteral("store/fingerdata.db")); }
    QString workingCopy() const { return m_dir->filePath(QStringLiteral("work/.fingerdata.db")); }
    QString scratch() const { return m_dir->filePath(QStringLiteral("scratch.db")); }
    QStringList rows(const QString& select) { return flat(storedRows(stored(), scratch(), select)); }
    QString fdlRecord(const QByteArray& name, quint16 id) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<NoticeRecorder> m_notices;
};

void FingerManageTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("store")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("work")));
    m_notices = std::make_unique<NoticeRecorder>();
}

void FingerManageTest::cleanup()
{
    SecureFile::setStepHook(nullptr);
    m_notices.reset();
    m_dir.reset();
}

std::unique_ptr<CFingerManage> FingerManageTest::makeManager()
{
    FingerManagePaths paths;
    paths.databaseFile = stored();
    paths.workingCopy = workingCopy();
    paths.settingsFile = m_dir->filePath(QStringLiteral("store/setting.ini"));
    paths.libraryLocations = QStringList();
    auto manager = std::make_unique<CFingerManage>(nullptr, paths);
    manager->m_strDbPath = paths.databaseFile;
    manager->m_strTmpDbPath = paths.workingCopy;
    return manager;
}

void FingerManageTest::firstStart()
{
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(manager->CreateDatabase());
    QVERIFY(log.contains(QStringLiteral("Create database success and init.")));

    QCOMPARE(rows(QStringLiteral("select * from UserList")), QStringList { QStringLiteral("admin|58203716") });
    QCOMPARE(rows(QStringLiteral("select count(*) from FingerList")), QStringList { QStringLiteral("0") });
    QCOMPARE(modeOf(stored()), 0666);
    QVERIFY(!QFile::exists(workingCopy()));
    QVERIFY(m_notices->requests.isEmpty());
    // The stored file is encrypted: no SQLite header in it.
    QVERIFY(!readFile(stored()).startsWith("SQLite format 3"));

    QVERIFY(manager->OpenDatabaseForLogin());
    QCOMPARE(manager->m_userRecords.size(), 1);
    manager->GetUser();
    QCOMPARE(QByteArray(manager->m_ListUser.at(0).UserName), QByteArray("admin"));
    QCOMPARE(QByteArray(manager->m_ListUser.at(0).Password), QByteArray("58203716"));
    QVERIFY(!QFile::exists(workingCopy()));
}

void FingerManageTest::secondStartCreatesNothing()
{
    QVERIFY(makeManager()->CreateDatabase());
    auto manager = makeManager();
    manager->ChangeUserInfo(QStringLiteral("58203716"), QStringLiteral("boss"), QStringLiteral("secret"));
    const QByteArray before = readFile(stored());

    LogCapture log;
    QVERIFY(manager->CreateDatabase());
    QVERIFY(!log.contains(QStringLiteral("success and init")));
    QCOMPARE(rows(QStringLiteral("select * from UserList")), QStringList { QStringLiteral("boss|secret") });
    QCOMPARE(readFile(stored()), before);
}

void FingerManageTest::partialDatabases_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("checkSucceeds");
    QTest::addColumn<QString>("logText");
    QTest::addColumn<QString>("tablesAfter");
    QTest::addColumn<QStringList>("users");

    QTest::newRow("UserList only: FingerList added, no second admin")
        << QStringList { kBothTables.at(0), QStringLiteral("insert into UserList values('root', 'pw')") } << true
        << QString() << QStringLiteral("FingerList|UserList") << QStringList { QStringLiteral("root|pw") };
    QTest::newRow("FingerList only: not repaired")
        << QStringList { kBothTables.at(1) } << true << QString() << QStringLiteral("FingerList") << QStringList();
    QTest::newRow("another table only: both added")
        << QStringList { QStringLiteral("create table Other(x int)") } << true
        << QStringLiteral("CreateTables::Create database success and init 2.")
        << QStringLiteral("FingerList|Other|UserList") << QStringList { QStringLiteral("admin|58203716") };
    // The names are compared case-sensitively but SQLite's are not: creating UserList next to
    // userlist fails, which fails the check.
    QTest::newRow("tables named in another case")
        << QStringList { QStringLiteral("create table userlist(a)"), QStringLiteral("create table FINGERLIST(b)") }
        << false << QStringLiteral("CreateTables::Create database fail2.") << QStringLiteral("FINGERLIST|userlist")
        << QStringList();
}

void FingerManageTest::partialDatabases()
{
    QFETCH(QStringList, statements);
    QFETCH(bool, checkSucceeds);
    QFETCH(QString, logText);
    QFETCH(QString, tablesAfter);
    QFETCH(QStringList, users);

    QCOMPARE(makeStored(stored(), scratch(), statements), QString());
    auto manager = makeManager();
    LogCapture log;
    QCOMPARE(manager->CreateTables(), checkSucceeds);
    if (!logText.isEmpty())
        QVERIFY(log.hasLineStartingWith(logText));
    QCOMPARE(
        rows(QStringLiteral(
            "select group_concat(name, '|') from (select name from sqlite_master where type = 'table' order by name)")),
        QStringList { tablesAfter });
    if (!users.isEmpty())
        QCOMPARE(rows(QStringLiteral("select * from UserList")), users);
    QVERIFY(!QFile::exists(workingCopy()));
    if (checkSucceeds) {
        QCOMPARE(modeOf(stored()), 0666);
        QVERIFY(m_notices->requests.isEmpty());
    } else {
        QCOMPARE(m_notices->requests.size(), 1);
    }
}

void FingerManageTest::foreignStoredFileIsKept()
{
    // A stored file that is not our encrypted database decrypts to garbage: the check fails with
    // the warning and leaves the file as it was.
    const QByteArray garbage = QByteArray("this is not an encrypted database").repeated(40);
    QVERIFY(writeFile(stored(), garbage));
    auto manager = makeManager();
    LogCapture log;
    QVERIFY(!manager->CreateDatabase());
    QVERIFY(log.contains(QStringLiteral("CreateTables::Create database fail.")));
    QCOMPARE(m_notices->requests.size(), 1);
    const NoticeRequest& box = m_notices->requests.at(0);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("警告"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(box.parent == nullptr);
    QVERIFY(box.text.contains(QStringLiteral("not a database")));
    QCOMPARE(readFile(stored()), garbage);
    QVERIFY(!QFile::exists(workingCopy()));
}

void FingerManageTest::statementFailures_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("logText");

    const QStringList usersOnly { kBothTables.at(0) };
    const QStringList fingersOnly { kBothTables.at(1) };
    QTest::newRow("OpenDatabaseForLogin") << 0 << fingersOnly << QStringLiteral("OpenDatabase::read UserList:");
    QTest::newRow("OpenDatabaseForFinger") << 1 << usersOnly << QStringLiteral("OpenDatabase::read FingerList:");
    QTest::newRow("InsertFinger") << 2 << usersOnly << QStringLiteral("InsertFinger::read FingerList:");
    QTest::newRow("DeleteFingerInTab") << 3 << usersOnly << QStringLiteral("DeleteFinger::read FingerList:");
    QTest::newRow("DeleteAllFingerInTab") << 4 << usersOnly << QStringLiteral("DeleteFinger::read FingerList:");
    QTest::newRow("ChangeUserInfo") << 5 << fingersOnly << QStringLiteral("ChangeUserInfo::read UserList:");
}

void FingerManageTest::statementFailures()
{
    QFETCH(int, operation);
    QFETCH(QStringList, tables);
    QFETCH(QString, logText);

    QCOMPARE(makeStored(stored(), scratch(), tables), QString());
    auto manager = makeManager();
    LogCapture log;
    switch (operation) {
    case 0:
        QVERIFY(!manager->OpenDatabaseForLogin());
        break;
    case 1:
        QVERIFY(!manager->OpenDatabaseForFinger());
        break;
    case 2:
        manager->InsertFinger(1, QStringLiteral("amy"));
        break;
    case 3:
        manager->DeleteFingerInTab(1, QStringLiteral("amy"));
        break;
    case 4:
        manager->DeleteAllFingerInTab();
        break;
    case 5:
        manager->ChangeUserInfo(QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"));
        break;
    }
    QVERIFY2(log.hasLineStartingWith(logText), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(m_notices->requests.size(), 1);
    QVERIFY(m_notices->requests.at(0).text.contains(QStringLiteral("no such table")));
    // Written back all the same: still a readable database, no working copy left.
    QCOMPARE(rows(QStringLiteral("select count(*) from sqlite_master")), QStringList { QStringLiteral("1") });
    QVERIFY(!QFile::exists(workingCopy()));
}

void FingerManageTest::openTexts_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("success");
    QTest::addColumn<QString>("failure");

    QTest::newRow("CreateTables") << 0 << "CreateTables:Succeed to connect database."
                                  << "Error(CreateTables): Failed to connect database.";
    QTest::newRow("OpenDatabaseForLogin") << 1 << "OpenDatabase::Succeed to connect database."
                                          << "OpenDatabase::Error: Failed to connect database.";
    QTest::newRow("OpenDatabaseForFinger") << 2 << "OpenDatabase::Succeed to connect database."
                                           << "OpenDatabase::Error: Failed to connect database.";
    QTest::newRow("InsertFinger") << 3 << "InsertFinger:Succeed to connect database."
                                  << "InsertFinger:Error: Failed to connect database.";
    QTest::newRow("DeleteFingerInTab") << 4 << "DeleteFinger:Succeed to connect database."
                                       << "InsertFinger:Error: Failed to connect database.";
    QTest::newRow("DeleteAllFingerInTab") << 5 << "DeleteFinger:Succeed to connect database."
                                          << "InsertFinger:Error: Failed to connect database.";
    QTest::newRow("ChangeUserInfo") << 6 << "ChangeUserInfo::ChangeUserInfo:Succeed to connect database."
                                    << "ChangeUserInfo:Error: Failed to connect database.";
}

void FingerManageTest::openTexts()
{
    QFETCH(int, operation);
    QFETCH(QString, success);
    QFETCH(QString, failure);

    QVERIFY(makeManager()->CreateDatabase());
    auto run = [operation](CFingerManage& m) {
        switch (operation) {
        case 0:
            m.CreateTables();
            break;
        case 1:
            m.OpenDatabaseForLogin();
            break;
        case 2:
            m.OpenDatabaseForFinger();
            break;
        case 3:
            m.InsertFinger(3, QStringLiteral("amy"));
            break;
        case 4:
            m.DeleteFingerInTab(3, QStringLiteral("amy"));
            break;
        case 5:
            m.DeleteAllFingerInTab();
            break;
        case 6:
            m.ChangeUserInfo(QStringLiteral("58203716"), QStringLiteral("admin"), QStringLiteral("58203716"));
            break;
        }
    };

    auto manager = makeManager();
    {
        LogCapture log;
        run(*manager);
        QVERIFY2(log.lines().contains(success), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QVERIFY(!log.hasLineStartingWith(failure));
    }
    QVERIFY(m_notices->requests.isEmpty());

    // The working copy cannot be made: the operation stops after its failure text and the warning,
    // and the stored file is untouched.
    const QByteArray before = readFile(stored());
    manager->m_strTmpDbPath = m_dir->filePath(QStringLiteral("missing-dir/.fingerdata.db"));
    {
        LogCapture log;
        run(*manager);
        QVERIFY2(log.hasLineStartingWith(failure), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QVERIFY(!log.lines().contains(success));
    }
    QCOMPARE(m_notices->requests.size(), 1);
    QCOMPARE(m_notices->requests.at(0).title, QStringLiteral("警告"));
    QCOMPARE(readFile(stored()), before);
}

void FingerManageTest::namesStoredUnchanged_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("printer");

    QTest::newRow("O'Brien") << QStringLiteral("O'Brien") << QStringLiteral("Office");
    QTest::newRow("two quotes") << QStringLiteral("it''s") << QStringLiteral("Office");
    QTest::newRow("injection attempt") << QStringLiteral("x'); drop table FingerList; --") << QStringLiteral("Office");
    QTest::newRow("quote in printer name") << QStringLiteral("amy") << QStringLiteral("Bob's ZPH6100");
    QTest::newRow("double quotes, percent, backslash") << QStringLiteral("a\"b%1\\c") << QStringLiteral("p%2");
    QTest::newRow("张三 with quote") << QStringLiteral("张'三") << QStringLiteral("打印机");
    QTest::newRow("empty name") << QStringLiteral("") << QStringLiteral("Office");
}

void FingerManageTest::namesStoredUnchanged()
{
    QFETCH(QString, userName);
    QFETCH(QString, printer);

    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = printer;
    manager->InsertFinger(7, userName);
    QCOMPARE(manager->GetFingerRecordCount(), 1);
    QCOMPARE(manager->m_fingerRecords.at(0).value(QStringLiteral("UserName")).toString(), userName);

    const QList<QVariantList> stored = storedRows(
        this->stored(), scratch(), QStringLiteral("select id, typeof(id), UserName, printerName from FingerList"));
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).at(0).toInt(), 7);
    QCOMPARE(stored.at(0).at(1).toString(), QStringLiteral("integer"));
    QCOMPARE(stored.at(0).at(2).toString(), userName);
    QCOMPARE(stored.at(0).at(3).toString(), printer);
    QVERIFY(!stored.at(0).at(2).isNull());

    auto reader = makeManager();
    reader->m_printerName = printer;
    QVERIFY(reader->OpenDatabaseForFinger());
    QCOMPARE(reader->GetFingerRecordCount(), 1);

    reader->DeleteFingerInTab(7, userName);
    QCOMPARE(reader->GetFingerRecordCount(), 0);
    QCOMPARE(rows(QStringLiteral("select count(*) from FingerList")), QStringList { QStringLiteral("0") });
    QCOMPARE(rows(QStringLiteral("select count(*) from UserList")), QStringList { QStringLiteral("1") });
    QVERIFY(m_notices->requests.isEmpty());
}

void FingerManageTest::deleteDropsEveryRecordOfTheName()
{
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = QStringLiteral("P1");
    manager->InsertFinger(1, QStringLiteral("bob"));
    manager->InsertFinger(2, QStringLiteral("bob"));
    manager->InsertFinger(3, QStringLiteral("amy"));
    QCOMPARE(manager->GetFingerRecordCount(), 3);

    LogCapture log;
    manager->DeleteFingerInTab(1, QStringLiteral("bob"));
    QCOMPARE(manager->GetFingerRecordCount(), 1);
    QCOMPARE(manager->m_fingerRecords.at(0).value(QStringLiteral("UserName")).toString(), QStringLiteral("amy"));
    QVERIFY(log.lines().contains(QStringLiteral("DeleteFinger::delete 1 :i= 0")));
    // The statement itself removes only the row with that id.
    QCOMPARE(rows(QStringLiteral("select id, UserName from FingerList order by id")),
        QStringList({ QStringLiteral("2|bob"), QStringLiteral("3|amy") }));
}

void FingerManageTest::printersAreKeptApart()
{
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = QStringLiteral("A");
    manager->InsertFinger(1, QStringLiteral("amy"));
    manager->InsertFinger(2, QStringLiteral("bob"));
    manager->m_printerName = QStringLiteral("B");
    manager->InsertFinger(1, QStringLiteral("carl"));

    manager->m_printerName = QStringLiteral("nobody's printer");
    QVERIFY(manager->OpenDatabaseForFinger());
    QCOMPARE(manager->GetFingerRecordCount(), 0);

    manager->m_printerName = QStringLiteral("A");
    QVERIFY(manager->OpenDatabaseForFinger());
    QCOMPARE(manager->GetFingerRecordCount(), 2);
    manager->GetFinger();
    QCOMPARE(manager->m_ListFinger.size(), 2);
    QCOMPARE(QByteArray(manager->m_ListFinger.at(1).UserName), QByteArray("bob"));
    QCOMPARE(int(manager->m_ListFinger.at(1).ID), 2);

    manager->DeleteAllFingerInTab();
    QCOMPARE(manager->GetFingerRecordCount(), 0);
    QCOMPARE(rows(QStringLiteral("select id, UserName, printerName from FingerList")),
        QStringList { QStringLiteral("1|carl|B") });
}

void FingerManageTest::failedInsertAddsNoRecord()
{
    // A FingerList that refuses inserts: the last row read back is not the new one and must not
    // be taken for it.
    QCOMPARE(
        makeStored(stored(), scratch(),
            kBothTables
                + QStringList { QStringLiteral("insert into FingerList values(9, 'old', 'P')"),
                    QStringLiteral(
                        "create trigger refuse before insert on FingerList begin select raise(abort, 'full'); end") }),
        QString());
    auto manager = makeManager();
    manager->m_printerName = QStringLiteral("P");
    LogCapture log;
    manager->InsertFinger(1, QStringLiteral("new"));
    QCOMPARE(manager->GetFingerRecordCount(), 0);
    QVERIFY(m_notices->requests.isEmpty());
    QCOMPARE(rows(QStringLiteral("select id, UserName from FingerList")), QStringList { QStringLiteral("9|old") });
}

void FingerManageTest::changeUserInfo_data()
{
    QTest::addColumn<QStringList>("accounts");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("the admin account") << QStringList { QStringLiteral("('admin', '58203716')") }
                                       << QStringLiteral("58203716") << QStringList { QStringLiteral("boss|n'ew") };
    QTest::newRow("password matches none")
        << QStringList { QStringLiteral("('admin', '58203716')") } << QStringLiteral("wrong")
        << QStringList({ QStringLiteral("admin|58203716"), QStringLiteral("boss|n'ew") });
    QTest::newRow("password shared by two rows")
        << QStringList(
               { QStringLiteral("('a', 'same')"), QStringLiteral("('b', 'same')"), QStringLiteral("('c', 'other')") })
        << QStringLiteral("same") << QStringList({ QStringLiteral("c|other"), QStringLiteral("boss|n'ew") });
    QTest::newRow("password with a quote") << QStringList { QStringLiteral("('q', 'it''s')") } << QStringLiteral("it's")
                                           << QStringList { QStringLiteral("boss|n'ew") };
}

void FingerManageTest::changeUserInfo()
{
    QFETCH(QStringList, accounts);
    QFETCH(QString, oldPassword);
    QFETCH(QStringList, after);

    QStringList statements = kBothTables;
    for (const QString& account : accounts)
        statements << QStringLiteral("insert into UserList values") + account;
    QCOMPARE(makeStored(stored(), scratch(), statements), QString());

    auto manager = makeManager();
    LogCapture log;
    manager->ChangeUserInfo(oldPassword, QStringLiteral("boss"), QStringLiteral("n'ew"));
    QVERIFY(log.hasLineStartingWith(QStringLiteral("ChangeUserInfo::insert into UserList:")));
    QCOMPARE(rows(QStringLiteral("select * from UserList")), after);
    QCOMPARE(manager->m_userRecords.size(), 1);
    QCOMPARE(manager->m_userRecords.at(0).value(QStringLiteral("UserName")).toString(), QStringLiteral("boss"));
    QCOMPARE(manager->m_userRecords.at(0).value(QStringLiteral("Passowrd")).toString(), QStringLiteral("n'ew"));
}

void FingerManageTest::listsFromRecords()
{
    const QString longName = QString(20, QChar(0x5f20)); // 20 x 张: 40 bytes in GB18030
    QCOMPARE(makeStored(stored(), scratch(),
                 kBothTables
                     + QStringList { QStringLiteral("insert into UserList values('%1', '12345678901234567890')")
                                         .arg(longName),
                         QStringLiteral("insert into UserList values('张三', '密码')"),
                         QStringLiteral("insert into FingerList values(70000, '%1', 'P')").arg(longName),
                         QStringLiteral("insert into FingerList values(5, '张三', 'P')") }),
        QString());
    auto manager = makeManager();
    QVERIFY(manager->OpenDatabaseForLogin());
    manager->m_printerName = QStringLiteral("P");
    QVERIFY(manager->OpenDatabaseForFinger());
    manager->GetUser();
    manager->GetFinger();

    const QByteArray sixteen = QByteArray::fromHex("d5c5").repeated(16);
    QCOMPARE(manager->m_ListUser.size(), 2);
    QCOMPARE(QByteArray(manager->m_ListUser.at(0).UserName), sixteen);
    QCOMPARE(QByteArray(manager->m_ListUser.at(0).Password), QByteArray("1234567890123456"));
    QCOMPARE(QByteArray(manager->m_ListUser.at(1).UserName).toHex(), QByteArray("d5c5c8fd"));
    // Six bytes of 密码 fit; a seventh could not.
    QCOMPARE(QByteArray(manager->m_ListUser.at(1).Password), QStringLiteral("密码").toUtf8());

    QCOMPARE(manager->m_ListFinger.size(), 2);
    QCOMPARE(QByteArray(manager->m_ListFinger.at(0).UserName), sixteen);
    QCOMPARE(int(manager->m_ListFinger.at(0).ID), 70000 & 0xffff);
    QCOMPARE(QByteArray(manager->m_ListFinger.at(1).UserName).toHex(), QByteArray("d5c5c8fd"));
    QCOMPARE(int(manager->m_ListFinger.at(1).ID), 5);
}

void FingerManageTest::qstringToCharArray_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("张三 into 64") << QStringLiteral("张三") << 64 << QByteArray::fromHex("d5c5c8fd");
    QTest::newRow("long name into 64: 32 bytes") << QString(40, QLatin1Char('n')) << 64 << QByteArray(32, 'n');
    QTest::newRow("size not used above 33") << QString(40, QLatin1Char('n')) << 1000 << QByteArray(32, 'n');
    QTest::newRow("small field of 9: 8 bytes, whole characters")
        << QStringLiteral("abc张三李四") << 9 << QByteArray::fromHex("616263d5c5c8fd");
}

void FingerManageTest::qstringToCharArray()
{
    QFETCH(QString, text);
    QFETCH(int, size);
    QFETCH(QByteArray, expected);

    auto manager = makeManager();
    QByteArray buffer(80, '\x5a');
    const int written = manager->QString2CharArray(text, buffer.data(), size);
    QCOMPARE(written, int(expected.size()));
    QCOMPARE(buffer.left(written).toHex(), expected.toHex());
    const int field = size < 33 ? size : 33;
    QCOMPARE(buffer.mid(written, field - written), QByteArray(field - written, '\0'));
    QCOMPARE(buffer.mid(field), QByteArray(80 - field, '\x5a'));
}

QString FingerManageTest::fdlRecord(const QByteArray& name, quint16 id) const
{
    QByteArray record(kFingerDataRecordSize, '\x77');
    record.replace(0, 32, QByteArray(32, '\0'));
    record.replace(0, name.size(), name);
    record[32] = char(id & 0xff);
    record[33] = char(id >> 8);
    return QString::fromLatin1(record.toHex());
}

void FingerManageTest::updateFingData_data()
{
    QTest::addColumn<QStringList>("records"); // hex of whole records
    QTest::addColumn<int>("extraBytes");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QStringList>("listAfter");

    const QStringList start { QStringLiteral("1|amy|P") };
    QTest::newRow("missing file") << QStringList() << 0 << false << start << QStringList { QStringLiteral("amy/1") };
    QTest::newRow("empty file") << QStringList() << 0 << true << start << QStringList { QStringLiteral("amy/1") };
    QTest::newRow("two records and a partial one")
        << QStringList { fdlRecord("bob", 2), fdlRecord(QByteArray::fromHex("d5c5c8fd"), 0x1234) } << 100 << true
        << QStringList({ QStringLiteral("1|amy|P"), QStringLiteral("2|bob|P"), QStringLiteral("4660|张三|P") })
        << QStringList({ QStringLiteral("amy/1"), QStringLiteral("bob/2"), QStringLiteral("张三/4660") });
    QTest::newRow("shorter than one record")
        << QStringList() << 545 << true << start << QStringList { QStringLiteral("amy/1") };
    QTest::newRow("known name, same id: replaced")
        << QStringList { fdlRecord("amy", 1) } << 0 << true << start << QStringList { QStringLiteral("amy/1") };
    QTest::newRow("same name twice in the file")
        << QStringList { fdlRecord("carl", 8), fdlRecord("carl", 8) } << 0 << true
        << QStringList({ QStringLiteral("1|amy|P"), QStringLiteral("8|carl|P") })
        << QStringList({ QStringLiteral("amy/1"), QStringLiteral("carl/8") });
    QTest::newRow("32-byte name without terminator")
        << QStringList { fdlRecord(QByteArray(32, 'L'), 3) } << 0 << true
        << QStringList({ QStringLiteral("1|amy|P"),
               QStringLiteral("3|") + QString(32, QLatin1Char('L')) + QStringLiteral("|P") })
        << QStringList({ QStringLiteral("amy/1"), QString(32, QLatin1Char('L')) + QStringLiteral("/3") });
}

void FingerManageTest::updateFingData()
{
    QFETCH(QStringList, records);
    QFETCH(int, extraBytes);
    QFETCH(bool, fileExists);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QStringList, listAfter);

    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = QStringLiteral("P");
    manager->InsertFinger(1, QStringLiteral("amy"));
    manager->GetFinger();

    const QString fdl = m_dir->filePath(QStringLiteral("export.fdl"));
    if (fileExists) {
        QByteArray data;
        for (const QString& hex : records)
            data += QByteArray::fromHex(hex.toLatin1());
        data += QByteArray(extraBytes, '\x01');
        QVERIFY(writeFile(fdl, data));
    }
    manager->UpdateFingData(fdl);

    QCOMPARE(rows(QStringLiteral("select id, UserName, printerName from FingerList order by rowid")), rowsAfter);
    QStringList list;
    for (const _FINGER_LIST& finger : std::as_const(manager->m_ListFinger))
        list << CharsetFuncs::fromGB18030(finger.UserName, 32) + QStringLiteral("/") + QString::number(finger.ID);
    QCOMPARE(list, listAfter);
    QVERIFY(m_notices->requests.isEmpty());
}

void FingerManageTest::workingCopyIsPrivate_data()
{
    QTest::addColumn<QString>("before");

    QTest::newRow("nothing there") << QString();
    QTest::newRow("stale copy from a crash") << QStringLiteral("stale");
    QTest::newRow("symbolic link to another file") << QStringLiteral("symlink");
    QTest::newRow("dangling symbolic link") << QStringLiteral("dangling");
}

void FingerManageTest::workingCopyIsPrivate()
{
    QFETCH(QString, before);

    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());

    const QString victim = m_dir->filePath(QStringLiteral("victim"));
    const QString danglingTarget = m_dir->filePath(QStringLiteral("created-through-link"));
    if (before == QLatin1String("stale")) {
        QVERIFY(writeFile(workingCopy(), QByteArray("garbage left behind").repeated(100)));
        QVERIFY(setMode(workingCopy(), 0777));
    } else if (before == QLatin1String("symlink")) {
        QVERIFY(writeFile(victim, "precious"));
        QVERIFY(QFile::link(victim, workingCopy()));
    } else if (before == QLatin1String("dangling")) {
        QVERIFY(QFile::link(danglingTarget, workingCopy()));
    }

    g_workingCopyModes.clear();
    g_workingCopyPath = workingCopy();
    g_storedPath = stored();
    SecureFile::setStepHook(&observeWriteBack);
    manager->m_printerName = QStringLiteral("P");
    manager->InsertFinger(4, QStringLiteral("dan"));
    SecureFile::setStepHook(nullptr);

    QVERIFY(!g_workingCopyModes.isEmpty());
    for (int mode : std::as_const(g_workingCopyModes))
        QCOMPARE(mode, 0600);
    QCOMPARE(manager->GetFingerRecordCount(), 1);
    QCOMPARE(rows(QStringLiteral("select id, UserName from FingerList")), QStringList { QStringLiteral("4|dan") });
    QVERIFY(!QFileInfo::exists(workingCopy()) && !QFileInfo(workingCopy()).isSymLink());
    if (before == QLatin1String("symlink"))
        QCOMPARE(readFile(victim), QByteArray("precious"));
    QVERIFY(!QFile::exists(danglingTarget));
    QVERIFY(m_notices->requests.isEmpty());
}

void FingerManageTest::writeBackReplacesAndKeepsMode()
{
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    QVERIFY(setMode(stored(), 0640));
    const qint64 inode = inodeOf(stored());
    const QByteArray old = readFile(stored());

    g_storedAtSync.clear();
    g_workingCopyPath = workingCopy();
    g_storedPath = stored();
    SecureFile::setStepHook(&observeWriteBack);
    manager->m_printerName = QStringLiteral("P");
    manager->InsertFinger(1, QStringLiteral("amy"));
    SecureFile::setStepHook(nullptr);

    // While the new file was being completed, the stored one still held the old content.
    QCOMPARE(g_storedAtSync, old);
    QVERIFY(readFile(stored()) != old);
    QVERIFY(inodeOf(stored()) != inode);
    QCOMPARE(modeOf(stored()), 0640);
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("store")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("fingerdata.db") });
    QCOMPARE(rows(QStringLiteral("select UserName from FingerList")), QStringList { QStringLiteral("amy") });

    // The table check makes it writable for everybody again.
    QVERIFY(manager->CreateTables());
    QCOMPARE(modeOf(stored()), 0666);
}

void FingerManageTest::writeBackInPlaceWhenDirectoryIsReadOnly()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run a part of the test as another user");
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    // The installation's layout: a directory only root may write, a database file anybody may.
    QVERIFY(setMode(m_dir->path(), 0755));
    QVERIFY(setMode(m_dir->filePath(QStringLiteral("store")), 0755));
    QVERIFY(setMode(m_dir->filePath(QStringLiteral("work")), 01777));
    const qint64 inode = inodeOf(stored());

    const int code = runAsNobody([&]() {
        auto other = makeManager();
        other->m_printerName = QStringLiteral("P");
        other->InsertFinger(5, QStringLiteral("eve"));
        if (other->GetFingerRecordCount() != 1)
            return 1;
        return m_notices->requests.isEmpty() ? 0 : 2;
    });
    QCOMPARE(code, 0);
    QCOMPARE(inodeOf(stored()), inode);
    QCOMPARE(modeOf(stored()), 0666);
    QCOMPARE(rows(QStringLiteral("select id, UserName from FingerList")), QStringList { QStringLiteral("5|eve") });
    QVERIFY(!QFile::exists(workingCopy()));
}

void FingerManageTest::unreadableStoredFileIsNotReplaced()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run a part of the test as another user");
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = QStringLiteral("P");
    manager->InsertFinger(1, QStringLiteral("amy"));
    // Readable only by root, in a directory anybody may write: an empty working copy written back
    // by rename would have replaced the whole database.
    QVERIFY(setMode(stored(), 0600));
    QVERIFY(setMode(m_dir->path(), 0755));
    QVERIFY(setMode(m_dir->filePath(QStringLiteral("store")), 01777));
    QVERIFY(setMode(m_dir->filePath(QStringLiteral("work")), 01777));
    const QByteArray before = readFile(stored());

    const int code = runAsNobody([&]() {
        auto other = makeManager();
        if (other->CreateDatabase())
            return 1;
        other->m_printerName = QStringLiteral("P");
        other->InsertFinger(2, QStringLiteral("eve"));
        return m_notices->requests.size() == 2 ? 0 : 3;
    });
    QCOMPARE(code, 0);
    QCOMPARE(readFile(stored()), before);
    QCOMPARE(rows(QStringLiteral("select id, UserName from FingerList")), QStringList { QStringLiteral("1|amy") });
}

void FingerManageTest::replacementOfLinks_data()
{
    QTest::addColumn<SecureFile::Mode>("mode");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("victimReplaced");
    QTest::newRow("database through its link") << SecureFile::Mode::FollowLink << true << true;
    QTest::newRow("export over a planted link") << SecureFile::Mode::ReplaceLink << true << false;
    QTest::newRow("export to a new file") << SecureFile::Mode::ReplaceLink << false << false;
}

// A followed link keeps the target's mode; a replaced link and a new file follow the umask.
void FingerManageTest::replacementOfLinks()
{
    QFETCH(SecureFile::Mode, mode);
    QFETCH(bool, linked);
    QFETCH(bool, victimReplaced);
    const QString victim = m_dir->filePath(QStringLiteral("victim"));
    const QString path = m_dir->filePath(QStringLiteral("target"));
    QVERIFY(writeFile(victim, "victim's content"));
    QVERIFY(setMode(victim, 0600));
    if (linked)
        QVERIFY(QFile::link(victim, path));

    const mode_t umaskBefore = ::umask(027);
    const SecureFile::WriteResult result = SecureFile::replaceContent(path, "new content", nullptr, mode);
    ::umask(umaskBefore);

    QVERIFY(result == SecureFile::WriteResult::Replaced);
    QCOMPARE(readFile(path), QByteArray("new content"));
    QCOMPARE(readFile(victim), victimReplaced ? QByteArray("new content") : QByteArray("victim's content"));
    QCOMPARE(QFileInfo(path).isSymLink(), victimReplaced);
    QCOMPARE(modeOf(victimReplaced ? victim : path), victimReplaced ? 0600 : 0640);
    QCOMPARE(modeOf(victim), 0600);
}

void FingerManageTest::failuresAreReported_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("CreateDatabase") << 0;
    QTest::newRow("InsertFinger") << 1;
    QTest::newRow("DeleteAllFingerInTab") << 2;
}

// A failing operation returns false; its warning text is both handed to the warning handler and
// left in lastError().
void FingerManageTest::failuresAreReported()
{
    QFETCH(int, operation);
    if (operation == 0)
        QVERIFY(writeFile(stored(), QByteArray("this is not an encrypted database").repeated(40)));
    else
        QCOMPARE(makeStored(stored(), scratch(), { kBothTables.at(0) }), QString());
    QStringList handed;
    const CFingerManage::WarningHandler previous
        = CFingerManage::setWarningHandler([&](const QString& text) { handed << text; });
    auto manager = makeManager();
    bool result = true;
    switch (operation) {
    case 0:
        result = manager->CreateDatabase();
        break;
    case 1:
        result = manager->InsertFinger(1, QStringLiteral("amy"));
        break;
    case 2:
        result = manager->DeleteAllFingerInTab();
        break;
    }
    CFingerManage::setWarningHandler(previous);
    QVERIFY(!result);
    QCOMPARE(handed.size(), 1);
    QVERIFY(!handed.first().isEmpty());
    QCOMPARE(manager->lastError(), handed.first());
    // The handler answers instead of the box.
    QVERIFY(m_notices->requests.isEmpty());
}

QTEST_GUILESS_MAIN(FingerManageTest)
#include "tst_fingermanage.moc"
