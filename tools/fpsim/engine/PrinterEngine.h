#pragma once
// One simulated printer's fingerprint unit, independent of how frames reach it.
//
// A front-end hands every received command frame to receiveFrame(); the printer executes it and
// queues its answer messages (status records, progress packets), which the front-end takes one at a
// time with takeReply() once they are due. Import data arrives through receiveBulk(); export data
// leaves through takeBulkIn(). Everything time-driven (finger presses, the export record, the end of
// an import, delayed answers) is a point in time on the SimClock, evaluated whenever the printer is
// asked something, so the engine needs no timers of its own.
//
// All public methods are thread-safe. The change listener, if set, is called (without any lock
// held) after every call that may have made an answer, bulk data or the plug state change; set it
// before the front-end starts.

#include "FaultPlan.h"
#include "FingerprintStore.h"
#include "SimClock.h"
#include "WireFormat.h"

#include <QList>
#include <QMutex>
#include <QRandomGenerator>
#include <QStringList>
#include <functional>
#include <optional>

namespace fpsim
{

struct PrinterConfig {
    // The device ID's MFG and MDL make CUPS' usb backend call the printer
    // usb://Simulated/ZPH6100RMX?serial=<serial>, the URI the tests give its queues.
    QByteArray model = "ZPH6100RMX";
    QByteArray manufacturer = "Simulated";
    QByteArray product = "ZPH6100RMX Series"; // USB product string
    QByteArray serial; // USB serial number (part of the device ID when set)
    int capacity = FingerprintStore::DefaultCapacity;
    bool autoFinger = false; // press a matching finger by itself while waiting
    int autoFingerMinMs = 1000; // automatic press this long after waiting starts ...
    int autoFingerMaxMs = 2000; // ... at most this long
    int nextWaitPressDelayMs = 100; // a press scripted "at the next wait" lands this long after it starts
    int exportDelayMs = 200; // "EXPT" accepted -> the export record is ready
    int importTimeMs = 300; // import stream complete -> import status 1 (or 2)
    int messageGapMs = 20; // spacing of several answer messages to one command
    int verifyTimeoutMs = 50000; // the reader gives up a verification after this long (0: never)
    int deviceIdDelayMs = 0; // USB GET_DEVICE_ID is answered this long after it arrives
    quint32 seed = 1; // random source of the automatic finger's timing
};

// A finger on the reader, scripted by a test or a person.
struct FingerPress {
    enum class Who { User, Unknown };
    enum class When { Now, AfterDelay, NextWait, Waiting }; // Waiting: now if the reader waits, else NextWait
    Who who = Who::User;
    QByteArray user; // Who::User: the enrolled (or to be enrolled) user whose finger this is
    When when = When::Now;
    int delayMs = 0; // AfterDelay: from now; NextWait: after the wait starts (-1: the configured delay)
};

// One message the printer sends in answer to a command.
struct ReplyMessage {
    QByteArray bytes;
    bool dropConnection = false; // instead of bytes: close the network connection / vanish from USB
};

// One line of the frame log.
struct FrameLogEntry {
    qint64 timeMs = 0;
    QString via; // "usb", "tcp", ...
    QByteArray bytes; // the frame as received (or the bulk piece)
    QString verdict; // what the printer made of it
    QString toString() const;
};

enum class Availability {
    Nothing, // nothing queued and nothing coming
    Later, // something is coming (at readyAtMs, or -1 if held indefinitely)
    Ready, // available now
};

enum class BulkOutResult { Accepted, Stalled, NotExpected };

// A print job as the printer received it: the bytes of one USB session or one connection to the
// print port. With authentication on (state 1) a complete job is held until a verification
// decides it: a match prints it, a failed or timed-out verification or "CANL" drops it.
enum class JobState { Receiving, Held, Printed, Dropped };

struct PrintJob {
    int id = 0;
    JobState state = JobState::Receiving;
    QString via; // "usb" or "net"
    QByteArray data;
    int heldEpoch = 0; // the verification decisions made before it was held

    static QString stateName(JobState state);
    // "id=N state=receiving|held|printed|dropped bytes=B via=usb|net"
    QString toString() const;
};

class PrinterEngine
{
public:
    PrinterEngine(const PrinterConfig& config, SimClock& clock);

    const PrinterConfig& config() const { return m_config; }
    void setChangeListener(std::function<void()> listener) { m_listener = std::move(listener); }

    // --- front-end side -------------------------------------------------------------------------
    // A complete command frame (header and payload) as received. Discards answers still queued.
    void receiveFrame(const QByteArray& frame, const QString& via);
    Availability replyAvailability(qint64* readyAtMs = nullptr);
    std::optional<ReplyMessage> takeReply();
    // Import data written by the host after an accepted "IMPT".
    bool expectsBulkOut();
    BulkOutResult receiveBulk(const QByteArray& data, const QString& via);
    // Export data for the host: at most `maxLength` bytes of the next message (never crossing two).
    Availability bulkInAvailability(qint64* readyAtMs = nullptr);
    QByteArray takeBulkIn(int maxLength);
    // IEEE 1284 device ID text: "MFG:...;CMD:PJL;MDL:<model>;CLS:PRINTER;" (+ "SN:<serial>;").
    QByteArray deviceId() const;
    // How long the USB GET_DEVICE_ID answer takes (--device-id-delay, "device-id-delay MS").
    int deviceIdDelay() const;
    void setDeviceIdDelay(int ms);
    bool isUnplugged() const;
    void setUnplugged(bool unplugged);
    // Re-evaluates timed events and calls the change listener.
    void poke();

    // --- print jobs ---------------------------------------------------------------------------
    // A front-end opens a job at the first print byte of a session and ends it when the session
    // ends; the job is then held or printed according to the authentication state.
    int beginJob(const QString& via);
    void receiveJobData(int jobId, const QByteArray& data);
    void endJob(int jobId);
    QList<PrintJob> jobs() const;
    std::optional<PrintJob> job(int jobId) const;
    void clearJobs();

    // --- printer state ------------------------------------------------------------------------
    int authState() const;
    void setAuthState(int rawState); // 0 off, 1 on; 2, 3, 4 (busy) are sent as they are

    QList<wire::Record> records() const;
    int capacity() const;
    void setCapacity(int capacity);
    quint16 nextFreeId() const;
    // Enrols directly (as if by two presses of the user's own finger). Nothing when full.
    std::optional<wire::Record> addUser(const QByteArray& name, quint16 preferredId = 0);
    bool removeUser(const QByteArray& name);
    void clearStore();
    QByteArray storeBytes() const;
    bool loadStore(const QByteArray& bytes, QString* error);

    // The template a user's own finger produces when it was never enrolled (stable per name).
    static QByteArray fingerTemplateOf(const QByteArray& user);

    // --- finger -------------------------------------------------------------------------------
    void pressFinger(const FingerPress& press);
    void clearFingerScript(); // "press nothing": forget every scripted press not yet made
    void setAutoFinger(bool on);
    bool autoFinger() const;

    // --- faults and log -----------------------------------------------------------------------
    void addFault(const FaultRule& rule);
    void clearFaults();
    QList<FaultRule> faults() const;
    QList<FrameLogEntry> frameLog() const;
    void clearFrameLog();

    // One line: "state=N operation=... status=N waiting=0|1 records=N unplugged=0|1 auto=0|1".
    QString describe() const;

private:
    enum class Operation { None, Verify, EnrolFirst, EnrolSecond, Import, Export };
    struct ScheduledPress {
        FingerPress::Who who;
        QByteArray user;
        qint64 atMs; // -1: at the next wait
        int delayAfterWait;
    };
    struct QueuedReply {
        ReplyMessage message;
        qint64 readyAtMs;
    };

    void advance(qint64 now);
    void startWaiting(qint64 now);
    void applyPress(FingerPress::Who who, const QByteArray& user, qint64 at);
    QByteArray templateForPress(FingerPress::Who who, const QByteArray& user);
    void finishImport(qint64 now);
    void startOperation(Operation op);
    QByteArray execute(
        const wire::Header& header, const QByteArray& frame, bool failInjected, qint64 now, QString* verdict);
    QByteArray refuse(QString* verdict, const QString& why);
    // The outcome of a verification for the oldest held job (or the job still arriving).
    void decideJob(JobState outcome, qint64 now, const QString& why);
    void cancelHeldJob(qint64 now);
    PrintJob* findJob(int jobId);
    void log(qint64 now, const QString& via, const QByteArray& bytes, const QString& verdict);
    void notify();

    const PrinterConfig m_config;
    SimClock& m_clock;
    std::function<void()> m_listener;
    mutable QMutex m_mutex;

    int m_authState = 0;
    int m_deviceIdDelayMs = m_config.deviceIdDelayMs;
    FingerprintStore m_store;
    bool m_unplugged = false;

    Operation m_operation = Operation::None;
    int m_status = 0; // "STUS": 0 running, 1 done, 2 failed
    bool m_waiting = false; // the reader waits for a finger
    bool m_failInjected = false; // the current operation is to fail
    std::optional<wire::Record> m_result; // "GETR" payload
    QByteArray m_enrolName;
    QByteArray m_firstTemplate;

    QList<ScheduledPress> m_presses;
    bool m_autoFinger = false;
    qint64 m_autoPressAt = -1;
    int m_unknownFingers = 0;
    QRandomGenerator m_random;

    QByteArray m_importStream;
    int m_importExpected = 0;
    qint64 m_importDoneAt = -1;
    bool m_bulkStalled = false;

    QList<wire::Record> m_exportSnapshot;
    qint64 m_exportReadyAt = -1;
    QList<QByteArray> m_bulkIn;

    qint64 m_verifyDeadline = -1;

    QList<PrintJob> m_jobs;
    int m_nextJobId = 1;
    int m_decisionEpoch = 0; // verification decisions so far
    std::optional<JobState> m_pendingDecision; // decided while the job was still arriving

    QList<QueuedReply> m_replies;
    FaultPlan m_faults;
    QList<FrameLogEntry> m_log;
};

} // namespace fpsim
