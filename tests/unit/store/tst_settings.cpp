// setting.ini: TimeOut and DefaultPath read, defaults written when the file is missing or
// TimeOut is not a number, and nothing but the two keys saved.

#include "StoreTestSupport.h"
#include "store/FingerManage.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class SettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getSettingData_data();
    void getSettingData();
    void saveWritesOnlyTheTwoKeys();
};

void SettingsTest::getSettingData_data()
{
    QTest::addColumn<QByteArray>("content"); // "-" for no file
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<QString>("defaultPath");
    QTest::addColumn<QString>("logText");
    QTest::addColumn<bool>("rewritten");

    const QString home = QDir::homePath();
    QTest::newRow("no file") << QByteArray("-") << 30 << home << QStringLiteral("GetSettingData::") << true;
    QTest::newRow("both keys") << QByteArray("[General]\nTimeOut=45\nDefaultPath=/srv/fdl\nOther=1\n") << 45
                               << QStringLiteral("/srv/fdl") << QString() << false;
    QTest::newRow("DefaultPath missing") << QByteArray("[General]\nTimeOut=12\n") << 12 << QString() << QString()
                                         << false;
    QTest::newRow("TimeOut missing") << QByteArray("[General]\nDefaultPath=/srv/fdl\nOther=1\n") << 30 << home
                                     << QStringLiteral("GetSettingData2::") << true;
    QTest::newRow("TimeOut not a number") << QByteArray("[General]\nTimeOut=soon\nDefaultPath=/srv/fdl\n") << 30 << home
                                          << QStringLiteral("GetSettingData2::") << true;
    QTest::newRow("TimeOut empty") << QByteArray("[General]\nTimeOut=\n[Extra]\nkey=v\n") << 30 << home
                                   << QStringLiteral("GetSettingData2::") << true;
    QTest::newRow("empty file") << QByteArray("") << 30 << home << QStringLiteral("GetSettingData2::") << true;
}

void SettingsTest::getSettingData()
{
    QFETCH(QByteArray, content);
    QFETCH(int, timeOut);
    QFETCH(QString, defaultPath);
    QFETCH(QString, logText);
    QFETCH(bool, rewritten);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FingerManagePaths paths;
    paths.settingsFile = dir.filePath(QStringLiteral("setting.ini"));
    if (content != "-")
        QVERIFY(StoreTest::writeFile(paths.settingsFile, content));

    CFingerManage manager(nullptr, paths);
    LogCapture log;
    manager.GetSettingData();
    QCOMPARE(manager.m_nTimeOut, timeOut);
    QCOMPARE(manager.m_strDefaultPath, defaultPath);
    if (!logText.isEmpty())
        QVERIFY(log.hasLineStartingWith(
            logText + QStringLiteral(" \"") + paths.settingsFile + QStringLiteral("\" is not exist")));
    else
        QVERIFY(log.lines().isEmpty());

    const QByteArray after = StoreTest::readFile(paths.settingsFile);
    if (rewritten) {
        QSettings written(paths.settingsFile, QSettings::IniFormat);
        QCOMPARE(written.allKeys(), QStringList({ QStringLiteral("DefaultPath"), QStringLiteral("TimeOut") }));
        QCOMPARE(written.value(QStringLiteral("TimeOut")).toInt(), 30);
        QCOMPARE(written.value(QStringLiteral("DefaultPath")).toString(), QDir::homePath());
    } else {
        QCOMPARE(after, content);
    }
}

void SettingsTest::saveWritesOnlyTheTwoKeys()
{
    QTemporaryDir dir;
    FingerManagePaths paths;
    paths.settingsFile = dir.filePath(QStringLiteral("setting.ini"));
    QVERIFY(StoreTest::writeFile(paths.settingsFile, "[General]\nTimeOut=10\nStale=x\n[Group]\nk=v\n"));

    CFingerManage manager(nullptr, paths);
    manager.m_nTimeOut = 90;
    manager.m_strDefaultPath = QStringLiteral("/home/admin/导出");
    manager.SaveSettingData();

    QSettings written(paths.settingsFile, QSettings::IniFormat);
    QCOMPARE(written.allKeys(), QStringList({ QStringLiteral("DefaultPath"), QStringLiteral("TimeOut") }));

    CFingerManage reader(nullptr, paths);
    reader.GetSettingData();
    QCOMPARE(reader.m_nTimeOut, 90);
    QCOMPARE(reader.m_strDefaultPath, QStringLiteral("/home/admin/导出"));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
