#include "FaultMatrix.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <map>

namespace faults
{

namespace
{

    const std::map<QString, Op> kOperations = {
        { "status", Op::Status },
        { "on", Op::On },
        { "off", Op::Off },
        { "check", Op::Check },
        { "delete", Op::Delete },
        { "delete-all", Op::DeleteAll },
        { "enrol-1", Op::EnrolFirst },
        { "enrol-2", Op::EnrolSecond },
        { "verify", Op::Verify },
        { "export", Op::Export },
        { "import", Op::Import },
    };

    bool parseResult(const QString& text, int* value)
    {
        if (text == QLatin1String("true") || text == QLatin1String("not identified")) {
            *value = 1;
            return true;
        }
        if (text == QLatin1String("false") || text == QLatin1String("identified")) {
            *value = 0;
            return true;
        }
        bool ok = false;
        *value = text.toInt(&ok);
        return ok;
    }

    // "1.5 s", "12 min", "2 h 15 min" -> milliseconds.
    bool parseBound(const QString& text, qint64* ms)
    {
        static const QRegularExpression part(QStringLiteral("([0-9]+(?:\\.[0-9]+)?)\\s*(h|min|s)"));
        double total = 0;
        int matched = 0;
        auto it = part.globalMatch(text);
        while (it.hasNext()) {
            const auto m = it.next();
            const double v = m.captured(1).toDouble();
            const QString unit = m.captured(2);
            total += unit == QLatin1String("h") ? v * 3600000 : unit == QLatin1String("min") ? v * 60000 : v * 1000;
            ++matched;
        }
        *ms = static_cast<qint64>(total);
        return matched > 0;
    }

    QByteArray fileContent(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    bool writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }

    QString names(const QList<QByteArray>& users)
    {
        QStringList list;
        for (const QByteArray& u : users)
            list << QString::fromLatin1(u);
        return QLatin1Char('[') + list.join(QLatin1Char(',')) + QLatin1Char(']');
    }

} // namespace

QString Cell::tag() const { return QStringLiteral("%1 %2 %3").arg(operation, transport, fault); }

QString matrixDocument() { return QStringLiteral(VRKT_SOURCE_DIR "/docs/fault-matrix.md"); }

QList<Cell> loadMatrix(const QString& documentPath, QString* error)
{
    QFile file(documentPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(documentPath);
        return {};
    }
    auto fail = [&](int line, const QString& why) {
        *error = QStringLiteral("%1:%2: %3").arg(documentPath).arg(line).arg(why);
        return QList<Cell>();
    };
    auto cellsOf = [](const QString& line) {
        QStringList columns = line.split(QLatin1Char('|'));
        columns.removeFirst();
        if (!columns.isEmpty() && columns.last().trimmed().isEmpty())
            columns.removeLast();
        for (QString& c : columns)
            c = c.trimmed();
        return columns;
    };

    // Tables below "## Matrix": one per transport ("### USB", "### Network"). The header row holds
    // the faults in fpsim's language, X standing for the operation's own command code; each body
    // row is "operation (CODE)" and one cell per fault: "result · bound · state[ · e2e|e2e-slow]",
    // or "—" where the fault does not apply.
    static const QRegularExpression rowHead(QStringLiteral("^([a-z0-9-]+) \\(([A-Z]{4})\\)$"));
    QList<Cell> cells;
    QTextStream in(&file);
    int lineNumber = 0;
    bool inMatrix = false;
    QString transport;
    QStringList faults;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        if (line.startsWith(QLatin1String("## "))) {
            inMatrix = line.startsWith(QLatin1String("## Matrix"));
            transport.clear();
            continue;
        }
        if (!inMatrix)
            continue;
        if (line.startsWith(QLatin1String("### "))) {
            transport = line.contains(QLatin1String("USB")) ? QStringLiteral("usb") : QStringLiteral("net");
            faults.clear();
            continue;
        }
        if (!line.startsWith(QLatin1Char('|')) || transport.isEmpty())
            continue;
        const QStringList columns = cellsOf(line);
        if (faults.isEmpty()) {
            faults = columns.mid(1);
            for (QString& f : faults)
                f.remove(QLatin1Char('`'));
            continue;
        }
        if (columns.value(0).startsWith(QLatin1String("---")))
            continue;
        const auto head = rowHead.match(columns.value(0));
        if (!head.hasMatch())
            return fail(lineNumber, QStringLiteral("row must start with 'operation (CODE)': ") + columns.value(0));
        const auto op = kOperations.find(head.captured(1));
        if (op == kOperations.end())
            return fail(lineNumber, QStringLiteral("unknown operation ") + head.captured(1));
        if (columns.size() != faults.size() + 1)
            return fail(
                lineNumber, QStringLiteral("%1 cells for %2 faults").arg(columns.size() - 1).arg(faults.size()));
        for (int i = 1; i < columns.size(); ++i) {
            const QString text = columns[i];
            if (text == QStringLiteral("—") || text == QLatin1String("-"))
                continue;
            QStringList parts = text.split(QStringLiteral("·"));
            for (QString& p : parts)
                p = p.trimmed();
            Cell cell;
            cell.line = lineNumber;
            cell.operation = head.captured(1);
            cell.op = op->second;
            cell.transport = transport;
            cell.fault = QString(faults[i - 1]).replace(QStringLiteral("X"), head.captured(2));
            cell.resultText = parts.value(0);
            cell.tests = QStringList { QStringLiteral("engine") };
            if (parts.size() > 3)
                cell.tests << parts[3];
            const bool ok = parts.size() >= 3 && parts.size() <= 4 && parseResult(cell.resultText, &cell.expected)
                && parseBound(parts[1], &cell.boundMs)
                && (parts[2] == QLatin1String("applied") || parts[2] == QLatin1String("unchanged"))
                && (parts.size() == 3 || parts[3] == QLatin1String("e2e") || parts[3] == QLatin1String("e2e-slow"));
            if (!ok)
                return fail(lineNumber, QStringLiteral("malformed cell '%1' (column %2)").arg(text).arg(i));
            cell.applied = parts[2] == QLatin1String("applied");
            cells.append(cell);
        }
    }
    if (cells.isEmpty())
        *error = QStringLiteral("%1: no matrix cells").arg(documentPath);
    return cells;
}

QString runCell(const Cell& cell, RunContext& ctx, int* result, qint64* elapsedMs)
{
    PrinterSide& printer = *ctx.printer;
    Calls& lib = ctx.calls;
    QByteArray uri = ctx.uri;
    const QString exportPath = ctx.workDir + QStringLiteral("/backup.fdl");
    const QString importPath = ctx.workDir + QStringLiteral("/import.fdl");
    const QByteArray olderBackup("older backup");
    QByteArray expectedExport;
    QList<QByteArray> importedUsers;
    QFile::remove(exportPath);
    QFile::remove(importPath);

    if (!printer.reset())
        return QStringLiteral("reset: ") + printer.lastError();

    // The situation each operation starts from.
    switch (cell.op) {
    case Op::On:
        if (!printer.setState(0))
            return QStringLiteral("state 0: ") + printer.lastError();
        break;
    case Op::Check:
    case Op::Delete:
        if (!printer.addUser("alice"))
            return QStringLiteral("add alice: ") + printer.lastError();
        break;
    case Op::DeleteAll:
        if (!printer.addUser("alice") || !printer.addUser("bob"))
            return QStringLiteral("add users: ") + printer.lastError();
        break;
    case Op::EnrolFirst:
        if (!printer.pressAtNextWait("bob"))
            return printer.lastError();
        break;
    case Op::EnrolSecond: {
        if (!printer.pressAtNextWait("bob"))
            return printer.lastError();
        char name[] = "bob";
        const int first = lib.addFinger(uri.data(), 0, name, nullptr);
        if (first != 0)
            return QStringLiteral("first enrolment step gave %1").arg(first);
        if (!printer.pressAtNextWait("bob"))
            return printer.lastError();
        break;
    }
    case Op::Verify:
        if (!printer.addUser("alice") || !printer.pressAtNextWait("alice"))
            return printer.lastError();
        break;
    case Op::Export:
        if (!printer.addUser("alice") || !printer.addUser("bob") || !printer.addUser("carol"))
            return printer.lastError();
        expectedExport = printer.storeBytes();
        if (!writeFile(exportPath, olderBackup))
            return QStringLiteral("cannot write %1").arg(exportPath);
        break;
    case Op::Import: {
        if (!printer.addUser("k1") || !printer.addUser("k2"))
            return printer.lastError();
        importedUsers = printer.users();
        if (!writeFile(importPath, printer.storeBytes()) || !printer.reset())
            return QStringLiteral("cannot prepare %1").arg(importPath);
        break;
    }
    case Op::Status:
    case Op::Off:
        break;
    }
    const QList<QByteArray> usersBefore = printer.users();
    const int stateBefore = printer.state();

    if (cell.fault.startsWith(QLatin1String("short-export="))) {
        if (!printer.cutExport(cell.fault.section(QLatin1Char('='), 1).toInt()))
            return QStringLiteral("this printer cannot cut an export short");
    } else if (cell.fault != QLatin1String("none")) {
        if (!printer.injectFault(cell.fault))
            return QStringLiteral("fault %1: %2").arg(cell.fault, printer.lastError());
    }

    QByteArray exportName = QFile::encodeName(exportPath);
    QByteArray importName = QFile::encodeName(importPath);
    char alice[] = "alice";
    char bob[] = "bob";
    int count = -1;
    int index = -1;
    const qint64 start = ctx.nowMs();
    switch (cell.op) {
    case Op::Status:
        *result = lib.isDeviceFingerOpen(uri.data());
        break;
    case Op::On:
        *result = lib.openFinger(uri.data()) ? 1 : 0;
        break;
    case Op::Off:
        *result = lib.closeFinger(uri.data()) ? 1 : 0;
        break;
    case Op::Check:
        *result = lib.checkFinger(uri.data(), alice);
        break;
    case Op::Delete:
        *result = lib.deleteFinger(uri.data(), alice);
        break;
    case Op::DeleteAll:
        *result = lib.deleteFingers(uri.data());
        break;
    case Op::EnrolFirst:
        *result = lib.addFinger(uri.data(), 0, bob, nullptr);
        break;
    case Op::EnrolSecond:
        *result = lib.addFinger(uri.data(), 1, bob, &index);
        break;
    case Op::Verify: {
        char user[40] = {};
        short found = -1;
        *result = lib.isFingerPrint(uri.data(), user, &found) ? 1 : 0;
        break;
    }
    case Op::Export:
        *result = lib.exportFinger(uri.data(), exportName.data(), &count);
        break;
    case Op::Import:
        *result = lib.importFinger(uri.data(), importName.data());
        break;
    }
    *elapsedMs = ctx.nowMs() - start;

    QStringList problems;
    if (!printer.recover())
        problems << QStringLiteral("recover: ") + printer.lastError();
    if (*result != cell.expected)
        problems << QStringLiteral("result %1, expected %2").arg(*result).arg(cell.resultText);
    if (*elapsedMs > cell.boundMs)
        problems << QStringLiteral("took %1 ms, bound %2 ms").arg(*elapsedMs).arg(cell.boundMs);

    // The operation's effect, or nothing at all.
    const QList<QByteArray> usersAfter = printer.users();
    const int stateAfter = printer.state();
    auto expectUsers = [&](const QList<QByteArray>& expected) {
        if (usersAfter != expected)
            problems << QStringLiteral("printer holds %1, expected %2").arg(names(usersAfter), names(expected));
    };
    switch (cell.op) {
    case Op::On:
    case Op::Off: {
        const int switched = cell.op == Op::On ? 1 : 0;
        const int expectedState = cell.applied ? switched : stateBefore;
        if (stateAfter != expectedState)
            problems << QStringLiteral("state %1, expected %2").arg(stateAfter).arg(expectedState);
        expectUsers(usersBefore);
        break;
    }
    case Op::Delete:
        expectUsers(cell.applied ? QList<QByteArray>() : usersBefore);
        break;
    case Op::DeleteAll:
        expectUsers(cell.applied ? QList<QByteArray>() : usersBefore);
        break;
    case Op::EnrolSecond:
        expectUsers(cell.applied ? QList<QByteArray> { "bob" } : usersBefore);
        if (cell.applied && *result == 0 && index <= 0)
            problems << QStringLiteral("enrolled without an index");
        break;
    case Op::Import:
        expectUsers(cell.applied ? importedUsers : usersBefore);
        break;
    case Op::Export: {
        expectUsers(usersBefore);
        const QByteArray file = fileContent(exportPath);
        if (cell.applied && (file != expectedExport || count != usersBefore.size()))
            problems << QStringLiteral("export file of %1 bytes (%2 records reported), expected %3 bytes")
                            .arg(file.size())
                            .arg(count)
                            .arg(expectedExport.size());
        if (!cell.applied && file != olderBackup)
            problems << QStringLiteral("the older backup was changed (%1 bytes now)").arg(file.size());
        break;
    }
    case Op::Status:
    case Op::Check:
    case Op::EnrolFirst:
    case Op::Verify:
        expectUsers(usersBefore);
        break;
    }
    if (cell.op != Op::On && cell.op != Op::Off && stateAfter != stateBefore)
        problems << QStringLiteral("state %1, was %2").arg(stateAfter).arg(stateBefore);

    // No partial or stray file beside the ones the test made.
    QStringList files = QDir(ctx.workDir).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(QStringLiteral("backup.fdl"));
    files.removeAll(QStringLiteral("import.fdl"));
    if (!files.isEmpty())
        problems << QStringLiteral("stray files: ") + files.join(QLatin1Char(' '));

    // Nothing held: device closed, locks released; and the printer can be used again at once.
    const QString held = ctx.checkReleased();
    if (!held.isEmpty())
        problems << held;
    const int stateNow = lib.isDeviceFingerOpen(uri.data());
    if (stateNow != stateAfter)
        problems << QStringLiteral("afterwards the printer answers %1 instead of its state %2")
                        .arg(stateNow)
                        .arg(stateAfter);
    return problems.join(QStringLiteral("; "));
}

} // namespace faults
