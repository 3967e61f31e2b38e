// The command line of fpctl: parsing, help texts and user-name / data-file handling.

#include "Frames.h"
#include "cli/CommandLine.h"
#include "cli/ExitCode.h"
#include "cli/HelpText.h"
#include "data/FdlFile.h"
#include "data/UserName.h"

#include <QtTest>

class TestFpctlCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void refuses_data();
    void refuses();
    void everyCommandHasHelp();
    void manualListsEveryExitCode();

    void encodesNames_data();
    void encodesNames();
    void decodesNames_data();
    void decodesNames();
    void splitsRecords_data();
    void splitsRecords();
    void readsFiles();
};

void TestFpctlCommandLine::parses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("flags"); // j=json v=verbose h=help a=all y=yes V=version
    QTest::addColumn<int>("timeout");

    QTest::newRow("printers") << QStringList { "printers" } << "printers" << QStringList {} << "" << -1;
    QTest::newRow("printers --all") << QStringList { "printers", "--all" } << "printers" << QStringList {} << "a" << -1;
    QTest::newRow("json before the command")
        << QStringList { "--json", "status", "Q" } << "status" << QStringList { "Q" } << "j" << -1;
    QTest::newRow("json after the arguments")
        << QStringList { "status", "Q", "-j" } << "status" << QStringList { "Q" } << "j" << -1;
    QTest::newRow("enroll is enrol") << QStringList { "enroll", "Q", "bob" } << "enrol" << QStringList { "Q", "bob" }
                                     << "" << -1;
    QTest::newRow("name after --") << QStringList { "check", "Q", "--", "-bob" } << "check"
                                   << QStringList { "Q", "-bob" } << "" << -1;
    QTest::newRow("--json after -- is a name")
        << QStringList { "delete", "--", "Q", "--json" } << "delete" << QStringList { "Q", "--json" } << "" << -1;
    QTest::newRow("a lone dash is an argument")
        << QStringList { "records", "-" } << "records" << QStringList { "-" } << "" << -1;
    QTest::newRow("delete-all -y") << QStringList { "delete-all", "-y", "Q" } << "delete-all" << QStringList { "Q" }
                                   << "y" << -1;
    QTest::newRow("verify --timeout N") << QStringList { "verify", "Q", "--timeout", "10" } << "verify"
                                        << QStringList { "Q" } << "" << 10;
    QTest::newRow("verify --timeout=N") << QStringList { "verify", "--timeout=45", "Q" } << "verify"
                                        << QStringList { "Q" } << "" << 45;
    QTest::newRow("command --help needs no arguments")
        << QStringList { "enrol", "--help" } << "enrol" << QStringList {} << "h" << -1;
    QTest::newRow("help COMMAND") << QStringList { "help", "enroll" } << "enrol" << QStringList {} << "h" << -1;
    QTest::newRow("help --help") << QStringList { "help", "--help" } << "help" << QStringList {} << "h" << -1;
    QTest::newRow("help alone") << QStringList { "help" } << "" << QStringList {} << "h" << -1;
    QTest::newRow("--help alone") << QStringList { "--help" } << "" << QStringList {} << "h" << -1;
    QTest::newRow("--version") << QStringList { "--version" } << "" << QStringList {} << "V" << -1;
    QTest::newRow("verbose") << QStringList { "-v", "on", "usb://x" } << "on" << QStringList { "usb://x" } << "v" << -1;
    QTest::newRow("UTF-8 name") << QStringList { "enrol", "Q", "张伟" } << "enrol" << QStringList { "Q", "张伟" } << ""
                                << -1;
}

void TestFpctlCommandLine::parses()
{
    QFETCH(QStringList, args);
    QFETCH(QString, command);
    QFETCH(QStringList, arguments);
    QFETCH(QString, flags);
    QFETCH(int, timeout);

    Invocation inv;
    QString error;
    QVERIFY2(parseCommandLine(args, &inv, &error), qPrintable(error));
    QCOMPARE(inv.command, command);
    QCOMPARE(inv.arguments, arguments);
    QCOMPARE(inv.json, flags.contains('j'));
    QCOMPARE(inv.verbose, flags.contains('v'));
    QCOMPARE(inv.help, flags.contains('h'));
    QCOMPARE(inv.all, flags.contains('a'));
    QCOMPARE(inv.yes, flags.contains('y'));
    QCOMPARE(inv.version, flags.contains('V'));
    QCOMPARE(inv.timeoutSeconds, timeout);
}

void TestFpctlCommandLine::refuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("command"); // what is known for reporting the error
    QTest::addColumn<bool>("json");

    QTest::newRow("nothing") << QStringList {} << "no command given"
                             << "" << false;
    QTest::newRow("unknown command") << QStringList { "--json", "frobnicate" } << "unknown command 'frobnicate'"
                                     << "" << true;
    QTest::newRow("unknown option") << QStringList { "status", "--colour", "Q" } << "unknown option --colour"
                                    << "" << false;
    QTest::newRow("missing name") << QStringList { "check", "Q" } << "expects PRINTER NAME"
                                  << "check" << false;
    QTest::newRow("extra argument") << QStringList { "status", "Q", "R" } << "expects PRINTER"
                                    << "status" << false;
    QTest::newRow("printers takes none") << QStringList { "printers", "Q" } << "takes no arguments"
                                         << "printers" << false;
    QTest::newRow("--all elsewhere") << QStringList { "status", "--all", "Q" } << "does not take the option --all"
                                     << "status" << false;
    QTest::newRow("--yes elsewhere") << QStringList { "delete", "-y", "Q", "n" } << "does not take the option --yes"
                                     << "delete" << false;
    QTest::newRow("--timeout without value") << QStringList { "verify", "Q", "--timeout" } << "needs a value"
                                             << "" << false;
    QTest::newRow("--timeout zero") << QStringList { "verify", "Q", "--timeout", "0" } << "from 1 to 45"
                                    << "verify" << false;
    QTest::newRow("--timeout past the printer's") << QStringList { "verify", "Q", "-t", "46" } << "from 1 to 45"
                                                  << "verify" << false;
    QTest::newRow("--timeout words") << QStringList { "verify", "Q", "--timeout=soon" } << "from 1 to 45"
                                     << "verify" << false;
    QTest::newRow("long name after one dash") << QStringList { "-json", "printers" } << "unknown option -json"
                                              << "" << false;
    QTest::newRow("short name after two dashes") << QStringList { "printers", "--a" } << "unknown option --a"
                                                 << "" << false;
    QTest::newRow("value on a flag") << QStringList { "--json=yes", "printers" } << "takes no value"
                                     << "" << false;
    QTest::newRow("help of nothing") << QStringList { "help", "nothing" } << "unknown command 'nothing'"
                                     << "help" << false;
}

void TestFpctlCommandLine::refuses()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QString, command);
    QFETCH(bool, json);

    Invocation inv;
    QString message;
    QVERIFY(!parseCommandLine(args, &inv, &message));
    QVERIFY2(message.contains(error), qPrintable(message));
    QCOMPARE(inv.command, command);
    QCOMPARE(inv.json, json);
}

void TestFpctlCommandLine::everyCommandHasHelp()
{
    for (const CommandInfo& info : commandList()) {
        const QString name = QLatin1String(info.name);
        const QString help = commandHelp(name);
        QVERIFY2(help.startsWith(QStringLiteral("usage: fpctl %1").arg(name)), qPrintable(name));
        for (const QString& argument : info.argumentNames)
            QVERIFY2(help.contains(argument), qPrintable(name + ": " + argument));
        QVERIFY2(manualText().contains(QStringLiteral("  %1 ").arg(name)), qPrintable(name));
    }
}

void TestFpctlCommandLine::manualListsEveryExitCode()
{
    const QString manual = manualText();
    for (int code = 0; code <= static_cast<int>(ExitCode::FileError); ++code)
        QVERIFY2(manual.contains(QStringLiteral("\n  %1  ").arg(code)), qPrintable(QString::number(code)));
}

void TestFpctlCommandLine::encodesNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length");

    const auto none = static_cast<int>(UserName::Problem::None);
    const auto tooLong = static_cast<int>(UserName::Problem::TooLong);
    QTest::newRow("ASCII") << "alice" << none << QByteArray("alice") << 5;
    QTest::newRow("32 letters") << QString(32, 'a') << none << QByteArray(32, 'a') << 32;
    QTest::newRow("33 letters") << QString(33, 'a') << tooLong << QByteArray() << 33;
    // Chinese characters take two bytes each in GB18030 (three in UTF-8).
    QTest::newRow("two Chinese characters") << "张伟" << none << QByteArray("\xd5\xc5\xce\xb0") << 4;
    QTest::newRow("16 Chinese characters")
        << QString(16, QChar(0x5F20)) << none << QByteArray("\xd5\xc5").repeated(16) << 32;
    QTest::newRow("17 Chinese characters") << QString(17, QChar(0x5F20)) << tooLong << QByteArray() << 34;
    // 11 characters of 3 UTF-8 bytes are 33 bytes in UTF-8 but 22 in GB18030: accepted.
    QTest::newRow("longer in UTF-8 than in GB18030")
        << QString(11, QChar(0x5F20)) << none << QByteArray("\xd5\xc5").repeated(11) << 22;
    // Outside the BMP a character takes four bytes.
    QTest::newRow("four-byte character") << QString::fromUcs4(U"\U0001F600") << none << QByteArray("\x94\x39\xfc\x36")
                                         << 4;
    QTest::newRow("31 letters and a four-byte character")
        << QString(31, 'a') + QString::fromUcs4(U"\U0001F600") << tooLong << QByteArray() << 35;
    QTest::newRow("empty") << "" << static_cast<int>(UserName::Problem::Empty) << QByteArray() << 0;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x" << static_cast<int>(UserName::Problem::NotEncodable)
                                    << QByteArray() << 0;
}

void TestFpctlCommandLine::encodesNames()
{
    QFETCH(QString, name);
    QFETCH(int, problem);
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);

    const UserName::Encoded encoded = UserName::encode(name);
    QCOMPARE(static_cast<int>(encoded.problem), problem);
    QCOMPARE(encoded.bytes, bytes);
    QCOMPARE(encoded.encodedLength, length);
    QCOMPARE(UserName::problemText(encoded, name).isEmpty(), problem == static_cast<int>(UserName::Problem::None));
    if (encoded.problem == UserName::Problem::TooLong)
        QVERIFY(UserName::problemText(encoded, name).contains(QStringLiteral("%1 bytes").arg(length)));
}

void TestFpctlCommandLine::decodesNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("GB18030") << QByteArray("\xd5\xc5\xce\xb0") << QStringLiteral("张伟");
    QTest::newRow("ends at the first zero") << QByteArray("bob\0eve", 7) << QStringLiteral("bob");
    QTest::newRow("32 bytes without terminator") << QByteArray(40, 'x') << QString(32, 'x');
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestFpctlCommandLine::decodesNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(UserName::decode(bytes), text);
}

using Frames::fdlRecord;

void TestFpctlCommandLine::splitsRecords_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<quint16>>("ids");
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<qint64>("trailing");

    const QByteArray two = fdlRecord("alice", 1, 'a') + fdlRecord("\xd5\xc5\xce\xb0", 0x1234, 'b');
    QTest::newRow("two records") << two << QList<quint16> { 1, 0x1234 }
                                 << QList<QByteArray> { "alice", "\xd5\xc5\xce\xb0" } << qint64(0);
    QTest::newRow("1000 bytes: one record and the rest")
        << two.left(1000) << QList<quint16> { 1 } << QList<QByteArray> { "alice" } << qint64(454);
    QTest::newRow("545 bytes: no record") << two.left(545) << QList<quint16> {} << QList<QByteArray> {} << qint64(545);
    QTest::newRow("empty") << QByteArray() << QList<quint16> {} << QList<QByteArray> {} << qint64(0);
    QTest::newRow("32-byte name, highest ID")
        << fdlRecord(QByteArray(32, 'n'), 0xFFFF, 'c') << QList<quint16> { 0xFFFF }
        << QList<QByteArray> { QByteArray(32, 'n') } << qint64(0);
}

void TestFpctlCommandLine::splitsRecords()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<quint16>, ids);
    QFETCH(QList<QByteArray>, names);
    QFETCH(qint64, trailing);

    const FdlFile::Contents contents = FdlFile::parse(data);
    QCOMPARE(contents.records.size(), ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        QCOMPARE(contents.records[i].id, ids[i]);
        QCOMPARE(contents.records[i].name, names[i]);
        QCOMPARE(contents.records[i].feature, data.mid(i * 546 + 34, 512));
    }
    QCOMPARE(contents.trailingBytes, trailing);
}

void TestFpctlCommandLine::readsFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FdlFile::Contents contents;
    QString error;

    QVERIFY(!FdlFile::read(dir.filePath("missing.fdl"), &contents, &error));
    QVERIFY2(error.endsWith("no such file"), qPrintable(error));
    QVERIFY(!FdlFile::read(dir.path(), &contents, &error));
    QVERIFY2(error.endsWith("is a directory"), qPrintable(error));

    QFile big(dir.filePath("big.fdl"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(fdlRecord("x", 1, 'x').repeated(3));
    big.close();
    QVERIFY(!FdlFile::read(big.fileName(), &contents, &error, 2 * 546));
    QVERIFY2(error.contains("too large"), qPrintable(error));
    QVERIFY2(FdlFile::read(big.fileName(), &contents, &error), qPrintable(error));
    QCOMPARE(contents.records.size(), 3);
}

QTEST_GUILESS_MAIN(TestFpctlCommandLine)
#include "tst_fpctl_commandline.moc"
