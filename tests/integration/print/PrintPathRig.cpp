#include "PrintPathRig.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <csignal>
#include <cups/cups.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kUser[] = "nobody";
const char kDisplay[] = ":7";

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool writeFile(const QString& path, const QByteArray& data, int mode)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

template <typename Predicate> bool waitFor(Predicate done, int timeoutMs)
{
    for (int waited = 0; !done(); waited += 100) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(100);
    }
    return true;
}

} // namespace

PrintPathRig::~PrintPathRig()
{
    if (m_agent.state() != QProcess::NotRunning) {
        m_agent.terminate();
        m_agent.waitForFinished(5000);
    }
    m_cups.stop();
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(5000);
    }
}

bool PrintPathRig::fail(const QString& what)
{
    m_error = what;
    return false;
}

QString PrintPathRig::runtimeDir() const { return QStringLiteral("/run/user/%1").arg(m_uid); }

QString PrintPathRig::windowArgument(int jobId, const QString& queue)
{
    return QStringLiteral("start://%1?jobid=%2&time_val=%3").arg(queue).arg(jobId).arg(kWindowSeconds);
}

bool PrintPathRig::start()
{
    const struct passwd* user = getpwnam(kUser);
    if (!user)
        return fail(QStringLiteral("no user %1").arg(QLatin1String(kUser)));
    m_uid = user->pw_uid;
    m_gid = user->pw_gid;
    // A runtime folder of the desktop user, private to this namespace.
    if (!run(QStringLiteral("mount"), { "-t", "tmpfs", "-o", "mode=0755", "tmpfs", "/run/user" }))
        return fail(QStringLiteral("cannot mount a tmpfs on /run/user"));
    const QByteArray runtime = QFile::encodeName(runtimeDir());
    if (!QDir().mkpath(runtimeDir()) || ::chown(runtime.constData(), m_uid, m_gid) != 0
        || ::chmod(runtime.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot make %1").arg(runtimeDir()));
    // The window's time: the shortest there is.
    if (!writeFile(QStringLiteral("/usr/share/vrkt7x/setting.ini"),
            QStringLiteral("[General]\nTimeOut=%1\n").arg(kWindowSeconds).toLatin1(), 0644))
        return fail(QStringLiteral("cannot write setting.ini"));

    m_xvfb.start(QStringLiteral("Xvfb"), { kDisplay, "-screen", "0", "800x600x24", "-nolisten", "tcp" });
    if (!m_xvfb.waitForStarted() || !waitFor([] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X7")); }, 10000))
        return fail(QStringLiteral("Xvfb does not start"));

    if (!m_printer.start(QLatin1String(kAddress)))
        return fail(m_printer.errorString());
    if (!m_printer.control().addUser("alice", 1))
        return fail(m_printer.control().lastError());
    m_hasUsb = fpsim::runningUnderUsbSimulation();
    if (m_hasUsb
        && (!m_usb.connectTo(fpsim::usbControlSocket(QLatin1String(kUsbSerial))) || !m_usb.addUser("alice", 1)))
        return fail(m_usb.lastError());

    if (!m_cups.start())
        return fail(m_cups.lastError());
    if (!installBackends() || !keepJobHistory())
        return false;
    const QString printerUri = QStringLiteral("socket://%1:9100").arg(QLatin1String(kAddress));
    if (!m_cups.addQueue(QLatin1String(kQueue), QStringLiteral("vrkt7x:") + printerUri)
        || !m_cups.addQueue(QLatin1String(kDirectQueue), printerUri)
        || (m_hasUsb
            && !m_cups.addQueue(QLatin1String(kUsbQueue),
                QStringLiteral("vrkt7x:usb://Simulated/ZPH6100RMX?serial=%1").arg(QLatin1String(kUsbSerial)))))
        return fail(m_cups.lastError());
    return startAgent();
}

// The backend and the real socket and usb backends beside it, as cupsd runs them: root, mode 0700;
// under the USB simulation with its preload.
bool PrintPathRig::installBackends()
{
    const QString backends = m_cups.dir() + QStringLiteral("/bin/backend/");
    QByteArray environment = m_hasUsb ? "LD_PRELOAD=" + qgetenv("LD_PRELOAD") + ' ' : QByteArray();
    // cupsd passes a backend none of its own environment: a sanitizer build's options go in too.
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS" }) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            environment += QByteArray(name) + "='" + value + "' ";
    }
    auto wrapper = [&](const char* name, const QByteArray& program) {
        return writeFile(
            backends + QLatin1String(name), "#!/bin/sh\n" + environment + "exec " + program + " \"$@\"\n", 0700);
    };
    if (!wrapper("vrkt7x", VRKT_BINARY_DIR "/bin/backend/vrkt7x") || !wrapper("socket", "/usr/lib/cups/backend/socket")
        || !wrapper("usb", "/usr/lib/cups/backend/usb"))
        return fail(QStringLiteral("cannot install the backends"));
    return true;
}

// Jobs stay in the history with their state and message after they end; the backends see the
// simulated USB printer.
bool PrintPathRig::keepJobHistory()
{
    if (m_hasUsb) {
        QFile files(m_cups.dir() + QStringLiteral("/cups-files.conf"));
        if (!files.open(QIODevice::Append) || files.write("PassEnv UMOCKDEV_DIR\n") <= 0)
            return fail(QStringLiteral("cannot write cups-files.conf"));
    }
    const QString conf = m_cups.dir() + QStringLiteral("/cupsd.conf");
    QFile f(conf);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read cupsd.conf"));
    const QByteArray text = f.readAll().replace("PreserveJobHistory No", "PreserveJobHistory Yes");
    f.close();
    if (!writeFile(conf, text, 0644))
        return fail(QStringLiteral("cannot write cupsd.conf"));
    pid_t cupsd = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains(QFile::encodeName(conf)))
            cupsd = pid.toInt();
    }
    if (cupsd <= 0 || ::kill(cupsd, SIGHUP) != 0)
        return fail(QStringLiteral("cannot reload cupsd"));
    QTest::qWait(1000);
    if (!waitFor([this] { return m_cups.runClient(QStringLiteral("lpstat"), { "-r" }).contains("is running"); }, 10000))
        return fail(QStringLiteral("cupsd does not come back after reloading"));
    return true;
}

bool PrintPathRig::startAgent()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    env.insert(QStringLiteral("DISPLAY"), QLatin1String(kDisplay));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    m_agent.setProcessEnvironment(env);
    m_agent.setProcessChannelMode(QProcess::ForwardedChannels);
    m_agent.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid), "--clear-groups",
            VRKT_BINARY_DIR "/bin/vrkt7x-agent", "--fpverify", VRKT_BINARY_DIR "/bin/fpverify" });
    if (!m_agent.waitForStarted() || !waitFor([this] { return QFile::exists(agentSocket()); }, 10000))
        return fail(QStringLiteral("the agent does not start"));
    return true;
}

int PrintPathRig::submit(const QByteArray& data, bool asDesktopUser, const QString& queue)
{
    QProcess lp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), m_cups.socketPath());
    env.remove(QStringLiteral("LPDEST"));
    env.remove(QStringLiteral("PRINTER"));
    lp.setProcessEnvironment(env);
    QStringList args { QStringLiteral("lp"), QStringLiteral("-d"), queue };
    if (asDesktopUser)
        lp.start(QStringLiteral("setpriv"),
            QStringList {
                QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid), "--clear-groups" }
                + args);
    else
        lp.start(args.takeFirst(), args);
    if (!lp.waitForStarted(10000))
        return -1;
    lp.write(data);
    lp.closeWriteChannel();
    if (!lp.waitForFinished(60000))
        return -1;
    // "request id is Office-17 (1 file(s))"
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("-(\\d+) ")).match(QString::fromLatin1(lp.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

int PrintPathRig::jobState(int jobId, QString* message)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://localhost/jobs/%1").arg(jobId).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    int state = 0;
    if (response) {
        if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM))
            state = ippGetInteger(a, 0);
        ipp_attribute_t* a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT);
        if (a && message)
            *message = QString::fromUtf8(ippGetString(a, 0, nullptr));
        ippDelete(response);
    }
    return state;
}

bool PrintPathRig::xdotool(const QStringList& arguments, QByteArray* out)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QLatin1String(kDisplay));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

bool PrintPathRig::windowExists(int jobId, const QString& queue)
{
    // xdotool's patterns do not take the Chinese part of the title: find by its end, compare whole.
    QByteArray names;
    return xdotool(
               { "search", "--name", QStringLiteral("%1-%2$").arg(queue).arg(jobId), "getwindowname", "%@" }, &names)
        && QString::fromUtf8(names)
               .split(QLatin1Char('\n'))
               .contains(QStringLiteral("指纹认证-%1-%2").arg(queue).arg(jobId));
}

qint64 PrintPathRig::fpverifyPid(int jobId, const QString& queue)
{
    const QByteArray argument = windowArgument(jobId, queue).toUtf8();
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> argv = f.readAll().split('\0');
        if (argv.size() >= 2 && argv.at(0).endsWith("/fpverify") && argv.at(1) == argument)
            return pid.toLongLong();
    }
    return 0;
}

int PrintPathRig::resultOf(int jobId)
{
    QSettings s(statusFile(), QSettings::NativeFormat);
    return s.value(QStringLiteral("%1/result").arg(jobId)).toInt();
}
