// Helper of tst_store_writeback_kill: adds fingerprint rows to the database in DIR and gets
// killed, by itself at the chosen step of the write-back or by the test at any moment.
// Usage: store_writeback_child DIR step:N   (SIGKILL at the N-th write-back step; when
//                                            there are fewer, prints their number, exits 3)
//        store_writeback_child DIR loop     (adds rows until killed)

#include "store/FingerManage.h"
#include "store/SecureFile.h"
#include "ui/NoticeBox.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

namespace
{

int g_killAt = 0;
int g_steps = 0;

void killAtStep(const char*)
{
    if (++g_steps == g_killAt)
        std::raise(SIGKILL);
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIR step:N|loop\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler(&quiet);
    NoticeBox::setHandler([](const NoticeRequest&) { return QMessageBox::Ok; });

    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString mode = QString::fromLocal8Bit(argv[2]);
    FingerManagePaths paths;
    paths.databaseFile = dir + QStringLiteral("/fingerdata.db");
    paths.workingCopy = dir + QStringLiteral("/.work.db");
    CFingerManage manager(nullptr, paths);
    manager.m_strDbPath = paths.databaseFile;
    manager.m_strTmpDbPath = paths.workingCopy;
    manager.m_printerName = QStringLiteral("P");

    if (mode.startsWith(QLatin1String("step:"))) {
        g_killAt = mode.mid(5).toInt();
        SecureFile::setStepHook(&killAtStep);
        manager.InsertFinger(100000, QStringLiteral("killed"));
        std::printf("steps=%d\n", g_steps);
        return 3;
    }
    for (int i = 0;; ++i)
        manager.InsertFinger(200000 + i, QStringLiteral("loop"));
}
