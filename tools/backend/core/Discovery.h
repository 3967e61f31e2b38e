#ifndef BACKEND_DISCOVERY_H
#define BACKEND_DISCOVERY_H

#include <QByteArray>
#include <QList>

// Discovery (the backend run without arguments): the backends installed beside it list their
// devices; those of the supported model are listed again behind the backend's prefix.
namespace Discovery
{

inline constexpr char kModel[] = "ZPH6100RMX";
inline constexpr char kInfoSuffix[] = " (fingerprint authentication)";
// The backends asked, in this order.
inline const QList<QByteArray> kInnerBackends = { "usb", "snmp", "dnssd" };
inline constexpr int kTimeoutMs = 10000;

// One device line of a backend: class URI "make and model" "info" ["device id" ["location"]].
// Returns the line for the backend when the make and model or the device id names the supported
// model and the URI can be wrapped; an empty array otherwise.
QByteArray rewrite(const QByteArray& line);

// Runs the inner backends of folder that exist, all at once, for at most timeoutMs, and returns
// the rewritten lines (each once).
QList<QByteArray> discover(const QByteArray& folder, int timeoutMs = kTimeoutMs);

} // namespace Discovery

#endif
