// The fault matrix (docs/fault-matrix.md), every cell, in-process: the library's own FingerCommon
// talks through EngineTransport to fpsim's engine, all on the fake clock. A fault that keeps the
// library busy for minutes (polls, read waits, bulk time-outs) runs in microseconds, and the time
// it reports is the time the real transports would have taken, so the bounds of the table are
// checked exactly. The same rows run against the real fpsim in real time where that is affordable
// (tst_faultmatrix_usb, tst_faultmatrix_net).

#include "EngineTransport.h"
#include "FakeClock.h"
#include "FaultMatrix.h"
#include "service/FingerCommon.h"

#include <QtTest>
#include <memory>

using namespace faults;

namespace
{

class EnginePrinter : public PrinterSide
{
public:
    EnginePrinter(fpsim::PrinterEngine& engine, EngineTransport* usb)
        : m_engine(engine)
        , m_usb(usb)
    {
    }
    bool reset() override
    {
        m_engine.setUnplugged(false);
        m_engine.clearFaults();
        m_engine.clearStore();
        m_engine.clearFingerScript();
        m_engine.setAutoFinger(false);
        m_engine.setAuthState(1);
        m_usb->cutBulkInAfter(-1);
        return true;
    }
    bool setState(int state) override
    {
        m_engine.setAuthState(state);
        return true;
    }
    int state() override { return m_engine.authState(); }
    bool addUser(const QByteArray& name) override { return m_engine.addUser(name).has_value(); }
    QList<QByteArray> users() override
    {
        QList<QByteArray> names;
        for (const auto& r : m_engine.records())
            names << r.name;
        return names;
    }
    QByteArray storeBytes() override { return m_engine.storeBytes(); }
    bool pressAtNextWait(const QByteArray& user) override
    {
        fpsim::FingerPress press;
        press.user = user;
        press.when = fpsim::FingerPress::When::NextWait;
        press.delayMs = 0;
        m_engine.pressFinger(press);
        return true;
    }
    bool injectFault(const QString& text) override
    {
        const auto rule = fpsim::FaultRule::parse(text, &m_error);
        if (!rule)
            return false;
        m_engine.addFault(*rule);
        return true;
    }
    bool recover() override
    {
        m_engine.setUnplugged(false);
        m_engine.clearFaults();
        m_engine.clearFingerScript();
        m_usb->cutBulkInAfter(-1);
        return true;
    }
    bool cutExport(int bytes) override
    {
        m_usb->cutBulkInAfter(bytes);
        return true;
    }
    QString lastError() override { return m_error; }

private:
    fpsim::PrinterEngine& m_engine;
    EngineTransport* m_usb;
    QString m_error;
};

} // namespace

class FaultMatrixEngineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void matrix_data();
    void matrix();

private:
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<EngineClock> m_engineClock;
    std::unique_ptr<fpsim::PrinterEngine> m_engine;
    FingerCommon m_common;
    QTemporaryDir m_dir;
    QStringList m_measured;
};

void FaultMatrixEngineTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clock = std::make_unique<FakeClock>();
    m_engineClock = std::make_unique<EngineClock>();
    fpsim::PrinterConfig config;
    config.serial = "SIM0001";
    m_engine = std::make_unique<fpsim::PrinterEngine>(config, *m_engineClock);
}

void FaultMatrixEngineTest::cleanupTestCase()
{
    // What every cell gave, for the document's maintainer.
    const QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR");
    if (dir.isEmpty() || !QDir().mkpath(dir))
        return;
    QFile file(dir + QStringLiteral("/fault-matrix-engine.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(m_measured.join(QLatin1Char('\n')).toUtf8() + '\n');
}

void FaultMatrixEngineTest::matrix_data()
{
    QTest::addColumn<Cell>("cell");
    QString error;
    const QList<Cell> cells = loadMatrix(matrixDocument(), &error);
    QVERIFY2(!cells.isEmpty(), qPrintable(error));
    for (const Cell& cell : cells)
        QTest::newRow(qPrintable(cell.tag())) << cell;
}

void FaultMatrixEngineTest::matrix()
{
    QFETCH(Cell, cell);
    auto* usb = new EngineTransport(1, *m_engine, *m_engineClock);
    auto* net = new EngineTransport(2, *m_engine, *m_engineClock);
    m_common.cmd.devicemanager.setTransports(usb, net);
    m_common.devicemanager.setTransports(
        new EngineTransport(1, *m_engine, *m_engineClock), new EngineTransport(2, *m_engine, *m_engineClock));
    EnginePrinter printer(*m_engine, usb);

    RunContext ctx;
    ctx.printer = &printer;
    ctx.uri = cell.transport == QLatin1String("usb") ? QByteArray("usb://Simulated/ZPH6100RMX?serial=SIM0001")
                                                     : QByteArray("socket://127.0.0.2");
    ctx.workDir = m_dir.path();
    ctx.nowMs = [] { return libClock().milliseconds(); };
    ctx.checkReleased = [usb, net] {
        QStringList held;
        for (EngineTransport* t : { usb, net }) {
            if (t->device_is_open || t->opens != t->closes)
                held << QStringLiteral("transport %1 left open (%2 opens, %3 closes)")
                            .arg(t->type())
                            .arg(t->opens)
                            .arg(t->closes);
        }
        return held.join(QStringLiteral("; "));
    };
    FingerCommon& c = m_common;
    ctx.calls.isDeviceFingerOpen = [&c](char* p) { return c.IsDeviceFingerOpen(p); };
    ctx.calls.openFinger = [&c](char* p) { return c.OpenFinger(p); };
    ctx.calls.closeFinger = [&c](char* p) { return c.CloseFinger(p); };
    ctx.calls.checkFinger = [&c](char* p, char* u) { return c.CheckFinger(p, u); };
    ctx.calls.deleteFinger = [&c](char* p, char* u) { return c.DeleteFinger(p, u); };
    ctx.calls.deleteFingers = [&c](char* p) { return c.DeleteFingers(p); };
    ctx.calls.addFinger = [&c](char* p, int mode, char* u, int* i) { return c.AddFinger(p, mode, u, i); };
    ctx.calls.importFinger = [&c](char* p, char* f) { return c.ImportFinger(p, f); };
    ctx.calls.exportFinger = [&c](char* p, char* f, int* n) { return c.ExportFinger(p, f, n); };
    ctx.calls.isFingerPrint = [&c](char* p, char* u, short* i) { return c.IsFingerPrint(p, u, i); };

    int result = 0;
    qint64 elapsed = 0;
    const QString problems = runCell(cell, ctx, &result, &elapsed);
    m_measured << QStringLiteral("%1 | %2 | %3 ms | %4")
                      .arg(cell.tag())
                      .arg(result)
                      .arg(elapsed)
                      .arg(problems.isEmpty() ? QStringLiteral("ok") : problems);
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("line %1: %2").arg(cell.line).arg(problems)));
}

QTEST_GUILESS_MAIN(FaultMatrixEngineTest)
#include "tst_faultmatrix_engine.moc"
