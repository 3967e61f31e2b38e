// The Debian package installed with dpkg inside a private mount namespace (install-deb.sh puts
// overlays over /usr, /etc and /var), then used from the installed paths the way an administrator
// would: fpmanager's first start (as root under the simulated USB printer, as a member of the
// group vrkt7x, as someone outside it), fpverify ending on the print side's answer, fpctl talking
// to the simulated printer through the installed library; then reinstalling, removing and
// purging. Runs only inside tests/fixtures/in-namespace.sh.
#include "CommandRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kDataDir = QStringLiteral("/usr/share/vrkt7x");
const QString kDatabase = QStringLiteral("/usr/share/vrkt7x/fingerdata.db");
const QString kWorkingCopy = QStringLiteral("/tmp/.fingerdata.db");
const QString kStatusFile = QStringLiteral("/tmp/.vrkt7xsmtmp.conf");
const QString kSerial = QStringLiteral("SIM0001");
const QString kPrinterUri = QStringLiteral("usb://Maker/ZPH6100RMX?serial=SIM0001");

struct FileStat {
    bool exists = false;
    uid_t uid = 0;
    gid_t gid = 0;
    int mode = 0;
};

FileStat statOf(const QString& path)
{
    FileStat s;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.exists = true;
        s.uid = st.st_uid;
        s.gid = st.st_gid;
        s.mode = int(st.st_mode & 07777);
    }
    return s;
}

QString octal(int mode) { return QString::number(mode, 8); }

// A GUI program of the package on the offscreen platform, its output collected as it runs.
class InstalledProgram
{
public:
    InstalledProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setProgram(program);
        m_process.setArguments(arguments);
    }
    ~InstalledProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }
    bool start()
    {
        m_process.start();
        return m_process.waitForStarted(10000);
    }
    // Waits until one of the texts appears in the output or the program ends; returns the text.
    QString waitForOutput(const QStringList& texts, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            m_output += m_process.readAll();
            for (const QString& text : texts) {
                if (m_output.contains(text.toUtf8()))
                    return text;
            }
            if (m_process.state() == QProcess::NotRunning)
                return QString();
            m_process.waitForReadyRead(100);
        }
        return QString();
    }
    bool waitForEnd(int timeoutMs)
    {
        const bool ended = m_process.waitForFinished(timeoutMs);
        m_output += m_process.readAll();
        return ended;
    }
    QProcess& process() { return m_process; }
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

// The pid of the process that runs program among the descendants of root (fpsim and unshare
// start the program as a child).
pid_t descendantRunning(pid_t root, const QString& program)
{
    QList<pid_t> queue { root };
    while (!queue.isEmpty()) {
        const pid_t pid = queue.takeFirst();
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) == program)
            return pid;
        const QStringList tasks
            = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& task : tasks) {
            QFile children(QStringLiteral("/proc/%1/task/%2/children").arg(pid).arg(task));
            if (children.open(QIODevice::ReadOnly)) {
                for (const QByteArray& child : children.readAll().simplified().split(' ')) {
                    if (!child.isEmpty())
                        queue.append(pid_t(child.toInt()));
                }
            }
        }
    }
    return 0;
}

} // namespace

class PackagingInstalledTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packageIsInstalled();
    void dataFolderBelongsToTheGroup();
    void libraryIsKnownToTheLoader();
    void fpmanagerFirstStartUnderTheSimulatedPrinter();
    void fpmanagerForUsers_data();
    void fpmanagerForUsers();
    void fpverifyEndsOnTheAnswer();
    void fpctlReachesTheSimulatedPrinter_data();
    void fpctlReachesTheSimulatedPrinter();
    void reinstallKeepsTheData();
    void removeKeepsDataAndPurgeDeletesIt();

private:
    QProcessEnvironment guiEnvironment() const;
    QString m_deb;
    QStringList m_packageFiles; // dpkg -L
    gid_t m_groupId = 0;
};

QProcessEnvironment PackagingInstalledTest::guiEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
    return env;
}

void PackagingInstalledTest::initTestCase()
{
    const QStringList debs
        = QDir(QStringLiteral(VRKT_PACKAGING_TEST_DIR "/deb")).entryList({ QStringLiteral("*.deb") }, QDir::Files);
    QVERIFY2(debs.size() == 1, "tst_packaging_build makes the package first");
    m_deb = QStringLiteral(VRKT_PACKAGING_TEST_DIR "/deb/") + debs.first();
    QVERIFY2(!QFileInfo::exists(QStringLiteral("/usr/bin/fpmanager")), "the package is installed already");

    const CommandResult install = runCommand(QStringLiteral(INSTALL_DEB_SCRIPT), { m_deb });
    QVERIFY2(install.ok(), qPrintable(install.describe()));

    const CommandResult files
        = runCommand(QStringLiteral("dpkg"), { QStringLiteral("--listfiles"), QStringLiteral("vrkt7x") });
    QVERIFY2(files.ok(), qPrintable(files.describe()));
    m_packageFiles = QString::fromUtf8(files.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const struct group* group = ::getgrnam("vrkt7x");
    QVERIFY2(group, "postinst made no group vrkt7x");
    m_groupId = group->gr_gid;
}

void PackagingInstalledTest::packageIsInstalled()
{
    const CommandResult status = runCommand(QStringLiteral("dpkg-query"),
        { QStringLiteral("-W"), QStringLiteral("-f=${Status}"), QStringLiteral("vrkt7x") });
    QVERIFY2(status.ok(), qPrintable(status.describe()));
    QCOMPARE(status.out, QByteArray("install ok installed"));
    for (const char* program :
        { "/usr/bin/fpmanager", "/usr/bin/fpverify", "/usr/bin/fpctl", "/usr/bin/vrkt7x-usblist" }) {
        QVERIFY2(m_packageFiles.contains(QLatin1String(program)), program);
        QVERIFY2(QFileInfo(QLatin1String(program)).isExecutable(), program);
    }
    QVERIFY(QFileInfo::exists(QStringLiteral("/usr/lib/udev/rules.d/70-vrkt7x.rules")));
    QVERIFY(QFileInfo::exists(QStringLiteral("/usr/share/applications/fpmanager.desktop")));
}

void PackagingInstalledTest::dataFolderBelongsToTheGroup()
{
    // A system group, and the folder root:vrkt7x 2775 through a statoverride.
    QVERIFY2(m_groupId > 0 && m_groupId < 1000, qPrintable(QString::number(m_groupId)));
    const FileStat folder = statOf(kDataDir);
    QVERIFY(folder.exists);
    QCOMPARE(folder.uid, uid_t(0));
    QCOMPARE(folder.gid, m_groupId);
    QCOMPARE(octal(folder.mode), QStringLiteral("2775"));
    const CommandResult override
        = runCommand(QStringLiteral("dpkg-statoverride"), { QStringLiteral("--list"), kDataDir });
    QVERIFY2(override.ok(), qPrintable(override.describe()));
    QCOMPARE(override.out.trimmed(), QByteArray("root vrkt7x 2775 /usr/share/vrkt7x"));
}

void PackagingInstalledTest::libraryIsKnownToTheLoader()
{
    // The ldconfig trigger ran: fpctl, which links the library, starts.
    const CommandResult cache = runCommand(QStringLiteral("/sbin/ldconfig"), { QStringLiteral("-p") });
    QVERIFY2(cache.ok(), qPrintable(cache.describe()));
    QVERIFY2(cache.out.contains("libvrkt7xcommon.so.1 "), "ldconfig does not know libvrkt7xcommon.so.1");
    const CommandResult version = runCommand(QStringLiteral("/usr/bin/fpctl"), { QStringLiteral("--version") });
    QVERIFY2(version.ok(), qPrintable(version.describe()));
}

void PackagingInstalledTest::fpmanagerFirstStartUnderTheSimulatedPrinter()
{
    QVERIFY(!QFileInfo::exists(kDatabase));
    // Its own IPC namespace: the single-instance guard's segment goes with the program.
    InstalledProgram manager(QStringLiteral("unshare"),
        { QStringLiteral("--ipc"), QStringLiteral("--"), QStringLiteral(FPSIM_PROGRAM), QStringLiteral("usb"),
            QStringLiteral("--serial"), kSerial, QStringLiteral("--"), QStringLiteral("/usr/bin/fpmanager") },
        guiEnvironment());
    QVERIFY(manager.start());
    QCOMPARE(manager.waitForOutput({ QStringLiteral("Login") }, 30000), QStringLiteral("Login"));

    // The database is made, encrypted, writable by every administrator, in the group.
    const FileStat db = statOf(kDatabase);
    QVERIFY2(db.exists, manager.output().constData());
    QCOMPARE(octal(db.mode), QStringLiteral("666"));
    QCOMPARE(db.gid, m_groupId); // the setgid folder hands its group down
    QFile file(kDatabase);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.size() > 0);
    QVERIFY(!file.read(16).startsWith("SQLite format 3"));
    QVERIFY(!QFileInfo::exists(kWorkingCopy));

    // It loaded the installed library, by the fixed path.
    const pid_t pid = descendantRunning(pid_t(manager.process().processId()), QStringLiteral("/usr/bin/fpmanager"));
    QVERIFY2(pid > 0, "no fpmanager process under fpsim");
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QString library;
    for (const QString& f : m_packageFiles) {
        if (f.endsWith(QLatin1String("/libvrkt7xcommon.so.1.0.0")))
            library = f;
    }
    QVERIFY(!library.isEmpty());
    QVERIFY2(mapped.contains(library.toUtf8()), qPrintable(library + QStringLiteral(" is not mapped")));

    // A second start in the same session ends at once, without touching the database.
    InstalledProgram second(QStringLiteral("nsenter"),
        { QStringLiteral("--target"), QString::number(pid), QStringLiteral("--ipc"), QStringLiteral("--"),
            QStringLiteral("/usr/bin/fpmanager") },
        guiEnvironment());
    QVERIFY(second.start());
    QVERIFY2(second.waitForEnd(15000), second.output().constData());
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process().exitCode(), 0);
    QVERIFY2(!second.output().contains("Login"), second.output().constData());
}

void PackagingInstalledTest::fpmanagerForUsers_data()
{
    QTest::addColumn<uint>("uid");
    QTest::addColumn<bool>("member");
    QTest::newRow("member of vrkt7x") << 4242u << true;
    QTest::newRow("outside vrkt7x") << 4243u << false;
}

void PackagingInstalledTest::fpmanagerForUsers()
{
    QFETCH(uint, uid);
    QFETCH(bool, member);
    // Each user starts afresh: first start, no database yet.
    QFile::remove(kDatabase);
    QVERIFY(!QFileInfo::exists(kDatabase));
    const QString home = QStringLiteral("/tmp/home-%1").arg(uid);
    QVERIFY(QDir().mkpath(home));
    QVERIFY(::chown(QFile::encodeName(home).constData(), uid, uid) == 0);

    QProcessEnvironment env = guiEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("USER"), QStringLiteral("admin%1").arg(uid));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString groups = member ? QString::number(m_groupId) : QString::number(uid);
    InstalledProgram manager(QStringLiteral("unshare"),
        { QStringLiteral("--ipc"), QStringLiteral("--"), QStringLiteral("setpriv"),
            QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
            QStringLiteral("--groups=%1").arg(groups), QStringLiteral("--"), QStringLiteral("/usr/bin/fpmanager") },
        env);
    QVERIFY(manager.start());
    // Writing the stored database either works (the program goes on to the login) or is
    // reported in the log.
    const QString seen = manager.waitForOutput(
        { QStringLiteral("Login"), QStringLiteral("Could not open output file to write data.") }, 30000);
    const FileStat db = statOf(kDatabase);
    if (member) {
        QCOMPARE(seen, QStringLiteral("Login"));
        QVERIFY2(db.exists, manager.output().constData());
        QCOMPARE(db.uid, uid_t(uid));
        QCOMPARE(db.gid, m_groupId);
        QCOMPARE(octal(db.mode), QStringLiteral("666"));
    } else {
        QCOMPARE(seen, QStringLiteral("Could not open output file to write data."));
        QVERIFY2(!db.exists, "a user outside vrkt7x created the database");
    }
}

void PackagingInstalledTest::fpverifyEndsOnTheAnswer()
{
    // The print side has answered "verified" for job 7: the window ends by itself.
    QFile status(kStatusFile);
    QVERIFY(status.open(QIODevice::WriteOnly | QIODevice::Truncate));
    status.write("[7]\nresult=1\n");
    status.close();
    InstalledProgram verify(QStringLiteral(FPSIM_PROGRAM),
        { QStringLiteral("usb"), QStringLiteral("--serial"), kSerial, QStringLiteral("--"),
            QStringLiteral("/usr/bin/fpverify"), QStringLiteral("start://ZPH6100RMX?jobid=7&time_val=30") },
        guiEnvironment());
    QVERIFY(verify.start());
    QVERIFY2(verify.waitForEnd(20000), verify.output().constData());
    QCOMPARE(verify.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(verify.process().exitCode(), 0);
    // Ended silently: it did not report a cancel or a time-out.
    QVERIFY(status.open(QIODevice::ReadOnly));
    QVERIFY2(!status.readAll().contains("status"), "fpverify wrote a status");
    QFile::remove(kStatusFile);
}

void PackagingInstalledTest::fpctlReachesTheSimulatedPrinter_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("answer");
    QTest::newRow("authentication on") << 1 << QStringLiteral("fingerprint authentication is on");
    QTest::newRow("authentication off") << 0 << QStringLiteral("fingerprint authentication is off");
}

void PackagingInstalledTest::fpctlReachesTheSimulatedPrinter()
{
    QFETCH(int, state);
    QFETCH(QString, answer);
    CommandOptions options;
    options.environment = guiEnvironment();
    options.timeoutMs = 60000;
    const CommandResult status = runCommand(QStringLiteral(FPSIM_PROGRAM),
        { QStringLiteral("usb"), QStringLiteral("--serial"), kSerial, QStringLiteral("--state"), QString::number(state),
            QStringLiteral("--"), QStringLiteral("/usr/bin/fpctl"), QStringLiteral("status"), kPrinterUri },
        options);
    QVERIFY2(status.ok(), qPrintable(status.describe()));
    QVERIFY2(status.out.contains(answer.toUtf8()), qPrintable(status.describe()));
}

void PackagingInstalledTest::reinstallKeepsTheData()
{
    // Installing the same package again runs postinst a second time.
    QFile::remove(kDatabase);
    {
        QFile db(kDatabase);
        QVERIFY(db.open(QIODevice::WriteOnly));
        db.write("stored data");
    }
    const CommandResult again = runCommand(QStringLiteral(INSTALL_DEB_SCRIPT), { m_deb });
    QVERIFY2(again.ok(), qPrintable(again.describe()));
    QFile db(kDatabase);
    QVERIFY(db.open(QIODevice::ReadOnly));
    QCOMPARE(db.readAll(), QByteArray("stored data"));
    const FileStat folder = statOf(kDataDir);
    QCOMPARE(folder.gid, m_groupId);
    QCOMPARE(octal(folder.mode), QStringLiteral("2775"));
}

void PackagingInstalledTest::removeKeepsDataAndPurgeDeletesIt()
{
    CommandOptions options;
    options.environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
    const CommandResult remove
        = runCommand(QStringLiteral("dpkg"), { QStringLiteral("--remove"), QStringLiteral("vrkt7x") }, options);
    QVERIFY2(remove.ok(), qPrintable(remove.describe()));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/bin/fpmanager")));
    QVERIFY2(QFileInfo::exists(kDatabase), "removing the package deleted the administrators' data");

    const CommandResult purge
        = runCommand(QStringLiteral("dpkg"), { QStringLiteral("--purge"), QStringLiteral("vrkt7x") }, options);
    QVERIFY2(purge.ok(), qPrintable(purge.describe()));
    QVERIFY(!QFileInfo::exists(kDataDir));
    const CommandResult override
        = runCommand(QStringLiteral("dpkg-statoverride"), { QStringLiteral("--list"), kDataDir });
    QVERIFY2(override.finished && override.exitCode != 0 && override.out.isEmpty(), qPrintable(override.describe()));
    const CommandResult cache = runCommand(QStringLiteral("/sbin/ldconfig"), { QStringLiteral("-p") });
    QVERIFY(!cache.out.contains("libvrkt7xcommon"));
    // The group stays: files elsewhere may still carry it.
    QVERIFY(::getgrnam("vrkt7x") != nullptr);
}

QTEST_GUILESS_MAIN(PackagingInstalledTest)
#include "tst_packaging_installed.moc"
