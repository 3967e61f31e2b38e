#include "SimulatedPrinters.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace fpsim
{

QString fpsimProgram() { return QStringLiteral(FPSIM_PROGRAM); }

SimulatedNetPrinter::SimulatedNetPrinter() = default;

SimulatedNetPrinter::~SimulatedNetPrinter()
{
    stop();
    if (!m_dir.isEmpty())
        QDir(m_dir).removeRecursively();
}

bool SimulatedNetPrinter::start(const QString& address, const QStringList& extraArguments, int timeoutMs)
{
    stop();
    m_address = address;
    if (m_dir.isEmpty()) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/fpsim-XXXXXX"));
        dir.setAutoRemove(false);
        if (!dir.isValid()) {
            m_error = QStringLiteral("cannot make a temporary directory");
            return false;
        }
        m_dir = dir.path();
    }
    m_socketPath = m_dir + QStringLiteral("/") + address + QStringLiteral(".sock");
    m_output.clear();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    QStringList args { QStringLiteral("net"), QStringLiteral("--address"), address, QStringLiteral("--control"),
        m_socketPath, QStringLiteral("--exit-with-parent") };
    args += extraArguments;
    m_process->start(fpsimProgram(), args);
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(fpsimProgram(), m_process->errorString());
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running) {
            m_error = QStringLiteral("fpsim ended at start: ") + output();
            return false;
        }
        if (QFile::exists(m_socketPath) && m_control.connectTo(m_socketPath, 200) && m_control.ping())
            return true;
        m_process->waitForFinished(20);
    }
    m_error = QStringLiteral("fpsim did not answer on %1: %2").arg(m_socketPath, output());
    return false;
}

void SimulatedNetPrinter::stop()
{
    if (!m_process)
        return;
    if (m_process->state() == QProcess::Running) {
        if (m_control.isConnected())
            m_control.quit();
        if (!m_process->waitForFinished(3000)) {
            m_process->terminate();
            if (!m_process->waitForFinished(3000)) {
                m_process->kill();
                m_process->waitForFinished(3000);
            }
        }
    }
    output();
    m_control.disconnect();
    m_process.reset();
}

bool SimulatedNetPrinter::isRunning() const { return m_process && m_process->state() == QProcess::Running; }

QString SimulatedNetPrinter::output() const
{
    if (m_process)
        m_output += QString::fromLocal8Bit(m_process->readAllStandardError());
    return m_output;
}

QString usbControlSocket(const QString& serial)
{
    if (serial.isEmpty())
        return qEnvironmentVariable("FPSIM_CONTROL");
    return qEnvironmentVariable(qPrintable(QStringLiteral("FPSIM_CONTROL_") + serial));
}

bool runningUnderUsbSimulation() { return !qEnvironmentVariableIsEmpty("FPSIM_CONTROL"); }

void runUnderUsbSimulation(int argc, char** argv, const QStringList& serials, const QStringList& extraArguments)
{
    if (runningUnderUsbSimulation())
        return;
    QList<QByteArray> args { QFile::encodeName(fpsimProgram()), "usb" };
    for (const QString& s : serials)
        args << "--serial" << s.toLocal8Bit();
    for (const QString& e : extraArguments)
        args << e.toLocal8Bit();
    args << "--exit-with-parent"
         << "--";
    for (int i = 0; i < argc; ++i)
        args << QByteArray(argv[i]);
    std::vector<char*> raw;
    for (QByteArray& a : args)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    std::fflush(nullptr);
    ::execv(raw[0], raw.data());
    std::perror("fpsim: cannot run the USB simulation");
}

} // namespace fpsim
