#ifndef PRINTPATHRIG_H
#define PRINTPATHRIG_H

#include "CupsSandbox.h"
#include "SimulatedPrinters.h"
#include "XvfbServer.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <sys/types.h>
#include <vector>

// Everything a job to a queue switched to the backend goes through, set up in the test's private
// namespace: a private cupsd with the backend and the real socket backend in its ServerBin (root,
// 0700, as cupsd runs them), a simulated network printer whose print port takes the jobs, Xvfb,
// and the agent of the unprivileged desktop user "nobody" starting the real fpverify. Under
// "fpsim usb --serial SIM0001" a queue to the simulated USB printer comes too: the backend and the
// real usb backend run under the umockdev preload, which their wrappers carry (cupsd drops it).
class PrintPathRig
{
public:
    static constexpr const char* kQueue = "Office"; // vrkt7x:socket://ADDRESS:9100
    static constexpr const char* kDirectQueue = "Direct"; // socket://ADDRESS:9100, no backend
    static constexpr const char* kUsbQueue = "OfficeUsb"; // vrkt7x:usb://Simulated/ZPH6100RMX?serial=SIM0001
    static constexpr const char* kUsbSerial = "SIM0001";
    static constexpr const char* kAddress = "127.0.0.2";
    static constexpr int kWindowSeconds = 30;

    PrintPathRig() = default;
    // Before start(): the window's time (setting.ini TimeOut; 10 s is the shortest fpverify takes).
    void setWindowSeconds(int seconds) { m_windowSeconds = seconds; }
    ~PrintPathRig();
    PrintPathRig(const PrintPathRig&) = delete;
    PrintPathRig& operator=(const PrintPathRig&) = delete;

    // False with error() set when a piece does not come up.
    bool start();
    QString error() const { return m_error; }

    fpsim::SimulatedNetPrinter& printer() { return m_printer; }
    // The simulated USB printer (connected only under "fpsim usb").
    fpsim::ControlClient& usbPrinter() { return m_usb; }
    bool hasUsbPrinter() const { return m_hasUsb; }
    CupsSandbox& cups() { return m_cups; }
    uid_t desktopUid() const { return m_uid; }
    QString runtimeDir() const;
    QString agentSocket() const { return runtimeDir() + QStringLiteral("/vrkt7x/agent.socket"); }
    // The status file the agent shares with the desktop user's fpverify windows.
    QString statusFile() const { return runtimeDir() + QStringLiteral("/vrkt7x/status.conf"); }

    // After start(): another network printer at address (fpsim net, with "alice" enrolled and the
    // given authentication state) and a queue to it through the backend.
    bool addNetworkQueue(const QString& queue, const QString& address, int authState);
    // The simulated printer behind a queue: one added by addNetworkQueue, kQueue or kUsbQueue.
    fpsim::ControlClient* printerOf(const QString& queue);
    // After start(): another desktop user (an existing system account) with its own runtime
    // folder and agent on the rig's display.
    bool addDesktopUser(const QString& name);
    // Ends a desktop user's agent (SIGKILL: no goodbye) and starts it again.
    bool killAgent(const QString& user);
    bool restartAgent(const QString& user);

    // Submits data with lp to queue, as the desktop user or as root; the job id or -1.
    int submit(const QByteArray& data, bool asDesktopUser = true, const QString& queue = QLatin1String(kQueue),
        const QStringList& options = QStringList());
    // The same as a named desktop user.
    int submitAs(const QString& user, const QByteArray& data, const QString& queue);
    // The fpverify windows shown on the display whose title ends in "-QUEUE-JOB": "QUEUE-JOB" each.
    QStringList windowTitles();
    // Runs a program and waits up to 30 s; true when it exited with 0.
    static bool run(const QString& program, const QStringList& args);
    // Writes a whole file and gives it mode; false on any failure.
    static bool writeFile(const QString& path, const QByteArray& data, int mode);
    // Runs a shell command as a user who is neither root nor the desktop user; true when it exited with 0.
    bool asOtherUser(const QString& command);
    // The job's IPP state (0 when unknown) and its printer-state-message.
    int jobState(int jobId, QString* message = nullptr);
    // Whether fpverify's window for the job ("指纹认证-QUEUE-N") exists.
    bool windowExists(int jobId, const QString& queue = QLatin1String(kQueue));
    // The process of the fpverify started for a job of queue, 0 when none runs.
    qint64 fpverifyPid(int jobId, const QString& queue = QLatin1String(kQueue));
    // Every running fpverify of this test: its process and its argument.
    static QList<QPair<qint64, QString>> fpverifyProcesses();
    // The processes of this test's mount namespace: PID and arguments each.
    static QList<QPair<qint64, QList<QByteArray>>> processes();
    // "result" of the job's group in the status file (0 none).
    int resultOf(int jobId);
    // Waits up to 10 s for the message box ("警告") that the job's window gives way to and confirms
    // it, which ends fpverify; false when no box came.
    bool confirmOutcomeBox(int jobId, const QString& queue = QLatin1String(kQueue));
    // Presses and releases Return in the window with the given id.
    void pressReturn(const QString& window);
    // Runs xdotool on the rig's display; true when it exited with 0.
    bool xdotool(const QStringList& arguments, QByteArray* out = nullptr);
    // The argument fpverify is started with for a job of queue.
    static QString windowArgument(
        int jobId, const QString& queue = QLatin1String(kQueue), int seconds = kWindowSeconds);

private:
    struct DesktopUser {
        QString name;
        uid_t uid = 0;
        gid_t gid = 0;
        std::unique_ptr<QProcess> agent;
    };
    struct NetQueue {
        QString queue;
        std::unique_ptr<fpsim::SimulatedNetPrinter> printer;
    };

    bool fail(const QString& what);
    bool startAgent(DesktopUser& user);
    DesktopUser* user(const QString& name);
    static QStringList userArguments(const DesktopUser& user);
    QStringList desktopUserArguments() const;
    int submitWith(const QStringList& setprivArguments, const QByteArray& data, const QString& queue,
        const QStringList& options = QStringList());

    CupsSandbox m_cups;
    fpsim::SimulatedNetPrinter m_printer;
    fpsim::ControlClient m_usb;
    bool m_hasUsb = false;
    XvfbServer m_xvfb;
    std::vector<DesktopUser> m_users;
    std::vector<NetQueue> m_netQueues;
    int m_windowSeconds = kWindowSeconds;
    uid_t m_uid = 0;
    QString m_error;
};

#endif
