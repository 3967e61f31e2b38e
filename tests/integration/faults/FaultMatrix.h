#ifndef FAULTMATRIX_H
#define FAULTMATRIX_H

// The fault-injection matrix: every fingerprint operation of the library against every fault the
// simulated printer can commit. The cells are not written down twice: they are the tables of
// docs/fault-matrix.md (one per transport, a row per operation, a column per fault), which the
// tests read and run. Each cell gives the result the caller gets, the time within which it comes
// back, and whether the operation's effect is there afterwards ("applied") or everything is as
// before ("unchanged"); a last part says which harness runs it besides the in-process one on the
// fake clock ("engine", every cell): "e2e" (the built library against the real fpsim in real
// time) or "e2e-slow" (the same, for a cell that waits out a real time-out).

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <functional>

namespace faults
{

enum class Op { Status, On, Off, Check, Delete, DeleteAll, EnrolFirst, EnrolSecond, Verify, Export, Import };

struct Cell {
    QString operation; // "status", "on", ... as in the table
    Op op = Op::Status;
    QString transport; // "usb" or "net"
    QString fault; // fpsim fault rule, "none", or "short-export=BYTES"
    QString resultText; // as in the table
    int expected = 0; // the result as an int (true 1, false 0, identified 0, not identified 1)
    qint64 boundMs = 0; // the operation comes back within this time
    bool applied = false;
    QStringList tests; // "engine", "e2e", "e2e-slow"
    int line = 0; // line of the table row

    QString tag() const;
};

// Reads the table rows of the matrix document; an empty list and *error on a malformed row.
QList<Cell> loadMatrix(const QString& documentPath, QString* error);
QString matrixDocument(); // docs/fault-matrix.md of the source tree

// The printer's side, as a test steers it (fpsim's engine directly, or its control socket).
class PrinterSide
{
public:
    virtual ~PrinterSide() = default;
    // Plugged in, no faults, empty store, no finger scripted, authentication on.
    virtual bool reset() = 0;
    virtual bool setState(int state) = 0;
    virtual int state() = 0;
    virtual bool addUser(const QByteArray& name) = 0;
    virtual QList<QByteArray> users() = 0;
    virtual QByteArray storeBytes() = 0; // the store as an *.fdl file holds it
    virtual bool pressAtNextWait(const QByteArray& user) = 0;
    virtual bool injectFault(const QString& rule) = 0;
    // Power back on, faults cleared, nothing scripted.
    virtual bool recover() = 0;
    // A short export (the stream ends after `bytes`); false when this printer cannot do it.
    virtual bool cutExport(int bytes) = 0;
    virtual QString lastError() = 0;
};

// The library's functions as the tests call them (the built library's exports, or FingerCommon).
struct Calls {
    std::function<int(char*)> isDeviceFingerOpen;
    std::function<bool(char*)> openFinger;
    std::function<bool(char*)> closeFinger;
    std::function<int(char*, char*)> checkFinger;
    std::function<int(char*, char*)> deleteFinger;
    std::function<int(char*)> deleteFingers;
    std::function<int(char*, int, char*, int*)> addFinger;
    std::function<int(char*, char*)> importFinger;
    std::function<int(char*, char*, int*)> exportFinger;
    std::function<bool(char*, char*, short*)> isFingerPrint;
};

struct RunContext {
    PrinterSide* printer = nullptr;
    Calls calls;
    QByteArray uri; // the printer's device URI for this transport
    QString workDir; // where the export and import files go
    std::function<qint64()> nowMs;
    // What the transport left behind after an operation: "" when the device is closed and every
    // lock released, otherwise what is still held.
    std::function<QString()> checkReleased;
};

// Runs one cell. Returns "" when the result, the time bound and the state afterwards are as the
// row says, otherwise what differed. *result and *elapsedMs get what happened.
QString runCell(const Cell& cell, RunContext& context, int* result, qint64* elapsedMs);

} // namespace faults

Q_DECLARE_METATYPE(faults::Cell)

#endif
