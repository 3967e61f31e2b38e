#include "Fpctl.h"

#include "data/FdlFile.h"
#include "data/UserName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <thread>

namespace {

constexpr char kSupportedModel[] = "ZPH6100RMX"; // the printer family the library supports
constexpr int kMaxUriBytes = 255;                // the library's URI fields hold 255 bytes

QString quoted(const QString& name)
{
    return QLatin1Char('\'') + name + QLatin1Char('\'');
}

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
    QStringList lines{format(header)};
    for (const QStringList& row : rows)
        lines << format(row);
    return lines;
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
    const QStringList& a = inv.arguments;
    if (c == QLatin1String("printers"))
        return printers(inv.all);
    if (c == QLatin1String("status"))
        return status(a.value(0));
    if (c == QLatin1String("on") || c == QLatin1String("off"))
        return switchAuthentication(a.value(0), c == QLatin1String("on"));
    if (c == QLatin1String("enrol"))
        return enrol(a.value(0), a.value(1));
    if (c == QLatin1String("check"))
        return check(a.value(0), a.value(1));
    if (c == QLatin1String("delete"))
        return deleteOne(a.value(0), a.value(1));
    if (c == QLatin1String("delete-all"))
        return deleteAll(a.value(0), inv.yes);
    if (c == QLatin1String("export"))
        return exportRecords(a.value(0), a.value(1));
    if (c == QLatin1String("import"))
        return importRecords(a.value(0), a.value(1));
    if (c == QLatin1String("records"))
        return records(a.value(0));
    if (c == QLatin1String("verify"))
        return verify(a.value(0), inv.timeoutSeconds > 0 ? inv.timeoutSeconds : kDefaultVerifyTimeout);
    Outcome outcome;
    outcome.fail(ExitCode::Usage, QStringLiteral("unknown command '%1'").arg(c));
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
        outcome->fail(ExitCode::Unreachable, QStringLiteral("the queue %1 is not a supported printer (its model is %2)")
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

bool Fpctl::encodeName(const QString& name, QByteArray* bytes, Outcome* outcome)
{
    const UserName::Encoded encoded = UserName::encode(name);
    if (encoded.problem != UserName::Problem::None) {
        outcome->fail(ExitCode::Usage, UserName::problemText(encoded, name));
        return false;
    }
    *bytes = encoded.bytes;
    outcome->data.insert(QStringLiteral("name"), name);
    return true;
}

bool Fpctl::takeLibraryResult(int code, Outcome* outcome)
{
    if (code == 0)
        return true;
    const LibraryFailure failure = describeLibraryResult(code);
    outcome->libraryCode = code;
    outcome->fail(failure.exitCode, failure.message);
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
        outcome->fail(ExitCode::Failed, QStringLiteral("%1: the printer refused %2, and the state query").arg(target.label, what));
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
            list.append(QJsonObject{{QStringLiteral("queue"), name}, {QStringLiteral("uri"), uri},
                                    {QStringLiteral("backend"), through}});
            rows << QStringList{name, uri, backendCell(through)};
        }
        QStringList header{QStringLiteral("QUEUE"), QStringLiteral("DEVICE URI"), QStringLiteral("BACKEND")};
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
            list.append(QJsonObject{{QStringLiteral("queue"), name},
                                    {QStringLiteral("model"), QString::fromUtf8(q.model)},
                                    {QStringLiteral("uri"), QString::fromUtf8(q.deviceUri)},
                                    {QStringLiteral("connection"), connection},
                                    {QStringLiteral("supported"), supported},
                                    {QStringLiteral("default"), q.isDefault},
                                    {QStringLiteral("backend"), q.throughBackend}});
            rows << QStringList{q.isDefault ? name + QLatin1Char('*') : name,
                                supported ? QStringLiteral("yes") : QStringLiteral("no"), connection,
                                QString::fromUtf8(q.model), QString::fromUtf8(q.deviceUri)};
            rows.last().insert(3, backendCell(q.throughBackend));
        }
        QStringList header{QStringLiteral("QUEUE"), QStringLiteral("SUPPORTED"), QStringLiteral("CONNECTION"),
                           QStringLiteral("BACKEND"), QStringLiteral("MODEL"), QStringLiteral("DEVICE URI")};
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

Outcome Fpctl::status(const QString& printer)
{
    Outcome outcome;
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;
    const int state = m_library.isDeviceFingerOpen(target.uri);
    if (state < 0) {
        outcome.libraryCode = state;
        outcome.fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return outcome;
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
    outcome.lines << line;
    outcome.data.insert(QStringLiteral("state"), word);
    outcome.data.insert(QStringLiteral("state_byte"), state);
    outcome.data.insert(QStringLiteral("connection"), connectionOf(target.uri));
    return outcome;
}

Outcome Fpctl::switchAuthentication(const QString& printer, bool on)
{
    Outcome outcome;
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;
    const bool done = on ? m_library.openFinger(target.uri) : m_library.closeFinger(target.uri);
    if (!done) {
        diagnoseRefusal(target, on ? QStringLiteral("the command to switch authentication on")
                                   : QStringLiteral("the command to switch authentication off"),
                        &outcome);
        return outcome;
    }
    const QString word = on ? QStringLiteral("on") : QStringLiteral("off");
    outcome.lines << QStringLiteral("%1: fingerprint authentication switched %2").arg(target.label, word);
    outcome.data.insert(QStringLiteral("state"), word);
    return outcome;
}

Outcome Fpctl::enrol(const QString& printer, const QString& name)
{
    Outcome outcome;
    QByteArray bytes;
    Target target;
    if (!encodeName(name, &bytes, &outcome) || !resolvePrinter(printer, &target, &outcome))
        return outcome;

    int index = -1;
    m_console.prompt(QStringLiteral("Press the finger of %1 on the reader of %2.").arg(quoted(name), target.label));
    int result = m_library.addFinger(target.uri, 0, bytes, &index);
    if (result == 7) {
        outcome.libraryCode = result;
        outcome.fail(ExitCode::Failed,
                     QStringLiteral("%1: the first press failed, or no finger was pressed in time (code 7)").arg(target.label));
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": first press: ") + outcome.error;
        return outcome;
    }
    outcome.data.insert(QStringLiteral("first_press"), true);

    m_console.prompt(QStringLiteral("Lift the finger, then press it on the reader again."));
    result = m_library.addFinger(target.uri, 1, bytes, &index);
    if (result == 9) {
        outcome.libraryCode = result;
        outcome.fail(ExitCode::Failed, QStringLiteral("%1: the second press failed or was not made in time, or the printer "
                                                      "enrolled another name (code 9)")
                                           .arg(target.label));
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": second press: ") + outcome.error;
        return outcome;
    }
    outcome.lines << QStringLiteral("Enrolled %1 on %2 (index %3).").arg(quoted(name), target.label).arg(index);
    outcome.data.insert(QStringLiteral("index"), index);
    return outcome;
}

Outcome Fpctl::check(const QString& printer, const QString& name)
{
    Outcome outcome;
    QByteArray bytes;
    Target target;
    if (!encodeName(name, &bytes, &outcome) || !resolvePrinter(printer, &target, &outcome))
        return outcome;
    const int result = m_library.checkFinger(target.uri, bytes);
    if (result == 14) {
        // A plain answer, not an error: said on standard output, told apart by the exit code.
        outcome.exitCode = ExitCode::NotEnrolled;
        outcome.libraryCode = result;
        outcome.lines << QStringLiteral("%1 is not enrolled on %2.").arg(quoted(name), target.label);
        outcome.data.insert(QStringLiteral("enrolled"), false);
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": ") + outcome.error;
        return outcome;
    }
    outcome.lines << QStringLiteral("%1 is enrolled on %2.").arg(quoted(name), target.label);
    outcome.data.insert(QStringLiteral("enrolled"), true);
    return outcome;
}

Outcome Fpctl::deleteOne(const QString& printer, const QString& name)
{
    Outcome outcome;
    QByteArray bytes;
    Target target;
    if (!encodeName(name, &bytes, &outcome) || !resolvePrinter(printer, &target, &outcome))
        return outcome;
    const int result = m_library.deleteFinger(target.uri, bytes);
    if (result == 14) {
        outcome.libraryCode = result;
        outcome.fail(ExitCode::NotEnrolled,
                     QStringLiteral("%1: %2 is not enrolled (code 14)").arg(target.label, quoted(name)));
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": ") + outcome.error;
        return outcome;
    }
    outcome.lines << QStringLiteral("Deleted the fingerprints of %1 on %2.").arg(quoted(name), target.label);
    return outcome;
}

Outcome Fpctl::deleteAll(const QString& printer, bool confirmed)
{
    Outcome outcome;
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;
    if (!confirmed
        && !m_console.confirm(QStringLiteral("Delete every fingerprint on %1? [y/N] ").arg(target.label))) {
        outcome.fail(ExitCode::Cancelled, QStringLiteral("not confirmed; nothing was deleted"));
        return outcome;
    }
    if (!takeLibraryResult(m_library.deleteFingers(target.uri), &outcome)) {
        outcome.error = target.label + QLatin1String(": ") + outcome.error;
        return outcome;
    }
    outcome.lines << QStringLiteral("Deleted every fingerprint on %1.").arg(target.label);
    return outcome;
}

Outcome Fpctl::exportRecords(const QString& printer, const QString& file)
{
    Outcome outcome;
    const QFileInfo info(file);
    const QString path = info.absoluteFilePath();
    outcome.data.insert(QStringLiteral("file"), path);
    // Found out before the printer is asked: the transfer may take minutes.
    if (info.isDir()) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: is a directory").arg(file));
        return outcome;
    }
    const QFileInfo directory(info.absolutePath());
    if (!directory.isDir() || !directory.isWritable()) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: cannot create files in %2").arg(file, info.absolutePath()));
        return outcome;
    }
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;

    int count = 0;
    const int result = m_library.exportFinger(target.uri, QFile::encodeName(path), &count);
    if (result == -1) {
        outcome.libraryCode = result;
        outcome.fail(ExitCode::Failed, QStringLiteral("%1: export works only with printers on USB (code -1)").arg(target.label));
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": ") + outcome.error;
        return outcome;
    }
    if (count <= 0) {
        outcome.lines << QStringLiteral("%1 holds no fingerprints; %2 was not written.").arg(target.label, file);
        outcome.data.insert(QStringLiteral("records"), 0);
        outcome.data.insert(QStringLiteral("written"), false);
        return outcome;
    }
    const qint64 expected = qint64(count) * FdlFile::kRecordBytes;
    const qint64 size = QFileInfo(path).size();
    if (!QFileInfo::exists(path) || size != expected) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: the printer sent %2 records, but the file holds %3 bytes "
                                                         "instead of %4")
                                              .arg(file)
                                              .arg(count)
                                              .arg(size)
                                              .arg(expected));
        return outcome;
    }
    outcome.lines << QStringLiteral("Exported %1 fingerprint record%2 from %3 to %4.")
                         .arg(count)
                         .arg(count == 1 ? QString() : QStringLiteral("s"))
                         .arg(target.label, file);
    outcome.data.insert(QStringLiteral("records"), count);
    outcome.data.insert(QStringLiteral("written"), true);
    return outcome;
}

Outcome Fpctl::importRecords(const QString& printer, const QString& file)
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
    const qint64 size = qint64(contents.records.size()) * FdlFile::kRecordBytes + contents.trailingBytes;
    if (size == 0) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: the file is empty").arg(file));
        return outcome;
    }
    if (contents.trailingBytes != 0) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: not a fingerprint data file (%2 bytes is not a whole number "
                                                         "of %3-byte records)")
                                              .arg(file)
                                              .arg(size)
                                              .arg(FdlFile::kRecordBytes));
        return outcome;
    }
    if (contents.records.size() > FdlFile::kMaxImportRecords) {
        outcome.fail(ExitCode::FileError, QStringLiteral("%1: %2 records are more than a printer takes at once (%3)")
                                              .arg(file)
                                              .arg(contents.records.size())
                                              .arg(FdlFile::kMaxImportRecords));
        return outcome;
    }
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;
    const int result = m_library.importFinger(target.uri, QFile::encodeName(path));
    if (result == 5) {
        outcome.libraryCode = result;
        outcome.fail(ExitCode::Failed, QStringLiteral("%1: the printer reported that the import failed (code 5)").arg(target.label));
        return outcome;
    }
    if (!takeLibraryResult(result, &outcome)) {
        outcome.error = target.label + QLatin1String(": ") + outcome.error;
        return outcome;
    }
    const qsizetype count = contents.records.size();
    outcome.lines << QStringLiteral("Imported %1 fingerprint record%2 from %3 into %4.")
                         .arg(count)
                         .arg(count == 1 ? QString() : QStringLiteral("s"))
                         .arg(file, target.label);
    outcome.data.insert(QStringLiteral("records"), count);
    return outcome;
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
        list.append(QJsonObject{{QStringLiteral("id"), record.id},
                                {QStringLiteral("name"), name},
                                {QStringLiteral("name_hex"), QString::fromLatin1(record.name.toHex())}});
        rows << QStringList{QString::number(record.id).rightJustified(5), name};
    }
    const qsizetype count = contents.records.size();
    outcome.lines << QStringLiteral("%1: %2 record%3").arg(file).arg(count).arg(count == 1 ? QString() : QStringLiteral("s"));
    if (!rows.isEmpty())
        outcome.lines << table({QStringLiteral("   ID"), QStringLiteral("NAME")}, rows);
    if (contents.trailingBytes > 0)
        outcome.lines << QStringLiteral("%1 bytes after the last whole record are not a record.").arg(contents.trailingBytes);
    outcome.data.insert(QStringLiteral("count"), count);
    outcome.data.insert(QStringLiteral("records"), list);
    outcome.data.insert(QStringLiteral("trailing_bytes"), contents.trailingBytes);
    return outcome;
}

Outcome Fpctl::verify(const QString& printer, int timeoutSeconds)
{
    using Clock = std::chrono::steady_clock;
    Outcome outcome;
    Target target;
    if (!resolvePrinter(printer, &target, &outcome))
        return outcome;

    // The checks a print job makes before it waits for a finger.
    if (m_library.isDeviceConnectForPrint(target.uri) == 0) {
        outcome.fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return outcome;
    }
    const int state = m_library.isDeviceFingerOpenForPrint(target.uri);
    if (state < 0) {
        outcome.libraryCode = state;
        outcome.fail(ExitCode::Unreachable, QStringLiteral("%1: the printer does not answer").arg(target.label));
        return outcome;
    }
    if (state == 4) {
        outcome.libraryCode = state;
        outcome.fail(ExitCode::Busy, QStringLiteral("%1: the printer's fingerprint unit is busy").arg(target.label));
        return outcome;
    }
    if (state != 1) {
        outcome.fail(ExitCode::Failed, QStringLiteral("%1: fingerprint authentication is off; switch it on with 'fpctl on %1'")
                                           .arg(target.label));
        return outcome;
    }

    {
        std::lock_guard<std::mutex> lock(m_cancelMutex);
        if (m_cancelRequested) {
            outcome.fail(ExitCode::Cancelled, QStringLiteral("cancelled"));
            return outcome;
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

    outcome.data.insert(QStringLiteral("identified"), identified);
    if (identified) {
        const QString name = UserName::decode(user);
        outcome.lines << QStringLiteral("Identified %1 (index %2) on %3.").arg(quoted(name)).arg(index).arg(target.label);
        outcome.data.insert(QStringLiteral("name"), name);
        outcome.data.insert(QStringLiteral("name_hex"), QString::fromLatin1(user.toHex()));
        outcome.data.insert(QStringLiteral("index"), index);
        return outcome;
    }
    if (m_cancelRequested) {
        outcome.fail(ExitCode::Cancelled, QStringLiteral("%1: cancelled; the printer stopped waiting").arg(target.label));
    } else if (timedOut) {
        outcome.fail(ExitCode::Timeout,
                     QStringLiteral("%1: no finger was identified within %2 s").arg(target.label).arg(timeoutSeconds));
    } else {
        outcome.fail(ExitCode::NotEnrolled,
                     QStringLiteral("%1: no enrolled finger was identified (no match, or the printer gave up)").arg(target.label));
        outcome.errorKind = QStringLiteral("no-match");
    }
    return outcome;
}
