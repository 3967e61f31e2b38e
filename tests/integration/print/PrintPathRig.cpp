#include "PrintPathRig.h"

#include "PrivateNamespace.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <cups/cups.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kUser[] = "nobody";

} // namespace

bool PrintPathRig::run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrintPathRig::writeFile(const QString& path, const QByteArray& data, int mode)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

PrintPathRig::~PrintPathRig()
{
    for (DesktopUser& u : m_users)
        if (u.agent && u.agent->state() != QProcess::NotRunning) {
            u.agent->terminate();
            u.agent->waitForFinished(5000);
        }
    m_cups.stop();
}

bool PrintPathRig::fail(const QString& what)
{
    m_error = what;
    return false;
}

QString PrintPathRig::runtimeDir() const { return QStringLiteral("/run/user/%1").arg(m_uid); }

QString PrintPathRig::windowArgument(int jobId, const QString& queue, int seconds)
{
    return QStringLiteral("start://%1?jobid=%2&time_val=%3").arg(queue).arg(jobId).arg(seconds);
}

bool PrintPathRig::start()
{
    // The desktop users' runtime folders, private to this namespace.
    if (!run(QStringLiteral("mount"), { "-t", "tmpfs", "-o", "mode=0755", "tmpfs", "/run/user" }))
        return fail(QStringLiteral("cannot mount a tmpfs on /run/user"));
    // The window's time.
    if (!writeFile(QStringLiteral("/usr/share/vrkt7x/setting.ini"),
            QStringLiteral("[General]\nTimeOut=%1\n").arg(m_windowSeconds).toLatin1(), 0644))
        return fail(QStringLiteral("cannot write setting.ini"));

    if (!m_xvfb.start("800x600x24"))
        return fail(QStringLiteral("Xvfb does not start"));

    if (!m_printer.start(QLatin1String(kAddress)))
        return fail(m_printer.errorString());
    if (!m_printer.control().addUser("alice", 1))
        return fail(m_printer.control().lastError());
    m_hasUsb = fpsim::runningUnderUsbSimulation();
    if (m_hasUsb
        && (!m_usb.connectTo(fpsim::usbControlSocket(QLatin1String(kUsbSerial))) || !m_usb.addUser("alice", 1)))
        return fail(m_usb.lastError());

    // Jobs stay in the history with their state and message after they end.
    m_cups.setKeepJobHistory(true);
    if (!m_cups.start())
        return fail(m_cups.lastError());
    // The backend and the real socket and usb backends beside it; under the USB simulation they see
    // its printer.
    if (!m_cups.installBackend(QStringLiteral("vrkt7x"), QStringLiteral(VRKT_BINARY_DIR "/bin/backend/vrkt7x"))
        || !m_cups.installBackend(QStringLiteral("socket"), QStringLiteral("/usr/lib/cups/backend/socket"))
        || !m_cups.installBackend(QStringLiteral("usb"), QStringLiteral("/usr/lib/cups/backend/usb")))
        return fail(m_cups.lastError());
    const QString printerUri = QStringLiteral("socket://%1:9100").arg(QLatin1String(kAddress));
    if (!m_cups.addQueue(QLatin1String(kQueue), QStringLiteral("vrkt7x:") + printerUri)
        || !m_cups.addQueue(QLatin1String(kDirectQueue), printerUri)
        || (m_hasUsb
            && !m_cups.addQueue(QLatin1String(kUsbQueue),
                QStringLiteral("vrkt7x:usb://Simulated/ZPH6100RMX?serial=%1").arg(QLatin1String(kUsbSerial)))))
        return fail(m_cups.lastError());
    return addDesktopUser(QLatin1String(kUser));
}

bool PrintPathRig::addDesktopUser(const QString& name)
{
    const struct passwd* pw = getpwnam(name.toLocal8Bit().constData());
    if (!pw)
        return fail(QStringLiteral("no user %1").arg(name));
    DesktopUser u;
    u.name = name;
    u.uid = pw->pw_uid;
    u.gid = pw->pw_gid;
    if (m_users.empty())
        m_uid = u.uid;
    const QString dir = QStringLiteral("/run/user/%1").arg(u.uid);
    const QByteArray runtime = QFile::encodeName(dir);
    if (!QDir().mkpath(dir) || ::chown(runtime.constData(), u.uid, u.gid) != 0
        || ::chmod(runtime.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot make %1").arg(dir));
    m_users.push_back(std::move(u));
    return startAgent(m_users.back());
}

PrintPathRig::DesktopUser* PrintPathRig::user(const QString& name)
{
    for (DesktopUser& u : m_users)
        if (u.name == name)
            return &u;
    return nullptr;
}

bool PrintPathRig::killAgent(const QString& name)
{
    DesktopUser* u = user(name);
    if (!u || !u->agent)
        return fail(QStringLiteral("no agent of %1").arg(name));
    u->agent->kill();
    return u->agent->waitForFinished(10000);
}

bool PrintPathRig::restartAgent(const QString& name)
{
    DesktopUser* u = user(name);
    if (!u)
        return fail(QStringLiteral("no desktop user %1").arg(name));
    // The killed agent's socket stays behind: the new agent replaces it.
    return startAgent(*u);
}

bool PrintPathRig::addNetworkQueue(const QString& queue, const QString& address, int authState)
{
    NetQueue q;
    q.queue = queue;
    q.printer = std::make_unique<fpsim::SimulatedNetPrinter>();
    if (!q.printer->start(address, { "--state", QString::number(authState) }))
        return fail(q.printer->errorString());
    if (!q.printer->control().addUser("alice", 1))
        return fail(q.printer->control().lastError());
    if (!m_cups.addQueue(queue, QStringLiteral("vrkt7x:socket://%1:9100").arg(address)))
        return fail(m_cups.lastError());
    m_netQueues.push_back(std::move(q));
    return true;
}

fpsim::ControlClient* PrintPathRig::printerOf(const QString& queue)
{
    if (queue == QLatin1String(kQueue))
        return &m_printer.control();
    if (queue == QLatin1String(kUsbQueue))
        return m_hasUsb ? &m_usb : nullptr;
    for (NetQueue& q : m_netQueues)
        if (q.queue == queue)
            return &q.printer->control();
    return nullptr;
}

bool PrintPathRig::startAgent(DesktopUser& u)
{
    const QString runtime = QStringLiteral("/run/user/%1").arg(u.uid);
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_xvfb.display()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    // Under the sanitizers, the agent and its windows keep the test's settings (the leak
    // suppressions among them).
    const QProcessEnvironment ours = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
        if (ours.contains(QLatin1String(name)))
            env.insert(QLatin1String(name), ours.value(QLatin1String(name)));
    u.agent = std::make_unique<QProcess>();
    u.agent->setProcessEnvironment(env);
    u.agent->setProcessChannelMode(QProcess::ForwardedChannels);
    u.agent->start(QStringLiteral("setpriv"),
        userArguments(u)
            + QStringList { VRKT_BINARY_DIR "/bin/vrkt7x-agent", "--fpverify", VRKT_BINARY_DIR "/bin/fpverify" });
    const QString socket = runtime + QStringLiteral("/vrkt7x/agent.socket");
    if (!u.agent->waitForStarted() || !QTest::qWaitFor([&] { return QFile::exists(socket); }, 10000))
        return fail(QStringLiteral("the agent of %1 does not start").arg(u.name));
    return true;
}

// setpriv's arguments that run a program as a desktop user, ended with this process even when
// a test is killed.
QStringList PrintPathRig::userArguments(const DesktopUser& u)
{
    return { QStringLiteral("--reuid=%1").arg(u.uid), QStringLiteral("--regid=%1").arg(u.gid), "--clear-groups",
        "--pdeathsig", "TERM" };
}

QStringList PrintPathRig::desktopUserArguments() const { return userArguments(m_users.front()); }

int PrintPathRig::submitAs(const QString& name, const QByteArray& data, const QString& queue)
{
    const DesktopUser* u = user(name);
    return u ? submitWith(userArguments(*u), data, queue) : -1;
}

QStringList PrintPathRig::windowTitles()
{
    QByteArray names;
    xdotool({ "search", "--onlyvisible", "--name", "[0-9]+$", "getwindowname", "%@" }, &names);
    QStringList titles;
    for (const QString& name : QString::fromUtf8(names).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (name.startsWith(QStringLiteral("指纹认证-")))
            titles << name.mid(5);
    return titles;
}

bool PrintPathRig::confirmOutcomeBox(int jobId, const QString& queue)
{
    const QString pid = QString::number(fpverifyPid(jobId, queue));
    QByteArray ids;
    QByteArray names;
    const bool shown = QTest::qWaitFor(
        [&] {
            return xdotool({ "search", "--onlyvisible", "--pid", pid, "--classname", "fpverify" }, &ids)
                && xdotool({ "getwindowname", QString::fromLatin1(ids.split('\n').first()) }, &names)
                && names == "警告\n";
        },
        10000);
    if (!shown)
        return fail(QStringLiteral("fpverify %1 shows no outcome box; its window: %2")
                        .arg(pid, QString::fromUtf8(names).trimmed()));
    pressReturn(QString::fromLatin1(ids.split('\n').first()));
    return true;
}

void PrintPathRig::pressReturn(const QString& window)
{
    // The box goes away on the key's press, and xdotool, finding it gone, stops before the release.
    // The server would keep Return held down (Xvfb runs with -noreset) and repeat it into the next
    // window: it is released on its own. The caller checks the end.
    xdotool({ "windowfocus", "--sync", window, "key", "Return" });
    xdotool({ "keyup", "Return" });
}

bool PrintPathRig::asOtherUser(const QString& command)
{
    // daemon (uid 1): a local account that is neither root nor the desktop user.
    return QProcess::execute(QStringLiteral("setpriv"),
               { "--reuid=1", "--regid=1", "--clear-groups", "--pdeathsig", "TERM", "sh", "-c", command })
        == 0;
}

int PrintPathRig::submit(const QByteArray& data, bool asDesktopUser, const QString& queue, const QStringList& options)
{
    return submitWith(asDesktopUser ? desktopUserArguments() : QStringList(), data, queue, options);
}

int PrintPathRig::submitWith(
    const QStringList& setprivArguments, const QByteArray& data, const QString& queue, const QStringList& options)
{
    QProcess lp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), m_cups.socketPath());
    env.remove(QStringLiteral("LPDEST"));
    env.remove(QStringLiteral("PRINTER"));
    lp.setProcessEnvironment(env);
    QStringList args = QStringList { QStringLiteral("lp"), QStringLiteral("-d"), queue } + options;
    if (!setprivArguments.isEmpty())
        lp.start(QStringLiteral("setpriv"), setprivArguments + args);
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
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_xvfb.display()));
    env.remove(QStringLiteral("LD_PRELOAD"));
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

QList<QPair<qint64, QList<QByteArray>>> PrintPathRig::processes()
{
    // Only this test's: rigs of other tests may run beside it, with the same job numbers.
    const QByteArray ownNamespace = mountNamespaceOf("self");
    QList<QPair<qint64, QList<QByteArray>>> found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (mountNamespaceOf(pid.toLatin1()) != ownNamespace || !f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> argv = f.readAll().split('\0');
        if (!argv.value(0).isEmpty())
            found.append({ pid.toLongLong(), argv });
    }
    return found;
}

QList<QPair<qint64, QString>> PrintPathRig::fpverifyProcesses()
{
    QList<QPair<qint64, QString>> found;
    for (const auto& process : processes())
        if (process.second.size() >= 2 && process.second.at(0).endsWith("/fpverify"))
            found.append({ process.first, QString::fromUtf8(process.second.at(1)) });
    return found;
}

qint64 PrintPathRig::fpverifyPid(int jobId, const QString& queue)
{
    const QString argument = windowArgument(jobId, queue, m_windowSeconds);
    for (const auto& process : fpverifyProcesses())
        if (process.second == argument)
            return process.first;
    return 0;
}

int PrintPathRig::resultOf(int jobId)
{
    QSettings s(statusFile(), QSettings::NativeFormat);
    return s.value(QStringLiteral("%1/result").arg(jobId)).toInt();
}
