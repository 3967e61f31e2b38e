#include "Fpctl.h"

#include "data/FdlFile.h"
#include "data/UserName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <thread>

namespace
{

constexpr char kSupportedModel[] = "ZPH6100RMX"; // the printer family the library supports
constexpr int kMaxUriBytes = 255; // the library's URI fields hold 255 bytes

QString quoted(const QString& name) { return QLatin1Char('\'') + name + QLatin1Char('\''); }

// Lines of a table whose columns are as wide as their widest cell.
QStringList table(const QStringList& header, const QList<QStringList>& rows)
{
    QList<qsizetype> widths;
    for (const QString& cell : header)
        widths << cell.size();
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    auto format = [&](const QStringList& row) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        return line;
    };
    QStringList lines { format(header) };
    for (const QStringList& row : rows)
        lines << format(row);
    return lines;
}

// Runs call (a library call that may wait minutes) with the console told what it waits for.
template <typename Call> auto waitingFor(Console& console, const QString& what, Call call)
{
    console.beginWait(what);
    const auto result = call();
    console.endWait();
    return result;
}

QString connectionOf(const QByteArray& uri)
{
    return uri.startsWith("usb://") ? QStringLiteral("usb") : QStringLiteral("network");
}

} // namespace

Fpctl::Fpctl(PrinterLibrary& library, Console& console)
    : m_library(library)
    , m_console(console)
{
}

Outcome Fpctl::run(const Invocation& inv)
{
    const QString& c = inv.command;
    if (c == QLatin1String("printers"))
        return printers(inv.all);
    if (c == QLatin1String("records"))
        return records(inv.arguments.value(0));

    // Every other command works on one printer: what can be refused without it is refused first
    // (a name that cannot be sent, a file that cannot be read or written), then the printer is
    // looked up, then the command talks to it.
    using Prepare = bool (Fpctl::*)(Request*, Outcome*);
    using Act = void (Fpctl::*)(const Target&, const Request&, Outcome*);
    struct PrinterCommand {
        const char* name;
        Prepare prepare; // may be null
        Act act;
    };
    static const PrinterCommand kCommands[] = {
        { "status", nullptr, &Fpctl::status },
        { "on", nullptr, &Fpctl::switchOn },
        { "off", nullptr, &Fpctl::switchOff },
        { "enrol", &Fpctl::prepareName, &Fpctl::enrol },
        { "check", &Fpctl::prepareName, &Fpctl::check },
        { "delete", &Fpctl::prepareName, &Fpctl::deleteOne },
        { "delete-all", nullptr, &Fpctl::deleteAll },
        { "export", &Fpctl::prepareExport, &Fpctl::exportRecords },
        { "import", &Fpctl::prepareImport, &Fpctl::importRecords },
        { "verify", nullptr, &Fpctl::verify },
    };

    Outcome outcome;
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
        [&c](const PrinterCommand& command) { return c == QLatin1String(command.name); });
    if (command == std::end(kCommands)) {
        outcome.fail(ExitCode::Usage, QStringLiteral("unknown command '%1'").arg(c));
        return outcome;
    }
    Request request;
    request.argument = inv.arguments.value(1);
    request.confirmed = inv.yes;
    request.timeoutSeconds = inv.timeoutSeconds > 0 ? inv.timeoutSeconds : kDefaultVerifyTimeout;
    Target target;
    if ((command->prepare && !(this->*command->prepare)(&request, &outcome))
        || !resolvePrinter(inv.arguments.value(0), &target, &outcome))
        return outcome;
    (this->*command->act)(target, request, &outcome);
    return outcome;
}

void Fpctl::requestCancel()
{
    {
        std::lock_guard<std::mutex> lock(m_cancelMutex);
        m_cancelRequested = true;
    }
    m_cancelWake.notify_all();
}

bool Fpctl::resolvePrinter(const QString& printer, Target* target, Outcome* outcome)
{
    if (printer.contains(QLatin1String("://"))) {
        const QByteArray uri = printer.toUtf8();
        if (uri.size() > kMaxUriBytes) {
            outcome->fail(ExitCode::Usage,
                QStringLiteral("the device URI is %1 bytes long; at most %2 are possible")
                    .arg(uri.size())
                    .arg(kMaxUriBytes));
            return false;
        }
        target->label = printer;
        target->uri = uri;
        setPrinter(*target, outcome);
        return true;
    }
    PrinterLibrary::Queue queue;
    if (printer.isEmpty() || !m_library.findQueue(printer.toUtf8(), &queue)) {
        outcome->fail(ExitCode::Unreachable, QStringLiteral("no CUPS queue is called %1").arg(quoted(printer)));
        return false;
    }
    if (!queue.model.contains(kSupportedModel)) {
        outcome->fail(ExitCode::Unreachable,
            QStringLiteral("the queue %1 is not a supported printer (its model is %2)")
                .arg(quoted(printer), quoted(QString::fromUtf8(queue.model))));
        return false;
    }
    target->label = printer;
    target->queue = printer;
    target->uri = queue.deviceUri;
    setPrinter(*target, outcome);
    return true;
}

void Fpctl::setPrinter(const Target& target, Outcome* outcome)
{
    QJsonObject printer;
    printer.insert(QStringLiteral("queue"), target.queue.isEmpty() ? QJsonValue() : QJsonValue(target.queue));
    printer.insert(QStringLiteral("uri"), QString::fromUtf8(target.uri));
    outcome->data.insert(QStringLiteral("printer"), printer);
}

bool Fpctl::prepareName(Request* request, Outcome* outcome)
{
    const QString& name = request->argument;
    const UserName::Encoded encoded = UserName::encode(name);
    if (encoded.problem != UserName::Problem::None) {
        outcome->fail(ExitCode::Usage, UserName::problemText(encoded, name));
        return false;
    }
    request->name = encoded.bytes;
    outcome->data.insert(QStringLiteral("name"), name);
    return true;
}

bool Fpctl::takeLibraryResult(
    const Target& target, int code, Outcome* outcome, const QList<Wording>& own, const QString& step)
{
    if (code == 0)
        return true;
    outcome->libraryCode = code;
    for (const Wording& wording : own) {
        if (wording.code == code) {
            outcome->fail(wording.exitCode,
                target.label + QLatin1String(": ") + wording.text + QStringLiteral(" (code %1)").arg(code));
            return false;
        }
    }
    const LibraryFailure failure = describeLibraryResult(code);
    outcome->fail(failure.exitCode, target.label + QLatin1String(": ") + step + failure.message);
    return false;
}

void Fpctl::diagnoseRefusal(const Target& target, const QString& what, Outcome* outcome)
{
    const int state = m_library.isDeviceFingerOpen(target.uri);
    if (state == 4)
        outcome->fail(ExitCode::Busy, QStringLiteral("%1: the printer's fingerprint unit is busy").arg(target.label));
    else if (state >= 0)
        outcome->fail(ExitCode::Failed, QStringLiteral("%1: the printer did not accept %2").arg(target.label, what));
    else if (m_library.isDeviceConnectForPrint(target.uri) == 0)
        outcome->fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
    else
        outcome->fail(ExitCode::Failed,
            QStringLiteral("%1: the printer refused %2, and the state query").arg(target.label, what));
}

Outcome Fpctl::printers(bool all)
{
    Outcome outcome;
    QJsonArray list;
    QList<QStringList> rows;
    // Queues switched to the fingerprint backend get a BACKEND column; without any, the
    // listing stays as it always was.
    bool anyThroughBackend = false;
    auto backendCell = [](bool through) { return through ? QStringLiteral("vrkt7x") : QStringLiteral("-"); };
    if (!all) {
        const QList<PrinterLibrary::SupportedPrinter> printers = m_library.supportedUsbPrinters();
        QSet<QByteArray> switched;
        if (!printers.isEmpty()) {
            for (const PrinterLibrary::Queue& q : m_library.cupsQueues()) {
                if (q.throughBackend)
                    switched.insert(q.name);
            }
        }
        for (const PrinterLibrary::SupportedPrinter& p : printers) {
            const QString name = QString::fromUtf8(p.name);
            const QString uri = QString::fromUtf8(p.deviceUri);
            const bool through = p.throughBackend || switched.contains(p.name);
            anyThroughBackend = anyThroughBackend || through;
            list.append(QJsonObject { { QStringLiteral("queue"), name }, { QStringLiteral("uri"), uri },
                { QStringLiteral("backend"), through } });
            rows << QStringList { name, uri, backendCell(through) };
        }
        QStringList header { QStringLiteral("QUEUE"), QStringLiteral("DEVICE URI"), QStringLiteral("BACKEND") };
        if (!anyThroughBackend) {
            header.removeLast();
            for (QStringList& row : rows)
                row.removeLast();
        }
        if (rows.isEmpty())
            outcome.lines << QStringLiteral("No supported USB printer is installed.");
        else
            outcome.lines = table(header, rows);
    } else {
        for (const PrinterLibrary::Queue& q : m_library.cupsQueues()) {
            const QString name = QString::fromUtf8(q.name);
            const bool supported = q.model.contains(kSupportedModel);
            const QString connection = connectionOf(q.deviceUri);
            anyThroughBackend = anyThroughBackend || q.throughBackend;
            list.append(QJsonObject { { QStringLiteral("queue"), name },
                { QStringLiteral("model"), QString::fromUtf8(q.model) },
                { QStringLiteral("uri"), QString::fromUtf8(q.deviceUri) }, { QStringLiteral("connection"), connection },
                { QStringLiteral("supported"), supported }, { QStringLiteral("default"), q.isDefault },
                { QStringLiteral("backend"), q.throughBackend } });
            rows << QStringList { q.isDefault ? name + QLatin1Char('*') : name,
                supported ? QStringLiteral("yes") : QStringLiteral("no"), connection, QString::fromUtf8(q.model),
                QString::fromUtf8(q.deviceUri) };
            rows.last().insert(3, backendCell(q.throughBackend));
        }
        QStringList header { QStringLiteral("QUEUE"), QStringLiteral("SUPPORTED"), QStringLiteral("CONNECTION"),
            QStringLiteral("BACKEND"), QStringLiteral("MODEL"), QStringLiteral("DEVICE URI") };
        if (!anyThroughBackend) {
            header.removeAt(3);
            for (QStringList& row : rows)
                row.removeAt(3);
        }
        if (rows.isEmpty())
            outcome.lines << QStringLiteral("CUPS has no queues.");
        else
            outcome.lines = table(header, rows);
    }
    outcome.data.insert(QStringLiteral("printers"), list);
    return outcome;
}

void Fpctl::status(const Target& target, const Request&, Outcome* outcome)
{
    const int state = m_library.isDeviceFingerOpen(target.uri);
    if (state < 0) {
        outcome->libraryCode = state;
        outcome->fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return;
    }
    QString word;
    QString line;
    if (state == 1 || state == 3) {
        word = QStringLiteral("on");
        line = QStringLiteral("%1: fingerprint authentication is on").arg(target.label);
    } else if (state == 4) {
        word = QStringLiteral("busy");
        line = QStringLiteral("%1: the fingerprint unit is busy").arg(target.label);
    } else {
        word = QStringLiteral("off");
        line = QStringLiteral("%1: fingerprint authentication is off").arg(target.label);
    }
    outcome->lines << line;
    outcome->data.insert(QStringLiteral("state"), word);
    outcome->data.insert(QStringLiteral("state_byte"), state);
    outcome->data.insert(QStringLiteral("connection"), connectionOf(target.uri));
}

void Fpctl::switchOn(const Target& target, const Request&, Outcome* outcome)
{
    switchAuthentication(target, true, outcome);
}

void Fpctl::switchOff(const Target& target, const Request&, Outcome* outcome)
{
    switchAuthentication(target, false, outcome);
}

void Fpctl::switchAuthentication(const Target& target, bool on, Outcome* outcome)
{
    const bool done = on ? m_library.openFinger(target.uri) : m_library.closeFinger(target.uri);
    if (!done) {
        diagnoseRefusal(target,
            on ? QStringLiteral("the command to switch authentication on")
               : QStringLiteral("the command to switch authentication off"),
            outcome);
        return;
    }
    const QString word = on ? QStringLiteral("on") : QStringLiteral("off");
    outcome->lines << QStringLiteral("%1: fingerprint authentication switched %2").arg(target.label, word);
    outcome->data.insert(QStringLiteral("state"), word);
}

void Fpctl::enrol(const Target& target, const Request& request, Outcome* outcome)
{
    int index = -1;
    m_console.prompt(
        QStringLiteral("Press the finger of %1 on the reader of %2.").arg(quoted(request.argument), target.label));
    int result = waitingFor(m_console, QStringLiteral("waiting for the finger on the reader"),
        [&] { return m_library.addFinger(target.uri, 0, request.name, &index); });
    if (!takeLibraryResult(target, result, outcome,
            { { 7, ExitCode::Failed, QStringLiteral("the first press failed, or no finger was pressed in time") } },
            QStringLiteral("first press: ")))
        return;
    outcome->data.insert(QStringLiteral("first_press"), true);

    m_console.prompt(QStringLiteral("Lift the finger, then press it on the reader again."));
    result = waitingFor(m_console, QStringLiteral("waiting for the second press"),
        [&] { return m_library.addFinger(target.uri, 1, request.name, &index); });
    if (!takeLibraryResult(target, result, outcome,
            { { 9, ExitCode::Failed,
                QStringLiteral("the second press failed or was not made in time, or the "
                               "printer enrolled another name") } },
            QStringLiteral("second press: ")))
        return;
    outcome->lines
        << QStringLiteral("Enrolled %1 on %2 (index %3).").arg(quoted(request.argument), target.label).arg(index);
    outcome->data.insert(QStringLiteral("index"), index);
}

void Fpctl::check(const Target& target, const Request& request, Outcome* outcome)
{
    const int result = m_library.checkFinger(target.uri, request.name);
    if (result == 14) {
        // A plain answer, not an error: said on standard output, told apart by the exit code.
        outcome->exitCode = ExitCode::NotEnrolled;
        outcome->libraryCode = result;
        outcome->lines << QStringLiteral("%1 is not enrolled on %2.").arg(quoted(request.argument), target.label);
        outcome->data.insert(QStringLiteral("enrolled"), false);
        return;
    }
    if (!takeLibraryResult(target, result, outcome))
        return;
    outcome->lines << QStringLiteral("%1 is enrolled on %2.").arg(quoted(request.argument), target.label);
    outcome->data.insert(QStringLiteral("enrolled"), true);
}

void Fpctl::deleteOne(const Target& target, const Request& request, Outcome* outcome)
{
    const int result = m_library.deleteFinger(target.uri, request.name);
    if (!takeLibraryResult(target, result, outcome,
            { { 14, ExitCode::NotEnrolled, quoted(request.argument) + QLatin1String(" is not enrolled") } }))
        return;
    outcome->lines
        << QStringLiteral("Deleted the fingerprints of %1 on %2.").arg(quoted(request.argument), target.label);
}

void Fpctl::deleteAll(const Target& target, const Request& request, Outcome* outcome)
{
    if (!request.confirmed
        && !m_console.confirm(QStringLiteral("Delete every fingerprint on %1? [y/N] ").arg(target.label))) {
        outcome->fail(ExitCode::Cancelled, QStringLiteral("not confirmed; nothing was deleted"));
        return;
    }
    if (!takeLibraryResult(target, m_library.deleteFingers(target.uri), outcome))
        return;
    outcome->lines << QStringLiteral("Deleted every fingerprint on %1.").arg(target.label);
}

bool Fpctl::prepareExport(Request* request, Outcome* outcome)
{
    const QString& file = request->argument;
    const QFileInfo info(file);
    request->path = info.absoluteFilePath();
    outcome->data.insert(QStringLiteral("file"), request->path);
    // Found out before the printer is asked: the transfer may take minutes.
    if (info.isDir()) {
        outcome->fail(ExitCode::FileError, QStringLiteral("%1: is a directory").arg(file));
        return false;
    }
    const QFileInfo directory(info.absolutePath());
    if (!directory.isDir() || !directory.isWritable()) {
        outcome->fail(
            ExitCode::FileError, QStringLiteral("%1: cannot create files in %2").arg(file, info.absolutePath()));
        return false;
    }
    return true;
}

void Fpctl::exportRecords(const Target& target, const Request& request, Outcome* outcome)
{
    const QString& file = request.argument;
    const QString& path = request.path;
    int count = 0;
    const int result = waitingFor(m_console, QStringLiteral("waiting for the printer's records"),
        [&] { return m_library.exportFinger(target.uri, QFile::encodeName(path), &count); });
    if (!takeLibraryResult(target, result, outcome,
            { { -1, ExitCode::Failed, QStringLiteral("export works only with printers on USB") } }))
        return;
    if (count <= 0) {
        outcome->lines << QStringLiteral("%1 holds no fingerprints; %2 was not written.").arg(target.label, file);
        outcome->data.insert(QStringLiteral("records"), 0);
        outcome->data.insert(QStringLiteral("written"), false);
        return;
    }
    const qint64 expected = qint64(count) * FdlFile::kRecordBytes;
    const qint64 size = QFileInfo(path).size();
    if (!QFileInfo::exists(path) || size != expected) {
        outcome->fail(ExitCode::FileError,
            QStringLiteral("%1: the printer sent %2 records, but the file holds %3 bytes "
                           "instead of %4")
                .arg(file)
                .arg(count)
                .arg(size)
                .arg(expected));
        return;
    }
    outcome->lines << QStringLiteral("Exported %1 fingerprint record%2 from %3 to %4.")
                          .arg(count)
                          .arg(count == 1 ? QString() : QStringLiteral("s"))
                          .arg(target.label, file);
    outcome->data.insert(QStringLiteral("records"), count);
    outcome->data.insert(QStringLiteral("written"), true);
}

bool Fpctl::prepareImport(Request* request, Outcome* outcome)
{
    const QString& file = request->argument;
    request->path = QFileInfo(file).absoluteFilePath();
    outcome->data.insert(QStringLiteral("file"), request->path);
    FdlFile::Contents contents;
    QString error;
    if (!FdlFile::read(request->path, &contents, &error)) {
        outcome->fail(ExitCode::FileError, error.replace(request->path, file));
        return false;
    }
    const qint64 size = qint64(contents.records.size()) * FdlFile::kRecordBytes + contents.trailingBytes;
    if (size == 0) {
        outcome->fail(ExitCode::FileError, QStringLiteral("%1: the file is empty").arg(file));
        return false;
    }
    if (contents.trailingBytes != 0) {
        outcome->fail(ExitCode::FileError,
            QStringLiteral("%1: not a fingerprint data file (%2 bytes is not a whole number "
                           "of %3-byte records)")
                .arg(file)
                .arg(size)
                .arg(FdlFile::kRecordBytes));
        return false;
    }
    if (contents.records.size() > FdlFile::kMaxImportRecords) {
        outcome->fail(ExitCode::FileError,
            QStringLiteral("%1: %2 records are more than a printer takes at once (%3)")
                .arg(file)
                .arg(contents.records.size())
                .arg(FdlFile::kMaxImportRecords));
        return false;
    }
    request->records = contents.records.size();
    return true;
}

void Fpctl::importRecords(const Target& target, const Request& request, Outcome* outcome)
{
    const int result = waitingFor(m_console, QStringLiteral("waiting for the printer to take the records"),
        [&] { return m_library.importFinger(target.uri, QFile::encodeName(request.path)); });
    if (!takeLibraryResult(target, result, outcome,
            { { 5, ExitCode::Failed, QStringLiteral("the printer reported that the import failed") } }))
        return;
    const qsizetype count = request.records;
    outcome->lines << QStringLiteral("Imported %1 fingerprint record%2 from %3 into %4.")
                          .arg(count)
                          .arg(count == 1 ? QString() : QStringLiteral("s"))
                          .arg(request.argument, target.label);
    outcome->data.insert(QStringLiteral("records"), count);
}

Outcome Fpctl::records(const QString& file)
{
    Outcome outcome;
    const QString path = QFileInfo(file).absoluteFilePath();
    outcome.data.insert(QStringLiteral("file"), path);
    FdlFile::Contents contents;
    QString error;
    if (!FdlFile::read(path, &contents, &error)) {
        outcome.fail(ExitCode::FileError, error.replace(path, file));
        return outcome;
    }
    QJsonArray list;
    QList<QStringList> rows;
    for (const FdlFile::Record& record : contents.records) {
        const QString name = UserName::decode(record.name);
        list.append(QJsonObject { { QStringLiteral("id"), record.id }, { QStringLiteral("name"), name },
            { QStringLiteral("name_hex"), QString::fromLatin1(record.name.toHex()) } });
        rows << QStringList { QString::number(record.id).rightJustified(5), name };
    }
    const qsizetype count = contents.records.size();
    outcome.lines
        << QStringLiteral("%1: %2 record%3").arg(file).arg(count).arg(count == 1 ? QString() : QStringLiteral("s"));
    if (!rows.isEmpty())
        outcome.lines << table({ QStringLiteral("   ID"), QStringLiteral("NAME") }, rows);
    if (contents.trailingBytes > 0)
        outcome.lines
            << QStringLiteral("%1 bytes after the last whole record are not a record.").arg(contents.trailingBytes);
    outcome.data.insert(QStringLiteral("count"), count);
    outcome.data.insert(QStringLiteral("records"), list);
    outcome.data.insert(QStringLiteral("trailing_bytes"), contents.trailingBytes);
    return outcome;
}

void Fpctl::verify(const Target& target, const Request& request, Outcome* outcome)
{
    const int timeoutSeconds = request.timeoutSeconds;
    using Clock = std::chrono::steady_clock;

    // The checks a print job makes before it waits for a finger.
    if (m_library.isDeviceConnectForPrint(target.uri) == 0) {
        outcome->fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return;
    }
    const int state = m_library.isDeviceFingerOpenForPrint(target.uri);
    if (state < 0) {
        outcome->libraryCode = state;
        outcome->fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return;
    }
    if (state == 4) {
        outcome->libraryCode = state;
        outcome->fail(ExitCode::Busy, QStringLiteral("%1: the printer's fingerprint unit is busy").arg(target.label));
        return;
    }
    if (state != 1) {
        outcome->fail(ExitCode::Failed,
            QStringLiteral("%1: fingerprint authentication is off; switch it on with 'fpctl on %1'").arg(target.label));
        return;
    }

    {
        std::lock_guard<std::mutex> lock(m_cancelMutex);
        if (m_cancelRequested) {
            outcome->fail(ExitCode::Cancelled, QStringLiteral("cancelled"));
            return;
        }
        m_verifying = true;
    }
    m_console.prompt(QStringLiteral("Press a finger on the reader of %1 (waiting up to %2 s; Ctrl-C cancels).")
                         .arg(target.label)
                         .arg(timeoutSeconds));

    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    bool timedOut = false;
    // Tells the library to cancel once the user asked or the time is up, and again every
    // m_cancelRepeat until the verification has ended: a cancel that arrives before the library
    // has started its verification is dropped by it.
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m_cancelMutex);
        bool stopping = false;
        while (m_verifying) {
            if (!stopping) {
                if (m_cancelRequested) {
                    stopping = true;
                } else if (Clock::now() >= deadline) {
                    timedOut = true;
                    stopping = true;
                }
            }
            if (stopping) {
                lock.unlock();
                m_library.cancelFingerPrint();
                lock.lock();
                m_cancelWake.wait_for(lock, m_cancelRepeat, [&] { return !m_verifying; });
            } else {
                m_cancelWake.wait_until(lock, deadline, [&] { return !m_verifying || m_cancelRequested; });
            }
        }
    });

    QByteArray user;
    short index = 0;
    const bool identified = m_library.identifyFinger(target.uri, &user, &index);
    {
        std::lock_guard<std::mutex> lock(m_cancelMutex);
        m_verifying = false;
    }
    m_cancelWake.notify_all();
    watchdog.join();

    outcome->data.insert(QStringLiteral("identified"), identified);
    if (identified) {
        const QString name = UserName::decode(user);
        outcome->lines
            << QStringLiteral("Identified %1 (index %2) on %3.").arg(quoted(name)).arg(index).arg(target.label);
        outcome->data.insert(QStringLiteral("name"), name);
        outcome->data.insert(QStringLiteral("name_hex"), QString::fromLatin1(user.toHex()));
        outcome->data.insert(QStringLiteral("index"), index);
        return;
    }
    if (m_cancelRequested) {
        outcome->fail(
            ExitCode::Cancelled, QStringLiteral("%1: cancelled; the printer stopped waiting").arg(target.label));
    } else if (timedOut) {
        outcome->fail(ExitCode::Timeout,
            QStringLiteral("%1: no finger was identified within %2 s").arg(target.label).arg(timeoutSeconds));
    } else {
        outcome->fail(ExitCode::NotEnrolled,
            QStringLiteral("%1: no enrolled finger was identified (no match, or the printer gave up)")
                .arg(target.label));
        outcome->errorKind = QStringLiteral("no-match");
    }
    return;
}
