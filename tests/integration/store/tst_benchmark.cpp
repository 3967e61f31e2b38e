// Figures, not assertions about time: the DES file cipher against OpenSSL's DES-ECB on the same
// 1 MiB in the same run, and InsertFinger on a database of 10,000 FingerList rows against the
// cipher time of that file. Written to $VRKT_ARTIFACTS_DIR/store-benchmark.txt (from a sanitizer
// build: store-benchmark-sanitizer.txt).

#include "StoreTestSupport.h"
#include "store/DesCryption.h"
#include "store/FingerManage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <functional>

using namespace StoreTest;

namespace
{

const int kRepetitions = 9;

// Median of the run times of body, in milliseconds.
double medianMs(const std::function<void()>& body, int repetitions = kRepetitions)
{
    QList<double> times;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        times << double(timer.nsecsElapsed()) / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

QString mibPerSecond(qint64 bytes, double ms)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0) / (ms / 1000.0), 'f', 1) + QStringLiteral(" MiB/s");
}

} // namespace

class StoreBenchmark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cipherAgainstOpenSsl();
    void insertFingerOnLargeDatabase();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    QStringList m_report;
};

void StoreBenchmark::initTestCase()
{
    QVERIFY(m_dir.isValid());
#ifdef __SANITIZE_ADDRESS__
    m_report << QStringLiteral("(sanitizer build: figures are not representative)");
#endif
}

void StoreBenchmark::cipherAgainstOpenSsl()
{
    OpenSslDes openssl;
    QVERIFY(openssl.isValid());
    DesCryption des;

    QByteArray plain(1024 * 1024, '\0');
    QRandomGenerator random(42);
    for (char& c : plain)
        c = char(random.bounded(256));
    const QString plainFile = m_dir.filePath(QStringLiteral("plain.bin"));
    const QString oursFile = m_dir.filePath(QStringLiteral("ours.enc"));
    const QString oursBack = m_dir.filePath(QStringLiteral("ours.dec"));
    const QString theirsFile = m_dir.filePath(QStringLiteral("openssl.enc"));
    const QString theirsBack = m_dir.filePath(QStringLiteral("openssl.dec"));
    QVERIFY(writeFile(plainFile, plain));

    const QByteArray key = OpenSslDes::fixedKey();
    const QByteArray plainPath = QFile::encodeName(plainFile);
    const QByteArray oursPath = QFile::encodeName(oursFile);
    const QByteArray oursBackPath = QFile::encodeName(oursBack);

    // Files: our Encryption/Decryption, and OpenSSL with the same reads and writes around it.
    const double oursEncryptFile = medianMs([&] { des.Encryption(plainPath.constData(), oursPath.constData()); });
    const double oursDecryptFile = medianMs([&] { des.Decryption(oursPath.constData(), oursBackPath.constData()); });
    const double theirsEncryptFile
        = medianMs([&] { writeFile(theirsFile, openssl.run(readFile(plainFile), key, true, true)); });
    const double theirsDecryptFile
        = medianMs([&] { writeFile(theirsBack, openssl.run(readFile(theirsFile), key, false, true)); });
    QCOMPARE(readFile(oursFile), readFile(theirsFile));
    QCOMPARE(readFile(oursBack), plain);
    QCOMPARE(readFile(theirsBack), plain);

    // The cipher alone, in memory.
    QByteArray out;
    const double oursEncrypt = medianMs([&] { out = des.encryptData(plain); });
    const QByteArray encrypted = out;
    const double oursDecrypt = medianMs([&] { out = des.decryptData(encrypted); });
    QCOMPARE(out, plain);
    const double theirsEncrypt = medianMs([&] { out = openssl.run(plain, key, true, true); });
    QCOMPARE(out, encrypted);
    const double theirsDecrypt = medianMs([&] { out = openssl.run(encrypted, key, false, true); });
    QCOMPARE(out, plain);

    const qint64 n = plain.size();
    auto line = [&](const char* what, double ours, double theirs) {
        m_report << QStringLiteral("%1: ours %2 ms (%3), OpenSSL %4 ms (%5), ours/OpenSSL throughput %6")
                        .arg(QLatin1String(what))
                        .arg(ours, 0, 'f', 2)
                        .arg(mibPerSecond(n, ours))
                        .arg(theirs, 0, 'f', 2)
                        .arg(mibPerSecond(n, theirs))
                        .arg(theirs / ours, 0, 'f', 2);
    };
    m_report << QStringLiteral("DES-ECB with PKCS#5 padding, 1 MiB, median of %1 runs").arg(kRepetitions);
    line("Encryption, file to file", oursEncryptFile, theirsEncryptFile);
    line("Decryption, file to file", oursDecryptFile, theirsDecryptFile);
    line("encrypt in memory", oursEncrypt, theirsEncrypt);
    line("decrypt in memory", oursDecrypt, theirsDecrypt);
}

void StoreBenchmark::insertFingerOnLargeDatabase()
{
    const QString stored = m_dir.filePath(QStringLiteral("fingerdata.db"));
    QCOMPARE(makeStored(stored, m_dir.filePath(QStringLiteral("large-plain.db")),
                 { QStringLiteral("create table UserList(UserName  varchar(255), Passowrd varchar(32))"),
                     QStringLiteral("create table FingerList(id int, UserName varchar(255), printerName varchar(255))"),
                     QStringLiteral("insert into UserList values('admin', '58203716')"),
                     QStringLiteral("with recursive n(x) as (select 1 union all select x + 1 from n where x < 10000) "
                                    "insert into FingerList select x, 'user' || x, 'Office' from n") }),
        QString());
    const qint64 size = readFile(stored).size();

    NoticeRecorder notices;
    FingerManagePaths paths;
    paths.databaseFile = stored;
    paths.workingCopy = m_dir.filePath(QStringLiteral(".work.db"));
    CFingerManage manager(nullptr, paths);
    manager.m_strDbPath = paths.databaseFile;
    manager.m_strTmpDbPath = paths.workingCopy;
    manager.m_printerName = QStringLiteral("Office");

    int id = 20000;
    const double insert = medianMs([&] { manager.InsertFinger(id++, QStringLiteral("bench")); });
    QVERIFY(notices.requests.isEmpty());
    QCOMPARE(manager.GetFingerRecordCount(), kRepetitions);
    QCOMPARE(flat(storedRows(stored, m_dir.filePath(QStringLiteral("check.db")),
                 QStringLiteral("select count(*) from FingerList"))),
        QStringList { QString::number(10000 + kRepetitions) });

    DesCryption des;
    const double cipher = medianMs([&] {
        const QByteArray plain = des.decryptData(readFile(stored));
        des.encryptData(plain);
    });
    m_report << QStringLiteral("InsertFinger on 10,000 FingerList rows (stored file %1 bytes): %2 ms per call; "
                               "decrypting and encrypting that file: %3 ms (%4% of the call)")
                    .arg(size)
                    .arg(insert, 0, 'f', 2)
                    .arg(cipher, 0, 'f', 2)
                    .arg(100.0 * cipher / insert, 0, 'f', 0);
}

void StoreBenchmark::cleanupTestCase()
{
    for (const QString& line : std::as_const(m_report))
        qInfo("%s", qPrintable(line));
#ifdef __SANITIZE_ADDRESS__
    const QString fileName = QStringLiteral("/store-benchmark-sanitizer.txt");
#else
    const QString fileName = QStringLiteral("/store-benchmark.txt");
#endif
    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR");
    if (!dir.isEmpty() && QDir().mkpath(dir))
        writeFile(dir + fileName, m_report.join(QLatin1Char('\n')).toUtf8() + '\n');
}

QTEST_GUILESS_MAIN(StoreBenchmark)
#include "tst_benchmark.moc"
