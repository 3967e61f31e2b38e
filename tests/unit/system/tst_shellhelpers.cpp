// Shell-command capture, shell quoting and the settings file, on temporary files.

#include "system/ShellHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class TestShellHelpers : public QObject
{
    Q_OBJECT

private slots:
    void captureOutput_data();
    void captureOutput();
    void quotingSurvivesTheShell_data();
    void quotingSurvivesTheShell();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void settingsFileIsIni();
    void unwritableSettingsBehaveEmpty();
};

void TestShellHelpers::captureOutput_data()
{
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first line with newline") << "printf 'one\\ntwo\\n'" << 0 << "one\n";
    QTest::newRow("all lines") << "printf 'one\\ntwo\\n'" << 1 << "one\ntwo\n";
    QTest::newRow("any nonzero mode") << "printf 'one\\ntwo'" << -7 << "one\ntwo";
    QTest::newRow("no output") << "true" << 0 << "";
    QTest::newRow("no output, all lines") << "exit 3" << 1 << "";
    QTest::newRow("standard error is not captured") << "echo err >&2; echo out" << 1 << "out\n";
    QTest::newRow("one line is at most 511 bytes")
        << "head -c 600 /dev/zero | tr '\\0' a" << 0 << QString(511, QLatin1Char('a'));
    QTest::newRow("long lines joined whole")
        << "head -c 1500 /dev/zero | tr '\\0' a; echo; echo b" << 1 << QString(1500, QLatin1Char('a')) + "\nb\n";
    QTest::newRow("UTF-8 output") << "printf '\\344\\270\\255\\n'" << 0 << QString::fromUtf8("中\n");
}

void TestShellHelpers::captureOutput()
{
    QFETCH(QString, cmd);
    QFETCH(int, mode);
    QFETCH(QString, expected);
    QCOMPARE(get_string_from_shell_cmd(cmd, mode), expected);
}

void TestShellHelpers::quotingSurvivesTheShell_data()
{
    QTest::addColumn<QString>("word");
    QTest::newRow("plain") << "ZPH_USB";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "  a  b  ";
    QTest::newRow("metacharacters") << "; | & $HOME `id` $(id) ( ) < > * ? [a] ~ # ! { } \\ \"";
    QTest::newRow("single quotes") << "'a'b''c'";
    QTest::newRow("newlines") << "a\n\nb\n";
    QTest::newRow("dash") << "-n";
}

void TestShellHelpers::quotingSurvivesTheShell()
{
    QFETCH(QString, word);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // printf prints each argument followed by '|': exactly one argument must come back unchanged.
    const QString out
        = get_string_from_shell_cmd("cd " + shellQuoted(dir.path()) + " && printf '%s|' " + shellQuoted(word), 1);
    QCOMPARE(out, word + '|');
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestShellHelpers::settingsRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("top-level text") << "Language" << QVariant("zh_CN");
    QTest::newRow("grouped number") << "printer/status/ZPH_USB" << QVariant(3);
    QTest::newRow("blank in key") << "printer/mdl/My Printer" << QVariant("Maker ZPH6100RMX Series");
}

void TestShellHelpers::settingsRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QTemporaryDir dir;
    const QString file = dir.filePath("sm.conf");

    QVariant value;
    QVERIFY(appSettingsInFile(file, key, value, QVariant("absent"), false));
    QCOMPARE(value, QVariant("absent"));
    QVERIFY(QFile::exists(file) == false || QFileInfo(file).size() == 0);

    value = stored;
    QVERIFY(appSettingsInFile(file, key, value, QVariant(), true));
    QVERIFY(QFile::exists(file));

    QVariant readBack;
    QVERIFY(appSettingsInFile(file, key, readBack, QVariant("absent"), false));
    QCOMPARE(readBack.toString(), stored.toString());
    // Another key stays absent.
    QVERIFY(appSettingsInFile(file, key + "_other", readBack, QVariant(42), false));
    QCOMPARE(readBack, QVariant(42));
}

void TestShellHelpers::settingsFileIsIni()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("sm.conf");
    QVariant value("on");
    QVERIFY(appSettingsInFile(file, "monitor/enabled", value, QVariant(), true));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY2(text.contains("[monitor]") && text.contains("enabled=on"), text.constData());
}

void TestShellHelpers::unwritableSettingsBehaveEmpty()
{
    QTemporaryDir dir;
    // A directory where the file should be: neither readable nor writable as settings.
    const QString file = dir.filePath("sm.conf");
    QVERIFY(QDir().mkdir(file));
    QVariant value("x");
    QVERIFY(appSettingsInFile(file, "k", value, QVariant(), true));
    QVariant readBack;
    QVERIFY(appSettingsInFile(file, "k2", readBack, QVariant("default"), false));
    QCOMPARE(readBack, QVariant("default"));
}

QTEST_GUILESS_MAIN(TestShellHelpers)
#include "tst_shellhelpers.moc"
