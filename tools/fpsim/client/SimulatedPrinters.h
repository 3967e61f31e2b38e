#pragma once
// Starting simulated printers from tests.
//
// Network printers run as child processes ("fpsim net"), one per address; inside the test
// namespace (vrkt_add_qtest(... NAMESPACE)) every 127.0.0.x address is on the loopback device, so
// a test can run several side by side:
//
//     fpsim::SimulatedNetPrinter a, b;
//     QVERIFY2(a.start("127.0.0.2"), qPrintable(a.errorString()));
//     QVERIFY2(b.start("127.0.0.3", {"--auto-finger"}), qPrintable(b.errorString()));
//     a.control().addUser("alice");
//     // the library reaches them as socket://127.0.0.2 and socket://127.0.0.3
//
// USB printers exist only for a program started under "fpsim usb" (umockdev): the launcher
// creates one device per serial, runs the program with the umockdev preload, and tells it each
// device's control socket through the environment: FPSIM_CONTROL_<SERIAL> for every device and
// FPSIM_CONTROL for the first. A Qt Test program puts itself there with FPSIM_USB_TEST_MAIN:
//
//     FPSIM_USB_TEST_MAIN(TestUsbThings, "SIM0001", "SIM0002")
//     ...
//     fpsim::ControlClient c;
//     QVERIFY(c.connectTo(fpsim::usbControlSocket("SIM0001")));
//     // the library reaches it as usb://Simulated/ZPH6100RMX?serial=SIM0001
//
// The USB devices have vendor fpsim::UsbVendorId and product fpsim::UsbProductId,
// manufacturer "Simulated", product "ZPH6100RMX Series", the given serial, interface 0 of class 7
// (printer) with bulk OUT 0x01 and bulk IN 0x82; their device ID
// "MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX;CLS:PRINTER;SN:<serial>;" makes CUPS' own usb backend
// (run under "fpsim usb" like any program) list and print to usb://Simulated/ZPH6100RMX?serial=<serial>.
// Print data (bulk OUT outside an import; TCP port 9100 of a network printer) becomes a print
// job that the control language reports ("jobs").

#include "ControlClient.h"

#include <QString>
#include <QStringList>
#include <memory>

class QProcess;

namespace fpsim
{

constexpr quint16 UsbVendorId = 0x1209;
constexpr quint16 UsbProductId = 0x0001;

// Path of the fpsim program of this build tree.
QString fpsimProgram();

class SimulatedNetPrinter
{
public:
    SimulatedNetPrinter();
    ~SimulatedNetPrinter(); // stops the printer
    SimulatedNetPrinter(const SimulatedNetPrinter&) = delete;
    SimulatedNetPrinter& operator=(const SimulatedNetPrinter&) = delete;

    // Starts "fpsim net --address ADDRESS --control <temp socket> --exit-with-parent EXTRA..."
    // and waits until its control socket answers. Extra arguments are fpsim options, e.g.
    // {"--auto-finger", "--port", "0", "--snmp-port", "0"}.
    bool start(const QString& address, const QStringList& extraArguments = {}, int timeoutMs = 10000);
    // Asks the printer to quit, then terminates it if needed. Its output stays readable.
    void stop();
    bool isRunning() const;

    ControlClient& control() { return m_control; }
    QString address() const { return m_address; }
    QString deviceUri() const { return QStringLiteral("socket://") + m_address; }
    QString controlSocket() const { return m_socketPath; }
    QString errorString() const { return m_error; }
    // What the printer wrote to stderr so far.
    QString output() const;

private:
    std::unique_ptr<QProcess> m_process;
    ControlClient m_control;
    QString m_address;
    QString m_socketPath;
    QString m_dir;
    QString m_error;
    mutable QString m_output;
};

// Control socket of the simulated USB printer with `serial` ("" = the first device), taken from
// the environment that "fpsim usb" set; empty when not running under it.
QString usbControlSocket(const QString& serial = QString());
bool runningUnderUsbSimulation();

// Unless already inside, replaces this process by "fpsim usb --serial S... EXTRA... -- argv..."
// (execv; returns only when already inside or when the exec failed, after printing why).
void runUnderUsbSimulation(int argc, char** argv, const QStringList& serials, const QStringList& extraArguments = {});

} // namespace fpsim

// main() for a Qt Test class that needs simulated USB printers with the given serials.
#define FPSIM_USB_TEST_MAIN(TestClass, ...)                                                                            \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        fpsim::runUnderUsbSimulation(argc, argv, QStringList { __VA_ARGS__ });                                         \
        QCoreApplication app(argc, argv);                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
