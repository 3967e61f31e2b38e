// The real fpmanager program, end to end: inside the private namespace with its real paths, the
// real library at /usr/lib/libvrkt7xcommon.so (an overlay over /usr/lib), a private cupsd with
// supported queues on two simulated USB printers (this test runs itself under "fpsim usb"), and a
// real X server (Xvfb) on which xdotool types and clicks like the administrator.
#include "CupsSandbox.h"
#include "SimulatedPrinters.h"
#include "XvfbServer.h"
#include "store/DesCryption.h"
#include "store/FpmanagerPaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <csignal>
#include <sched.h>
#include <sys/stat.h>

using fpsim::ControlClient;

namespace
{

const QString kModel = QStringLiteral("Simulated ZPH6100RMX Series");
const QString kUriA = QStringLiteral("usb://Simulated/ZPH6100RMX?serial=SIM0001");
const QString kUriB = QStringLiteral("usb://Simulated/ZPH6100RMX?serial=SIM0002");
const QString kInstalledLibrary = QStringLiteral("/usr/lib/libvrkt7xcommon.so");

QProcessEnvironment withoutPreload()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    return env;
}

// xdotool against our X server; its output, or a null array on failure.
QByteArray xdotool(const QStringList& args, int timeoutMs = 15000)
{
    QProcess process;
    process.setProcessEnvironment(withoutPreload());
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return QByteArray();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QByteArray();
    const QByteArray out = process.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

// The id of the visible window whose title is exactly title, waiting up to timeoutMs.
QByteArray waitForWindow(const QString& title, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    while (timer.elapsed() < timeoutMs) {
        const QByteArray out = xdotool({ "search", "--onlyvisible", "--name", pattern });
        if (!out.trimmed().isEmpty())
            return out.trimmed().split('\n').last();
        QTest::qWait(100);
    }
    QStringList shown;
    for (const QByteArray& id : xdotool({ "search", "--onlyvisible", "--name", "." }).trimmed().split('\n'))
        shown << QString::fromUtf8(xdotool({ "getwindowname", QString::fromLatin1(id) }).trimmed());
    qWarning() << "no window" << title << "after" << timer.elapsed() << "ms; visible:" << shown;
    return QByteArray();
}

QRect windowGeometry(const QByteArray& id)
{
    QRect rect;
    for (const QByteArray& line : xdotool({ "getwindowgeometry", "--shell", QString::fromLatin1(id) }).split('\n')) {
        const QList<QByteArray> pair = line.split('=');
        if (pair.size() != 2)
            continue;
        const int value = pair.at(1).toInt();
        if (pair.at(0) == "X")
            rect.moveLeft(value);
        else if (pair.at(0) == "Y")
            rect.moveTop(value);
        else if (pair.at(0) == "WIDTH")
            rect.setWidth(value);
        else if (pair.at(0) == "HEIGHT")
            rect.setHeight(value);
    }
    return rect;
}

bool typeInto(const QByteArray& window, const QStringList& steps)
{
    if (xdotool({ "windowfocus", "--sync", QString::fromLatin1(window) }).isNull())
        return false;
    for (const QString& step : steps) {
        const bool key = step.startsWith(QLatin1String("key:"));
        const QStringList args
            = key ? QStringList { "key", step.mid(4) } : QStringList { "type", "--delay", "30", step };
        if (xdotool(args).isNull())
            return false;
    }
    return true;
}

bool clickAt(const QPoint& point)
{
    return !xdotool({ "mousemove", "--sync", QString::number(point.x()), QString::number(point.y()), "click", "1" })
                .isNull();
}

void saveScreen(const QString& name, const QRect& area)
{
    QTest::qWait(200);
    const QImage image
        = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR", QStringLiteral(VRKT_SOURCE_DIR "/build/artifacts"));
    QDir().mkpath(dir);
    image.save(QDir(dir).filePath(name), "PNG");
}

// The accounts in the stored (encrypted) database, read independently of the program.
QStringList storedAccounts()
{
    QFile stored(QString::fromLatin1(FpmanagerPaths::kDatabaseFile));
    if (!stored.open(QIODevice::ReadOnly))
        return { QStringLiteral("(no database)") };
    const QString plainPath = QDir::tempPath() + QStringLiteral("/program-readback.db");
    {
        QFile plain(plainPath);
        if (!plain.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        plain.write(DesCryption().decryptData(stored.readAll()));
    }
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("readback"));
        db.setDatabaseName(plainPath);
        if (db.open()) {
            QSqlQuery query(QStringLiteral("select UserName, Passowrd from UserList"), db);
            while (query.next())
                rows << query.value(0).toString() + QLatin1Char('/') + query.value(1).toString();
            QSqlQuery tables(QStringLiteral("select name from sqlite_master where type = 'table' order by name"), db);
            while (tables.next())
                rows << QStringLiteral("table ") + tables.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("readback"));
    QFile::remove(plainPath);
    return rows;
}

class Fpmanager
{
public:
    explicit Fpmanager(const QByteArray& platform = "xcb")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
#if defined(__SANITIZE_ADDRESS__)
        // fpmanager unloads the library at exit; LeakSanitizer then no longer sees the memory that
        // the library's (and libcups') globals still held and reports it from "<unknown module>".
        // Preloaded, the library stays mapped to the end and every real leak keeps its stack.
        if (QFile::exists(kInstalledLibrary))
            env.insert(QStringLiteral("LD_PRELOAD"),
                env.value(QStringLiteral("LD_PRELOAD")) + QLatin1Char(' ') + kInstalledLibrary);
#endif
        m_process.setProcessEnvironment(env);
    }
    ~Fpmanager()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    bool start()
    {
        m_process.start(QStringLiteral(FPMANAGER_PROGRAM), QStringList());
        return m_process.waitForStarted();
    }
    bool finishes(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }
    bool running() const { return m_process.state() == QProcess::Running; }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1000; }
    QByteArray output() { return m_process.readAllStandardError() + m_process.readAllStandardOutput(); }
    void killHard()
    {
        const qint64 pid = m_process.processId();
        if (m_process.state() == QProcess::Running && pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
};

} // namespace

class TestFpmanagerProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutLibraryEndsQuietly();
    void firstStartWithoutPrinter();
    void loginListsPrintersAndSwitches();
    void startsAgainAfterBeingKilled();

private:
    bool installLibrary();

    CupsSandbox m_cups;
    ControlClient m_a;
    ControlClient m_b;
};

void TestFpmanagerProgram::initTestCase()
{
    QVERIFY2(fpsim::runningUnderUsbSimulation(), "not started under fpsim usb");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    QVERIFY(mounts.open(QIODevice::ReadOnly));
    QVERIFY2(
        mounts.readAll().contains(" /usr/share/vrkt7x "), "run through tests/fixtures/in-namespace.sh (ctest does)");
    QVERIFY2(!QFile::exists(kInstalledLibrary), "a library is installed at /usr/lib on this machine");
    QVERIFY2(m_cups.start(), qPrintable(m_cups.lastError()));
    QVERIFY2(m_a.connectTo(fpsim::usbControlSocket(QStringLiteral("SIM0001"))), qPrintable(m_a.lastError()));
    QVERIFY2(m_b.connectTo(fpsim::usbControlSocket(QStringLiteral("SIM0002"))), qPrintable(m_b.lastError()));
}

void TestFpmanagerProgram::cleanupTestCase() { m_cups.stop(); }

bool TestFpmanagerProgram::installLibrary()
{
    if (QFile::exists(kInstalledLibrary))
        return true;
    // /usr/lib stays the machine's; an overlay in the namespace's /tmp takes the one new file.
    if (!QDir().mkpath(QStringLiteral("/tmp/usrlib/up")) || !QDir().mkpath(QStringLiteral("/tmp/usrlib/work")))
        return false;
    if (QProcess::execute(QStringLiteral("mount"),
            { "-t", "overlay", "overlay", "-o", "lowerdir=/usr/lib,upperdir=/tmp/usrlib/up,workdir=/tmp/usrlib/work",
                "/usr/lib" })
        != 0)
        return false;
    return QFile::copy(QStringLiteral(VRKT_BUILT_LIBRARY), kInstalledLibrary);
}

void TestFpmanagerProgram::withoutLibraryEndsQuietly()
{
    Fpmanager program("offscreen");
    QVERIFY(program.start());
    QVERIFY(program.finishes(15000));
    QCOMPARE(program.exitCode(), 0);
    const QByteArray output = program.output();
    QVERIFY2(output.contains("/usr/lib/i386-linux-gnu/libvrkt7xcommon.so") && output.contains("is not exist!"),
        output.constData());
    QVERIFY(!QFile::exists(QString::fromLatin1(FpmanagerPaths::kDatabaseFile)));
}

// The first start creates the database; a correct login without a supported printer shows the
// device notice and the program ends.
void TestFpmanagerProgram::firstStartWithoutPrinter()
{
    QVERIFY(installLibrary());
    QVERIFY2(
        m_cups.addQueue(QStringLiteral("Office"), QStringLiteral("socket://10.0.0.9"), QStringLiteral("Generic Laser")),
        qPrintable(m_cups.lastError()));

    Fpmanager program;
    QVERIFY(program.start());
    const QByteArray login = waitForWindow(QStringLiteral("用户登录"));
    QVERIFY2(!login.isEmpty(), program.output().constData());
    const QString db = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    QVERIFY(QFile::exists(db));
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(db).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0666));
    QVERIFY(!QFile::exists(QString::fromLatin1(FpmanagerPaths::kWorkingCopy)));
    QCOMPARE(storedAccounts(), (QStringList { "admin/58203716", "table FingerList", "table UserList" }));

    const QRect loginArea = windowGeometry(login);
    QCOMPARE(loginArea.size(), QSize(293, 191));
    // Return in a field does not log in (the login window is no dialog): Tab to the button first.
    QVERIFY(typeInto(login, { "admin", "key:Tab", "58203716", "key:Tab", "key:Return" }));
    const QByteArray notice = waitForWindow(QStringLiteral("警告"));
    QVERIFY2(!notice.isEmpty(), program.output().constData());
    saveScreen(QStringLiteral("fpmanager-program-no-printer.png"), windowGeometry(notice));
    QVERIFY(typeInto(notice, { "key:Return" }));
    QVERIFY(program.finishes(15000));
    QVERIFY2(program.exitCode() == 0, program.output().right(4000).constData());
}

void TestFpmanagerProgram::loginListsPrintersAndSwitches()
{
    QVERIFY(installLibrary());
    QVERIFY(m_cups.addQueue(QStringLiteral("ZPH_A"), kUriA, kModel));
    QVERIFY(m_cups.addQueue(QStringLiteral("ZPH_B"), kUriB, kModel));
    QVERIFY(m_cups.addQueue(QStringLiteral("ZPH_NET"), QStringLiteral("socket://127.0.0.2"), kModel));
    for (ControlClient* printer : { &m_a, &m_b }) {
        QVERIFY(printer->clearFrameLog());
        QVERIFY(printer->clearFaults());
    }
    QVERIFY(m_a.setState(1));
    QVERIFY(m_b.setState(0));

    Fpmanager program;
    QVERIFY(program.start());
    const QByteArray login = waitForWindow(QStringLiteral("用户登录"));
    QVERIFY2(!login.isEmpty(), program.output().constData());

    // A second instance ends at once, leaving the first alone.
    {
        Fpmanager second;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(second.start());
        QVERIFY(second.finishes(10000));
        QCOMPARE(second.exitCode(), 0);
        qInfo("the second instance ended after %lld ms", timer.elapsed());
        QVERIFY(program.running());
    }

    // Blanks around the name are trimmed.
    QVERIFY(typeInto(login, { " admin ", "key:Tab", "58203716", "key:Tab", "key:Return" }));
    const QByteArray main = waitForWindow(QStringLiteral("指纹管理软件"));
    QVERIFY2(!main.isEmpty(), program.output().constData());
    const QRect area = windowGeometry(main);
    QCOMPARE(area.size(), QSize(649, 503));
    QTRY_VERIFY_WITH_TIMEOUT(m_a.receivedCodes().contains(QStringLiteral("FING")), 10000);
    QVERIFY(m_b.receivedCodes().isEmpty());
    saveScreen(QStringLiteral("fpmanager-program-main.png"), area);

    // The first printer is shown on: a click switches it off (the library's CloseFinger).
    QVERIFY(clickAt(area.topLeft() + QPoint(58, 90)));
    QByteArray box = waitForWindow(QStringLiteral("信息"));
    QVERIFY2(!box.isEmpty(), program.output().constData());
    saveScreen(QStringLiteral("fpmanager-program-switched.png"), windowGeometry(box));
    QVERIFY(typeInto(box, { "key:Return" }));
    QTRY_COMPARE_WITH_TIMEOUT(m_a.state(), 0, 5000);

    // The second printer, chosen in the list: its state is read, and a click switches it on.
    QVERIFY(clickAt(area.topLeft() + QPoint(300, 26)));
    QTest::qWait(300);
    // The open list: the two USB queues of the supported model, not the network one nor "Office".
    saveScreen(QStringLiteral("fpmanager-program-printers.png"), QRect(area.topLeft(), QSize(649, 140)));
    QVERIFY(!xdotool({ "key", "Down", "Return" }).isNull());
    QTRY_VERIFY_WITH_TIMEOUT(m_b.receivedCodes().contains(QStringLiteral("FING")), 10000);
    QVERIFY(clickAt(area.topLeft() + QPoint(58, 90)));
    box = waitForWindow(QStringLiteral("信息"));
    QVERIFY2(!box.isEmpty(), program.output().constData());
    QVERIFY(typeInto(box, { "key:Return" }));
    QTRY_COMPARE_WITH_TIMEOUT(m_b.state(), 1, 5000);
    QCOMPARE(m_a.state(), 0);
    QVERIFY(program.running());

    // Killed, the program leaves its instance guard behind (see the next case).
    program.killHard();
}

// A guard left by a killed instance does not keep the program from starting.
void TestFpmanagerProgram::startsAgainAfterBeingKilled()
{
    QVERIFY(installLibrary());
    Fpmanager program;
    QVERIFY(program.start());
    const QByteArray login = waitForWindow(QStringLiteral("用户登录"));
    QVERIFY2(!login.isEmpty(), program.output().constData());
    QVERIFY(program.running());
    program.killHard();
}

int main(int argc, char* argv[])
{
    fpsim::runUnderUsbSimulation(argc, argv, { QStringLiteral("SIM0001"), QStringLiteral("SIM0002") });
    // System V IPC of our own: fpmanager's instance guard (a shared-memory segment keyed by a
    // file in the private /tmp) must meet no segment of another namespace's run.
    if (::unshare(CLONE_NEWIPC) != 0) {
        std::perror("unshare(CLONE_NEWIPC)");
        return 1;
    }
    XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "cannot start Xvfb (package xvfb, installed by scripts/setup.sh)\n");
        return 1;
    }
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status;
    {
        QGuiApplication app(argc, argv);
        TestFpmanagerProgram test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.stop();
    return status;
}

#include "tst_fpmanager_program.moc"
