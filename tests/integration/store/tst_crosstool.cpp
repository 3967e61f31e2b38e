// The stored database against independent tools: a database written by CFingerManage is
// decrypted by the openssl command and read by the sqlite3 command, and a database made by
// sqlite3 and encrypted by openssl is read and extended by CFingerManage.

#include "StoreTestSupport.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace StoreTest;

namespace
{

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(30000)) {
        result.err = "did not finish";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QStringList desArguments(bool encrypt, const QString& in, const QString& out)
{
    return { QStringLiteral("enc"), encrypt ? QStringLiteral("-e") : QStringLiteral("-d"), QStringLiteral("-des-ecb"),
        QStringLiteral("-K"), QStringLiteral("0409010600050207"), QStringLiteral("-provider"), QStringLiteral("legacy"),
        QStringLiteral("-provider"), QStringLiteral("default"), QStringLiteral("-in"), in, QStringLiteral("-out"),
        out };
}

} // namespace

class CrossToolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void writtenByUsReadByTools();
    void writtenByToolsReadByUs();

private:
    std::unique_ptr<CFingerManage> makeManager();
    QString path(const QString& name) const { return m_dir->filePath(name); }

    QString m_openssl;
    QString m_sqlite3;
    std::unique_ptr<QTemporaryDir> m_dir;
    NoticeRecorder m_notices;
};

void CrossToolTest::initTestCase()
{
    m_openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    m_sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    QVERIFY2(!m_openssl.isEmpty(), "the openssl command is needed (scripts/setup.sh installs it)");
    QVERIFY2(!m_sqlite3.isEmpty(), "the sqlite3 command is needed (scripts/setup.sh installs it)");
}

void CrossToolTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_notices.requests.clear();
}

std::unique_ptr<CFingerManage> CrossToolTest::makeManager()
{
    FingerManagePaths paths;
    paths.databaseFile = path(QStringLiteral("fingerdata.db"));
    paths.workingCopy = path(QStringLiteral(".work.db"));
    auto manager = std::make_unique<CFingerManage>(nullptr, paths);
    manager->m_strDbPath = paths.databaseFile;
    manager->m_strTmpDbPath = paths.workingCopy;
    return manager;
}

void CrossToolTest::writtenByUsReadByTools()
{
    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    manager->m_printerName = QStringLiteral("Bob's printer");
    manager->InsertFinger(12, QStringLiteral("O'Brien"));
    manager->InsertFinger(13, QStringLiteral("张三"));
    manager->ChangeUserInfo(QStringLiteral("58203716"), QStringLiteral("chief"), QStringLiteral("pa'ss"));

    const Run decrypt = run(m_openssl, desArguments(false, manager->m_strDbPath, path(QStringLiteral("plain.db"))));
    QVERIFY2(decrypt.exitCode == 0, decrypt.err.constData());
    const Run check = run(m_sqlite3, { path(QStringLiteral("plain.db")), QStringLiteral("pragma integrity_check;") });
    QCOMPARE(check.out, QByteArray("ok\n"));
    const Run users = run(m_sqlite3, { path(QStringLiteral("plain.db")), QStringLiteral("select * from UserList;") });
    QCOMPARE(users.out, QByteArray("chief|pa'ss\n"));
    const Run fingers = run(m_sqlite3,
        { path(QStringLiteral("plain.db")),
            QStringLiteral("select id, typeof(id), UserName, printerName from FingerList;") });
    QCOMPARE(QString::fromUtf8(fingers.out),
        QStringLiteral("12|integer|O'Brien|Bob's printer\n13|integer|张三|Bob's printer\n"));
    const Run schema = run(m_sqlite3, { path(QStringLiteral("plain.db")), QStringLiteral(".schema") });
    QCOMPARE(schema.out,
        QByteArray("CREATE TABLE UserList(UserName  varchar(255), Passowrd varchar(32));\n"
                   "CREATE TABLE FingerList(id int, UserName varchar(255), printerName varchar(255));\n"));
    QVERIFY(m_notices.requests.isEmpty());
}

void CrossToolTest::writtenByToolsReadByUs()
{
    const Run create = run(m_sqlite3,
        { path(QStringLiteral("made.db")),
            QStringLiteral("create table UserList(UserName  varchar(255), Passowrd varchar(32));"
                           "create table FingerList(id int, UserName varchar(255), printerName varchar(255));"
                           "insert into UserList values('李四', 'li''pw');"
                           "insert into FingerList values(3, 'amy', 'Office');"
                           "insert into FingerList values(4, 'bo''b', 'Office');"
                           "insert into FingerList values(5, 'carl', 'Lab');") });
    QVERIFY2(create.exitCode == 0, create.err.constData());
    const Run encrypt
        = run(m_openssl, desArguments(true, path(QStringLiteral("made.db")), path(QStringLiteral("fingerdata.db"))));
    QVERIFY2(encrypt.exitCode == 0, encrypt.err.constData());

    auto manager = makeManager();
    QVERIFY(manager->CreateDatabase());
    QVERIFY(manager->OpenDatabaseForLogin());
    manager->GetUser();
    QCOMPARE(manager->m_ListUser.size(), 1);
    QCOMPARE(CharsetFuncs::fromGB18030(manager->m_ListUser.at(0).UserName), QStringLiteral("李四"));
    QCOMPARE(QByteArray(manager->m_ListUser.at(0).Password), QByteArray("li'pw"));

    manager->m_printerName = QStringLiteral("Office");
    QVERIFY(manager->OpenDatabaseForFinger());
    manager->GetFinger();
    QCOMPARE(manager->m_ListFinger.size(), 2);
    QCOMPARE(QByteArray(manager->m_ListFinger.at(1).UserName), QByteArray("bo'b"));
    QCOMPARE(int(manager->m_ListFinger.at(1).ID), 4);

    manager->DeleteFingerInTab(4, QStringLiteral("bo'b"));
    manager->InsertFinger(6, QStringLiteral("dee"));

    const Run decrypt = run(m_openssl, desArguments(false, manager->m_strDbPath, path(QStringLiteral("back.db"))));
    QVERIFY2(decrypt.exitCode == 0, decrypt.err.constData());
    const Run fingers
        = run(m_sqlite3, { path(QStringLiteral("back.db")), QStringLiteral("select * from FingerList order by id;") });
    QCOMPARE(fingers.out, QByteArray("3|amy|Office\n5|carl|Lab\n6|dee|Office\n"));
    QVERIFY(m_notices.requests.isEmpty());
}

QTEST_GUILESS_MAIN(CrossToolTest)
#include "tst_crosstool.moc"
