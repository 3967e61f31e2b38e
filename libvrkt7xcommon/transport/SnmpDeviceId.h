#ifndef SNMPDEVICEID_H
#define SNMPDEVICEID_H

// The device-ID query of network printers: one SNMPv1 GetRequest for the printer's IEEE 1284
// device ID (ppmPrinterIEEE1284DeviceId of printer 1 in the PWG Port Monitor MIB), sent over UDP
// with the printer's read community, and a fixed-offset pick of the text out of the answer.

#include <QByteArray>
#include <QHostAddress>
#include <functional>

constexpr quint16 kSnmpPort = 161;
constexpr int kSnmpRequestSize = 47;
// An answer of this size or less carries no device ID; a longer one carries (size - 60) bytes of
// it starting at offset 59.
constexpr int kSnmpReplyOverhead = 60;
constexpr int kSnmpDeviceIdOffset = 59;

// Qt wait for the UDP socket to be connected.
constexpr int kSnmpConnectWaitMs = 5000;
// The answer is polled for up to kSnmpPolls times, kSnmpPollIntervalUs apart (about 5 s).
constexpr int kSnmpPolls = 500;
constexpr int kSnmpPollIntervalUs = 10000;
// At most this many datagrams are joined into one answer (a peer that floods the socket cannot
// keep the query reading forever).
constexpr int kSnmpMaxDatagrams = 64;

// The 47 bytes of the GetRequest.
QByteArray snmpDeviceIdRequest();

// Copies the device ID out of a joined answer into buffer: when the answer is longer than 60 bytes
// and bufsize is at least (answer size - 60), those bytes from answer offset 59; a zero byte
// follows them when buffer has room for it. Otherwise buffer is left untouched. Returns the number
// of bytes copied.
int copySnmpDeviceId(const QByteArray& reply, char* buffer, int bufsize);

// Sends the GetRequest to address:port and waits about 5 s for the answer (polling through the
// library clock), then hands every datagram that arrived to copySnmpDeviceId. Returns -1 when the
// socket cannot be connected or the request not sent, otherwise 0, whether or not an answer came.
// *answered (when given) tells whether at least one datagram came back. `stopWaiting` (when
// given) is asked at every poll without an answer; true ends the wait early.
int snmpQueryDeviceId(const QHostAddress& address, quint16 port, char* buffer, int bufsize, bool* answered = nullptr,
    const std::function<bool()>& stopWaiting = nullptr);

// The query on port 161 of the host of device_uri (looked up with get_ip_address).
int _platform_net_get_device_id(const char* device_uri, char* buffer, int bufsize, bool* answered = nullptr);

#endif
