#pragma once
// Client side of the simulated printer (fpsim), for tests and tools.
//
// ControlClient talks to one simulated printer through its control socket. The control language
// (also usable by hand: `fpsim ctl PATH [COMMAND]`) is one command per line; the answer is zero or
// more data lines "* ..." and then "OK" or "ERR <reason>". User names are percent-encoded bytes.
//
//   ping                                   -> OK
//   info                                   -> model=..., serial=..., deviceid=...
//   status                                 -> state=N operation=none|verify|enrol-first|enrol-second|import|export
//                                             status=N waiting=0|1 records=N unplugged=0|1 auto=0|1
//   state [N]                              -> state=N (sets the authentication state byte first:
//                                             0 off, 1 on, raw 2/3, 4 busy)
//   store list                             -> id=N name=NAME per record, by ID
//   store count                            -> count=N capacity=N next=N (next free ID)
//   store add NAME [ID]                    -> id=N name=NAME (enrols NAME's own finger)
//   store remove NAME | store clear | store capacity N
//   store load PATH | store save PATH      (concatenated 546-byte records, as in *.fdl files)
//   finger press NAME [WHEN]               finger of user NAME (enrolled or not)
//   finger unknown [WHEN]                  a finger that matches nobody
//          WHEN: now (default; lost if the reader is not waiting), after=MS,
//                next [delay=MS] (at the next wait for a finger, MS after it starts; default 100)
//                waiting [delay=MS] (now while the reader waits, else as next)
//   finger none                            forget every scripted press not yet made
//   finger auto on|off                     press a matching finger 1-2 s into every wait
//   fault KIND[=ARG] [code=CODE] [count=N] inject a fault into the next N frames (default 1;
//                                          0 = until cleared) of CODE (default: any code)
//          KIND: busy, notready[=k], refuse, progress[=k], malformed, short[=bytes],
//                oversize[=bytes], delay[=ms], drop, unplug, stall, fail, importfail
//   fault list | fault clear
//   jobs                                   -> one line per print job, oldest first:
//                                             "id=N state=receiving|held|printed|dropped bytes=B via=usb|net"
//                                             (print data: USB bulk OUT outside an import, one job
//                                             per claim of the interface; TCP print port, one job
//                                             per connection. Authentication on (state 1): a whole
//                                             job is held until a verification matches (printed)
//                                             or fails, times out or gets "CANL" (dropped))
//   jobs save N PATH                       write job N's bytes to PATH
//   jobs clear                             forget every job
//   log                                    -> one line per received frame:
//                                             "<ms> <via> <CODE> <hex> <verdict>"
//   log clear | unplug | plug | quit | help
//
// All calls block (up to the client's time-out) and need no event loop.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QLocalSocket;

namespace fpsim
{

// One print job as the simulated printer reports it.
struct SimJob {
    int id = 0;
    QString state; // receiving, held, printed, dropped
    qint64 bytes = 0;
    QString via; // usb, net
};

class ControlClient
{
public:
    struct User {
        QByteArray name;
        quint16 id = 0;
    };

    ControlClient();
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // Connects to a control socket, retrying until `timeoutMs` passes (the printer may still be
    // starting). True when connected.
    bool connectTo(const QString& socketPath, int timeoutMs = 5000);
    bool isConnected() const;
    void disconnect();

    // Sends one command line. True for "OK"; `lines` gets the data lines without "* ", and
    // lastError() the reason of "ERR" (or of a broken connection).
    bool command(const QString& line, QStringList* lines = nullptr);
    QString lastError() const { return m_error; }
    void setTimeout(int ms) { m_timeoutMs = ms; }

    bool ping() { return command(QStringLiteral("ping")); }
    // -1 on failure.
    int state();
    bool setState(int rawState);
    QList<User> users();
    // The added record's ID, 0 on failure.
    quint16 addUser(const QByteArray& name, quint16 id = 0);
    bool removeUser(const QByteArray& name);
    bool clearStore() { return command(QStringLiteral("store clear")); }
    bool setCapacity(int records);
    bool loadStore(const QString& fdlPath);
    bool saveStore(const QString& fdlPath);

    bool pressFinger(const QByteArray& user); // now
    bool pressFingerAfter(const QByteArray& user, int delayMs);
    bool pressFingerAtNextWait(const QByteArray& user, int delayMs = -1);
    bool pressUnknownFinger(); // now
    bool pressUnknownFingerAtNextWait(int delayMs = -1);
    bool pressNothing() { return command(QStringLiteral("finger none")); }
    bool setAutoFinger(bool on);

    // `rule` as in the language above, e.g. "notready=3 code=STUS count=2".
    bool injectFault(const QString& rule);
    bool clearFaults() { return command(QStringLiteral("fault clear")); }

    // The "jobs" lines, oldest first; false when the command failed.
    bool jobs(QStringList* lines);
    // The same, parsed (empty on failure).
    QList<SimJob> jobList();
    bool saveJob(int id, const QString& path);
    bool clearJobs() { return command(QStringLiteral("jobs clear")); }

    QStringList frameLog();
    // The four-letter codes of the received frames, in order ("-" for frames under 4 bytes;
    // finger, import and export events are left out).
    QStringList receivedCodes();
    bool clearFrameLog() { return command(QStringLiteral("log clear")); }
    // The "status" line, empty on failure.
    QString status();

    bool unplug() { return command(QStringLiteral("unplug")); }
    bool plug() { return command(QStringLiteral("plug")); }
    bool quit() { return command(QStringLiteral("quit")); }

    static QString encodeName(const QByteArray& name);
    static QByteArray decodeName(const QString& text);

private:
    std::unique_ptr<QLocalSocket> m_socket;
    QString m_error;
    int m_timeoutMs = 10000;
};

} // namespace fpsim
