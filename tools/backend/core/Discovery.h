#ifndef BACKEND_DISCOVERY_H
#define BACKEND_DISCOVERY_H

#include <QByteArray>
#include <QList>

// Discovery (the backend run without arguments): the network backends installed beside it list
// their devices, and the USB printers are read from the bus the way the usb backend names them
// (when that backend is installed beside it, since it prints to them); those of the supported model
// are listed again behind the backend's prefix. The usb backend itself is not run: cups-deviced
// runs it at the same moment, and two runs claiming one printer make one of them miss it.
namespace Discovery
{

inline constexpr char kModel[] = "ZPH6100RMX";
inline constexpr char kInfoSuffix[] = " (fingerprint authentication)";
// The backends asked, in this order, after the USB printers.
inline const QList<QByteArray> kInnerBackends = { "snmp", "dnssd" };
inline constexpr char kUsbBackend[] = "usb";
inline constexpr int kTimeoutMs = 10000;

// One device line of a backend: class URI "make and model" "info" ["device id" ["location"]].
// Returns the line for the backend when the make and model or the device id names the supported
// model and the URI can be wrapped; an empty array otherwise.
QByteArray rewrite(const QByteArray& line);

// The usb backend's device line for a printer found on the bus.
QByteArray usbLine(const QByteArray& uri, const QByteArray& makeAndModel, const QByteArray& deviceId);

// Runs the inner backends of folder that exist, all at once, and lists the USB printers meanwhile,
// for at most timeoutMs; returns the rewritten lines (each once).
QList<QByteArray> discover(const QByteArray& folder, int timeoutMs = kTimeoutMs);

} // namespace Discovery

#endif
