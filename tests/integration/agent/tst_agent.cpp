// The desktop agent in this process, spoken to over its socket the way the backend speaks to it:
// a stand-in window program that notes the status file it was given. Which peers it takes, what it
// answers and what it leaves in its status file when a conversation ends early.

#include "AgentMessages.h"
#include "AgentServer.h"

#include <QLocalSocket>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class AgentTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void conversation_data();
    void conversation();
    void socketIsPrivate();

private:
    // In the agent's own folder under the runtime folder, as the agent chooses it.
    QString statusFile() const { return m_dir->filePath(QStringLiteral("vrkt7x/status.conf")); }
    QString windowNote() const { return m_dir->filePath(QStringLiteral("window-status-file")); }
    QString fpverify() const { return m_dir->filePath(QStringLiteral("window.sh")); }
    QByteArray readLine(QLocalSocket& socket);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void AgentTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QFile script(fpverify());
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\nprintf %s \"$VRKT7X_STATUS_FILE\" > '" + QFile::encodeName(windowNote()) + "'\nexec sleep 20\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
}

QByteArray AgentTest::readLine(QLocalSocket& socket)
{
    // The agent runs on this thread: wait with its events going.
    QDeadlineTimer deadline(3000);
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        QTest::qWait(10);
    return socket.canReadLine() ? socket.readLine() : QByteArray();
}

void AgentTest::conversation_data()
{
    // What the backend sends after SHOW (empty: it just hangs up), what the window writes as
    // "status" meanwhile, and what the agent must answer and leave behind.
    // setup: "", "no-window-program", "foreign-status-file", "linked-status-file", "stale", "other-peer"
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("windowStatus");
    QTest::addColumn<QByteArray>("then");
    QTest::addColumn<QByteArray>("answer"); // first line of the agent ("" = connection closed)
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<int>("result"); // "result" in the job's group afterwards, 0 none

    QTest::newRow("verified") << "" << 0 << QByteArray("RESULT 1\n") << QByteArray("SHOWN\n") << QByteArray() << 1;
    QTest::newRow("cancel in the window")
        << "" << 3 << QByteArray("RESULT 3\n") << QByteArray("SHOWN\n") << QByteArray("STATUS 3\n") << 3;
    QTest::newRow("window ran out") << "" << 5 << QByteArray("RESULT 5\n") << QByteArray("SHOWN\n")
                                    << QByteArray("STATUS 5\n") << 5;
    QTest::newRow("backend hangs up") << "" << 0 << QByteArray() << QByteArray("SHOWN\n") << QByteArray() << 4;
    QTest::newRow("malformed after show")
        << "" << 0 << QByteArray("RESULT six\n") << QByteArray("SHOWN\n") << QByteArray() << 4;
    QTest::newRow("second show") << "" << 0 << QByteArray("SHOW start://Q?jobid=9&time_val=30\n")
                                 << QByteArray("SHOWN\n") << QByteArray() << 4;
    QTest::newRow("line too long") << "" << 0 << QByteArray(600, 'R') << QByteArray("SHOWN\n") << QByteArray() << 4;
    QTest::newRow("stale group removed") << "stale" << 0 << QByteArray() << QByteArray("SHOWN\n") << QByteArray() << 4;
    QTest::newRow("no window program") << "no-window-program" << 0 << QByteArray("RESULT 2\n")
                                       << QByteArray("NOWINDOW fpverify could not be started\n") << QByteArray() << 0;
    QTest::newRow("status file of another user")
        << "foreign-status-file" << 0 << QByteArray("RESULT 2\n")
        << QByteArray("NOWINDOW status file belongs to uid 65534\n") << QByteArray() << 2;
    // The result stays in the file the link points at, which the agent neither reads nor writes.
    QTest::newRow("link at the status file's name")
        << "linked-status-file" << 0 << QByteArray("RESULT 1\n")
        << QByteArray("NOWINDOW status file is a symbolic link\n") << QByteArray() << 2;
    QTest::newRow("peer is not the backend's uid")
        << "other-peer" << 0 << QByteArray() << QByteArray() << QByteArray() << 0;
}

void AgentTest::conversation()
{
    QFETCH(QString, setup);
    QFETCH(int, windowStatus);
    QFETCH(QByteArray, then);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, statusLine);
    QFETCH(int, result);
    const int job = 17;

    AgentServer::Config config;
    config.runtimeDir = m_dir->path();
    config.fpverify = setup == "no-window-program" ? m_dir->filePath(QStringLiteral("missing")) : fpverify();
    config.acceptedUid = setup == "other-peer" ? ::geteuid() + 4242 : ::geteuid();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("vrkt7x")));
    const QString target = setup == "linked-status-file" ? m_dir->filePath(QStringLiteral("elsewhere")) : statusFile();
    if (target != statusFile())
        QVERIFY(QFile::link(target, statusFile()));
    if (setup == "stale" || setup == "foreign-status-file" || setup == "linked-status-file") {
        QSettings stale(target, QSettings::NativeFormat);
        stale.setValue(QStringLiteral("17/result"), 2);
        stale.setValue(QStringLiteral("17/status"), 3);
    }
    if (setup == "foreign-status-file")
        QVERIFY(::chown(QFile::encodeName(statusFile()).constData(), 65534, 65534) == 0);

    AgentServer server(config);
    QVERIFY2(server.listen(), qPrintable(server.errorString()));
    QLocalSocket socket;
    socket.connectToServer(server.socketPath());
    QTRY_COMPARE(socket.state(), QLocalSocket::ConnectedState);
    socket.write(AgentMessages::showLine(QStringLiteral("Office"), job, 30));
    socket.flush();
    QCOMPARE(readLine(socket), answer);
    if (answer == "SHOWN\n") {
        // The window was told to use the agent's own file.
        const auto note = [this] {
            QFile file(windowNote());
            return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
        };
        QTRY_COMPARE(note(), statusFile());
    }
    if (answer.isEmpty()) {
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        return;
    }
    if (windowStatus) {
        QSettings window(statusFile(), QSettings::NativeFormat);
        window.setValue(QStringLiteral("17/status"), windowStatus);
        window.sync();
        QCOMPARE(readLine(socket), statusLine);
    }
    if (setup == "stale")
        QCOMPARE(QSettings(statusFile(), QSettings::NativeFormat).value(QStringLiteral("17/result")), QVariant());
    if (then.isEmpty())
        socket.disconnectFromServer();
    else
        socket.write(then);
    socket.flush();
    // The agent ends the conversation; the result is there by then.
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(
        QSettings(target, QSettings::NativeFormat).value(QStringLiteral("17/result")).toInt(), result, 3000);
}

void AgentTest::socketIsPrivate()
{
    AgentServer::Config config;
    config.runtimeDir = m_dir->path();
    config.fpverify = fpverify();
    AgentServer server(config);
    QVERIFY2(server.listen(), qPrintable(server.errorString()));
    struct stat folder, socket;
    QCOMPARE(::lstat(QFile::encodeName(QFileInfo(server.socketPath()).path()).constData(), &folder), 0);
    QCOMPARE(::lstat(QFile::encodeName(server.socketPath()).constData(), &socket), 0);
    QCOMPARE(folder.st_mode & 07777, mode_t(0700));
    QVERIFY(S_ISSOCK(socket.st_mode));
    QCOMPARE(socket.st_mode & 07777, mode_t(0600));
    // A second agent of the same user does not take the socket over.
    AgentServer second(config);
    QVERIFY(!second.listen());
}

QTEST_GUILESS_MAIN(AgentTest)
#include "tst_agent.moc"
