// The device URI of a queue switched to the fingerprint backend, and the printer's own URI in it.

#include "vrkt7xuri.h"

#include <QtTest>

class InnerUriTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void innerUri_data();
    void innerUri();
};

void InnerUriTest::innerUri_data()
{
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<int>("skipped"); // bytes before the inner URI; -1: the argument itself

    QTest::newRow("usb through the backend") << QByteArray("vrkt7x:usb://Maker/ZPH6100RMX?serial=SIM0001") << 7;
    QTest::newRow("socket through the backend") << QByteArray("vrkt7x:socket://192.0.2.7:9100") << 7;
    QTest::newRow("only the prefix") << QByteArray("vrkt7x:") << 7;
    QTest::newRow("one prefix removed") << QByteArray("vrkt7x:vrkt7x:usb://x") << 7;
    QTest::newRow("plain usb") << QByteArray("usb://Maker/ZPH6100RMX?serial=SIM0001") << -1;
    QTest::newRow("other spelling") << QByteArray("VRKT7X:usb://x") << -1;
    QTest::newRow("prefix without colon") << QByteArray("vrkt7x") << -1;
    QTest::newRow("prefix inside") << QByteArray("usb://vrkt7x:x") << -1;
    QTest::newRow("empty") << QByteArray("") << -1;
}

void InnerUriTest::innerUri()
{
    QFETCH(QByteArray, uri);
    QFETCH(int, skipped);
    const char* text = uri.constData();
    const char* inner = vrkt7x_inner_uri(text);
    QCOMPARE(inner, skipped < 0 ? text : text + skipped); // a pointer into the argument, nothing copied
    QCOMPARE(vrkt7x_inner_uri(nullptr), static_cast<const char*>(nullptr));
}

QTEST_GUILESS_MAIN(InnerUriTest)
#include "tst_inneruri.moc"
