// The demo (scripts/demo.sh) as a smoke test: it must run from start to end against this build
// tree, every fpctl step ending with the exit code it expects, and fpmanager must log in on the
// same simulated printers under Xvfb, and a job printed through the fingerprint backend must show
// its window and print, another one end cancelled. The demo enters its own private namespace. Its output and
// fpmanager's pictures are kept in the artifacts directory.

#include <QImage>
#include <QtTest>
#include <csignal>
#include <unistd.h>

namespace
{

// "PID COMMAND" of every live process of process group pgid (zombies left out).
QStringList groupMembers(pid_t pgid)
{
    QStringList members;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "PID (COMM) STATE PPID PGRP ...": the command may hold blanks and parentheses.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(0) != "Z" && fields.at(2).toInt() == pgid)
            members << QString::fromUtf8(text.left(text.lastIndexOf(')') + 1));
    }
    return members;
}

} // namespace

class TestFpctlDemo : public QObject
{
    Q_OBJECT

private slots:
    void runsToTheEnd();
};

void TestFpctlDemo::runsToTheEnd()
{
    const QString artifacts = qEnvironmentVariable("VRKT_ARTIFACTS_DIR");
    QVERIFY(!artifacts.isEmpty());
    const QStringList pictures { artifacts + QStringLiteral("/fpctl-demo-fpmanager-login.png"),
        artifacts + QStringLiteral("/fpctl-demo-fpmanager-main.png"),
        artifacts + QStringLiteral("/demo-print-window.png") };
    for (const QString& picture : pictures)
        QFile::remove(picture);

    QProcess demo;
    demo.setProgram(QStringLiteral(VRKT_SOURCE_DIR "/scripts/demo.sh"));
    demo.setArguments({ QStringLiteral(VRKT_BINARY_DIR), QStringLiteral("--xvfb") });
    demo.setProcessChannelMode(QProcess::MergedChannels);
    // A group of its own, so that a demo that hangs can be stopped with everything it started.
    demo.setChildProcessModifier([] { ::setsid(); });
    QElapsedTimer timer;
    timer.start();
    demo.start();
    QVERIFY(demo.waitForStarted());
    const pid_t group = static_cast<pid_t>(demo.processId());
    const bool finished = demo.waitForFinished(400000);
    // A demo that ended by itself has ended everything it started; what is left is ended here.
    QStringList left;
    const bool groupEmpty = !finished || QTest::qWaitFor([&] { return (left = groupMembers(group)).isEmpty(); }, 5000);
    ::kill(-group, SIGKILL);
    if (!finished)
        demo.waitForFinished();
    const QByteArray output = demo.readAll();
    if (QDir().mkpath(artifacts)) {
        QFile file(artifacts + QStringLiteral("/fpctl-demo.txt"));
        if (file.open(QIODevice::WriteOnly))
            file.write(output);
    }
    qInfo("the demo took %lld ms", timer.elapsed());

    QVERIFY2(finished, output.constData());
    QVERIFY2(groupEmpty, qPrintable(left.join(QLatin1Char('\n'))));
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, output.constData());
    const QString text = QString::fromUtf8(output);
    for (const char* line : { "Enrolled '张伟' on ZPH6100RMX (index 2).",
             "Exported 2 fingerprint records from ZPH6100RMX to /tmp/vrkt7x-demo/fingerprints.fdl.", "    2  张伟",
             "Identified 'alice' (index 1) on ZPH6100RMX.",
             "Imported 2 fingerprint records from /tmp/vrkt7x-demo/fingerprints.fdl into ZPH6100RMX_NET.",
             "fpmanager logged in and shows ZPH6100RMX with authentication on",
             "the finger was verified; the printer printed the job's 63 bytes unchanged",
             "ended cancelled: No fingerprint was verified in the time allowed; the print job is cancelled.",
             "Demo finished: every step ended as expected." })
        QVERIFY2(text.contains(QString::fromUtf8(line)), line);
    QVERIFY2(!text.contains(QRegularExpression(QStringLiteral("(^|\\n)demo: "))), output.constData());
    for (const QString& picture : pictures) {
        QImage image(picture);
        QVERIFY2(!image.isNull(), qPrintable(picture));
    }
    QCOMPARE(QImage(pictures.at(1)).size(), QSize(649, 503)); // fpmanager's main window
    QCOMPARE(QImage(pictures.at(2)).size(), QSize(400, 300)); // fpverify's window
}

QTEST_GUILESS_MAIN(TestFpctlDemo)
#include "tst_fpctl_demo.moc"
