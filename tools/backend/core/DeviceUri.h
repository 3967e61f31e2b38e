#ifndef DEVICEURI_H
#define DEVICEURI_H

#include "vrkt7xuri.h"

#include <QByteArray>
#include <functional>

// Device URIs of the backend: "vrkt7x:" followed by the printer's own URI, for instance
// "vrkt7x:usb://Maker/ZPH6100RMX?serial=SIM0001" or "vrkt7x:socket://192.0.2.7:9100".
namespace DeviceUri
{

inline constexpr char kPrefix[] = VRKT7X_URI_PREFIX;
inline constexpr char kScheme[] = "vrkt7x";
// The library takes printer URIs shorter than this.
inline constexpr int kMaxInnerUriBytes = 255;

struct Inner {
    QByteArray uri; // the printer's own URI
    QByteArray scheme; // its scheme, the name of the backend that prints to it
};

// Splits a device URI of the backend. False when it does not start with the prefix, when the
// inner URI is empty, too long or holds blanks or control characters, or when its scheme is not
// a plain scheme (a letter, then letters, digits, '+', '-', '.'; lower case) followed by ':' —
// or is the backend's own.
bool split(const QByteArray& deviceUri, Inner* inner);

// The backend's device URI for a printer URI.
QByteArray wrap(const QByteArray& innerUri);

// Turns a dnssd:// URI into the printer's URI; empty when it cannot.
using Resolver = std::function<QByteArray(const QByteArray& dnssdUri)>;

// The URI the inner backend prints to, for a printer URI that split() accepted. CUPS's IPP
// backend waits until the printer reports the job completed, and a printer that holds the job
// until a finger never does before the verification, which starts once the inner backend has
// returned: an ipp, ipps, http or https URI gets "waitjob=false" (replacing any waitjob option).
// A dnssd:// URI is resolved first, since the dnssd backend drops the options of the URI it
// resolves; it stays as it is when it does not resolve to a URI of an IPP, socket or LPD printer.
// Its scheme names the backend to run.
QByteArray innerBackendUri(const QByteArray& innerUri, const Resolver& resolve);

} // namespace DeviceUri

#endif
