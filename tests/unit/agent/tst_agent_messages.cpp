// The line protocol between the backend and the desktop agent: what each end accepts, and how
// lines are cut from a stream.

#include "AgentMessages.h"

#include <QtTest>

using AgentMessages::Message;

class AgentMessagesTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void takeLine_data();
    void takeLine();
};

void AgentMessagesTest::parse_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("queue");
    QTest::addColumn<int>("number"); // job id for SHOW, the value otherwise

    const int invalid = Message::Invalid;
    QTest::newRow("show") << QByteArray("SHOW start://Office?jobid=17&time_val=60") << int(Message::Show) << "Office"
                          << 17;
    QTest::newRow("show, UTF-8 queue and shell characters")
        << QByteArray("SHOW start://打印机;$(x)&y?jobid=3&time_val=10") << int(Message::Show) << "打印机;$(x)&y" << 3;
    QTest::newRow("show, 600 s") << QByteArray("SHOW start://Q?jobid=1&time_val=600") << int(Message::Show) << "Q" << 1;
    QTest::newRow("show, 9 s") << QByteArray("SHOW start://Q?jobid=1&time_val=9") << invalid << "" << 0;
    QTest::newRow("show, 601 s") << QByteArray("SHOW start://Q?jobid=1&time_val=601") << invalid << "" << 0;
    QTest::newRow("show, job 0") << QByteArray("SHOW start://Q?jobid=0&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, leading zero") << QByteArray("SHOW start://Q?jobid=07&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, negative") << QByteArray("SHOW start://Q?jobid=-7&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, huge job") << QByteArray("SHOW start://Q?jobid=99999999999&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, extra item") << QByteArray("SHOW start://Q?jobid=1&time_val=30&x=1") << invalid << "" << 0;
    QTest::newRow("show, items swapped") << QByteArray("SHOW start://Q?time_val=30&jobid=1") << invalid << "" << 0;
    QTest::newRow("show, other scheme") << QByteArray("SHOW file://Q?jobid=1&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, empty queue") << QByteArray("SHOW start://?jobid=1&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, slash in queue") << QByteArray("SHOW start://a/b?jobid=1&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, blank in queue") << QByteArray("SHOW start://a b?jobid=1&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, bad UTF-8") << QByteArray("SHOW start://a\xff?jobid=1&time_val=30") << invalid << "" << 0;
    QTest::newRow("show, 128-byte queue")
        << "SHOW start://" + QByteArray(128, 'q') + "?jobid=1&time_val=30" << invalid << "" << 0;
    QTest::newRow("shown") << QByteArray("SHOWN") << int(Message::Shown) << "" << 0;
    QTest::newRow("shown with text") << QByteArray("SHOWN x") << invalid << "" << 0;
    QTest::newRow("nowindow") << QByteArray("NOWINDOW status file belongs to uid 1001") << int(Message::NoWindow) << ""
                              << 0;
    QTest::newRow("nowindow, control") << QByteArray("NOWINDOW a\tb") << invalid << "" << 0;
    QTest::newRow("status 3") << QByteArray("STATUS 3") << int(Message::Status) << "" << 3;
    QTest::newRow("status 5") << QByteArray("STATUS 5") << int(Message::Status) << "" << 5;
    QTest::newRow("status 4") << QByteArray("STATUS 4") << invalid << "" << 0;
    QTest::newRow("result 1") << QByteArray("RESULT 1") << int(Message::Result) << "" << 1;
    QTest::newRow("result 8") << QByteArray("RESULT 8") << int(Message::Result) << "" << 8;
    QTest::newRow("result 6 (no result)") << QByteArray("RESULT 6") << invalid << "" << 0;
    QTest::newRow("result 2 trailing blank") << QByteArray("RESULT 2 ") << invalid << "" << 0;
    QTest::newRow("lower case") << QByteArray("result 2") << invalid << "" << 0;
    QTest::newRow("unknown") << QByteArray("HELLO") << invalid << "" << 0;
    QTest::newRow("empty") << QByteArray("") << invalid << "" << 0;
    QTest::newRow("NUL") << QByteArray("RESULT 2\0", 9) << invalid << "" << 0;
}

void AgentMessagesTest::parse()
{
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    QFETCH(QString, queue);
    QFETCH(int, number);
    const Message m = AgentMessages::parse(line);
    QCOMPARE(int(m.kind), kind);
    if (kind == Message::Show) {
        QCOMPARE(m.queue, queue);
        QCOMPARE(m.jobId, number);
        // What the backend sends for the same job reads back the same.
        QCOMPARE(AgentMessages::showLine(m.queue, m.jobId, m.seconds), line + '\n');
    } else if (kind == Message::Status || kind == Message::Result) {
        QCOMPARE(m.value, number);
        const QByteArray again
            = kind == Message::Status ? AgentMessages::statusLine(number) : AgentMessages::resultLine(number);
        QCOMPARE(again, line + '\n');
    }
}

void AgentMessagesTest::takeLine_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<bool>("overflow");
    QTest::addColumn<int>("left");
    QTest::newRow("two lines and a part")
        << QByteArray("SHOWN\nSTATUS 3\nSTA") << QList<QByteArray> { "SHOWN", "STATUS 3" } << false << 3;
    QTest::newRow("empty line") << QByteArray("\nX\n") << QList<QByteArray> { "", "X" } << false << 0;
    QTest::newRow("511 bytes and newline") << QByteArray(511, 'a') + '\n'
                                           << QList<QByteArray> { QByteArray(511, 'a') } << false << 0;
    QTest::newRow("512 bytes and newline") << QByteArray(512, 'a') + '\n' << QList<QByteArray> {} << true << 513;
    QTest::newRow("512 bytes, no newline yet") << QByteArray(512, 'a') << QList<QByteArray> {} << true << 512;
    QTest::newRow("511 bytes, no newline yet") << QByteArray(511, 'a') << QList<QByteArray> {} << false << 511;
}

void AgentMessagesTest::takeLine()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(bool, overflow);
    QFETCH(int, left);
    QList<QByteArray> got;
    bool over = false;
    for (;;) {
        const QByteArray line = AgentMessages::takeLine(&stream, &over);
        if (line.isNull() || over)
            break;
        got << line;
    }
    QCOMPARE(got, lines);
    QCOMPARE(over, overflow);
    QCOMPARE(stream.size(), left);
}

QTEST_GUILESS_MAIN(AgentMessagesTest)
#include "tst_agent_messages.moc"
