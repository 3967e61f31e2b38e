// cups_usb_getDeviceID with whatever descriptor 4 is: nothing, a file, a pipe, or a socket whose
// other end plays cupsd's side of the backend side channel.

#include "system/CupsQueries.h"

#include <QTemporaryFile>
#include <QtTest>
#include <cstring>
#include <cups/sidechannel.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

constexpr int kSideChannelFd = 4;

// Puts fd on descriptor 4 for the life of the object and restores what was there before.
class OnDescriptorFour
{
public:
    explicit OnDescriptorFour(int fd)
    {
        m_saved = fcntl(kSideChannelFd, F_DUPFD_CLOEXEC, 10);
        if (fd >= 0)
            dup2(fd, kSideChannelFd);
        else
            close(kSideChannelFd);
    }
    ~OnDescriptorFour()
    {
        if (m_saved >= 0) {
            dup2(m_saved, kSideChannelFd);
            close(m_saved);
        } else {
            close(kSideChannelFd);
        }
    }

private:
    int m_saved;
};

// Answers one side-channel request on fd the way cupsd's backend side does: 4-byte header
// (command, status, 16-bit length) followed by the data.
void answerOnce(int fd, cups_sc_status_t status, QByteArray data, QByteArray* request)
{
    unsigned char header[4];
    ssize_t n = read(fd, header, sizeof header);
    if (n > 0)
        *request = QByteArray(reinterpret_cast<char*>(header), static_cast<int>(n));
    QByteArray reply;
    reply.append(static_cast<char>(header[0]));
    reply.append(static_cast<char>(status));
    reply.append(static_cast<char>((data.size() >> 8) & 0xff));
    reply.append(static_cast<char>(data.size() & 0xff));
    reply.append(data);
    ssize_t w = write(fd, reply.constData(), static_cast<size_t>(reply.size()));
    (void)w;
}

} // namespace

class TestSideChannel : public QObject
{
    Q_OBJECT

private slots:
    void notASocketSendsNothing_data();
    void notASocketSendsNothing();
    void socketPeerAnswers_data();
    void socketPeerAnswers();
    void noRoomForAnything();
};

void TestSideChannel::notASocketSendsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("closed") << "closed";
    QTest::newRow("regular file") << "file";
    QTest::newRow("pipe") << "pipe";
}

void TestSideChannel::notASocketSendsNothing()
{
    QFETCH(QString, kind);
    QTemporaryFile file;
    QVERIFY(file.open());
    int pipeFds[2] = { -1, -1 };
    QCOMPARE(pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);

    int fd = -1;
    if (kind == "file")
        fd = file.handle();
    else if (kind == "pipe")
        fd = pipeFds[1];

    char data[256];
    memset(data, 'x', sizeof data);
    {
        OnDescriptorFour four(fd);
        QCOMPARE(cups_usb_getDeviceID(data, sizeof data), -1);
    }
    QCOMPARE(data[0], '\0');
    QCOMPARE(data[1], 'x');
    // Nothing was written to the descriptor.
    QCOMPARE(QFileInfo(file.fileName()).size(), qint64(0));
    char probe;
    QCOMPARE(read(pipeFds[0], &probe, 1), ssize_t(-1));
    close(pipeFds[0]);
    close(pipeFds[1]);
}

void TestSideChannel::socketPeerAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("datalen");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray id = "MFG:Maker;MDL:ZPH6100RMX;CMD:PJL;SN:SIM0001;";
    QTest::newRow("device id") << int(CUPS_SC_STATUS_NONE) << id << 256 << 0 << id;
    QTest::newRow("exactly fills the buffer") << int(CUPS_SC_STATUS_NONE) << id.left(15) << 16 << 0 << id.left(15);
    QTest::newRow("longer than the buffer") << int(CUPS_SC_STATUS_NONE) << id << 16 << -1 << QByteArray();
    QTest::newRow("empty id") << int(CUPS_SC_STATUS_NONE) << QByteArray() << 256 << -1 << QByteArray();
    QTest::newRow("not implemented") << int(CUPS_SC_STATUS_NOT_IMPLEMENTED) << QByteArray() << 256 << -1
                                     << QByteArray();
    QTest::newRow("I/O error with data") << int(CUPS_SC_STATUS_IO_ERROR) << id << 256 << -1 << QByteArray();
}

void TestSideChannel::socketPeerAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(int, datalen);
    QFETCH(int, result);
    QFETCH(QByteArray, expected);

    int pair[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    QByteArray request;
    std::thread peer(answerOnce, pair[1], static_cast<cups_sc_status_t>(status), answer, &request);

    QByteArray buffer(datalen + 16, 'x');
    int rc;
    {
        OnDescriptorFour four(pair[0]);
        rc = cups_usb_getDeviceID(buffer.data(), datalen);
    }
    peer.join();
    close(pair[0]);
    close(pair[1]);

    QCOMPARE(rc, result);
    QCOMPARE(QByteArray(buffer.constData()), expected);
    // Never a byte past datalen.
    QCOMPARE(buffer.mid(datalen), QByteArray(16, 'x'));
    // The request that went out: get-device-id.
    QCOMPARE(request.size(), 4);
    QCOMPARE(static_cast<unsigned char>(request[0]), static_cast<unsigned char>(CUPS_SC_CMD_GET_DEVICE_ID));
}

void TestSideChannel::noRoomForAnything()
{
    char one[1] = { 'x' };
    QCOMPARE(cups_usb_getDeviceID(one, 1), -1);
    QCOMPARE(one[0], '\0');
    char none[1] = { 'x' };
    QCOMPARE(cups_usb_getDeviceID(none, 0), -1);
    QCOMPARE(none[0], 'x');
    QCOMPARE(cups_usb_getDeviceID(nullptr, 16), -1);
}

QTEST_GUILESS_MAIN(TestSideChannel)
#include "tst_sidechannel.moc"
