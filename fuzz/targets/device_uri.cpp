// Device URIs as CUPS hands them out (an administrator chooses them with lpadmin; a "dnssd://" one
// is resolved by libcups): through DeviceManager's choice of transport, UsbIO::resolveUrl and
// NetIO::resolveUrl. The input is the URI (any length, cut at the first zero byte), then what the
// "dnssd://" resolver answers. No name is looked up on the network: getaddrinfo is replaced in this
// program and refuses every name.
//
// Properties checked besides memory safety: the transport matches the "usb://" prefix, every fixed
// field stays terminated, a URI of 256 bytes or more is refused, a network URI resolves to
// "socket://" and an address.

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "transport/DeviceManager.h"
#include "transport/NetIO.h"
#include "transport/UsbIO.h"

#include <cstring>
#include <netdb.h>
#include <string>

namespace
{
int g_lookups = 0;
std::string g_resolved; // what the dnssd resolver answers for this input
} // namespace

// Name lookups of this program: none reach the network.
extern "C" int getaddrinfo(const char*, const char*, const struct addrinfo*, struct addrinfo** res)
{
    ++g_lookups;
    if (res)
        *res = nullptr;
    return EAI_NONAME;
}

namespace
{

int fuzzResolver(const char*, char* buffer, int bufsize)
{
    if (g_resolved.empty() || bufsize <= 0)
        return -1;
    const size_t n = std::min(g_resolved.size(), static_cast<size_t>(bufsize));
    memcpy(buffer, g_resolved.data(), n); // not terminated when it fills the buffer
    return 0;
}

struct Transports {
    DeviceManager manager;
    UsbIO* usb = new UsbIO;
    NetIO* net = new NetIO;
    Transports()
    {
        net->setUriResolver(fuzzResolver);
        manager.setTransports(usb, net);
    }
};

Transports& transports()
{
    static Transports* t = new Transports; // lives until the process ends
    return *t;
}

void checkTerminated(const char* field, size_t size) { FUZZ_CHECK(strnlen(field, size) < size); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const std::string raw = in.bytes(in.u16() % 1024);
    const std::string uri = raw.substr(0, strnlen(raw.c_str(), raw.size()));
    g_resolved = in.rest();

    Transports& t = transports();
    // Every input starts from unresolved transports.
    t.usb->device_uri[0] = '\0';
    t.net->device_uri[0] = '\0';
    t.manager.device_uri.clear();

    // Exactly sized copies, so that reading past the terminator is caught.
    std::unique_ptr<char[]> exact(new char[uri.size() + 1]);
    memcpy(exact.get(), uri.c_str(), uri.size() + 1);

    const int usbResult = t.usb->resolveUrl(exact.get());
    checkTerminated(t.usb->device_uri, sizeof t.usb->device_uri);
    checkTerminated(t.usb->serial, sizeof t.usb->serial);
    if (uri.size() >= 256)
        FUZZ_CHECK(usbResult == -1);
    if (usbResult == 0)
        FUZZ_CHECK(uri == t.usb->device_uri);

    const int netResult = t.net->resolveUrl(exact.get());
    checkTerminated(t.net->device_uri, sizeof t.net->device_uri);
    if (uri.size() >= 256)
        FUZZ_CHECK(netResult == -1);
    if (netResult == 0) {
        FUZZ_CHECK(t.net->resolved_url.compare(0, 9, "socket://") == 0);
        FUZZ_CHECK(uri == t.net->device_uri);
    }

    Printer_struct printer;
    memset(&printer, 0, sizeof printer);
    copyField(printer.deviceUri, exact.get());
    checkTerminated(printer.deviceUri, sizeof printer.deviceUri);
    t.usb->device_uri[0] = '\0';
    t.net->device_uri[0] = '\0';
    DeviceIO* device = t.manager.getDevice(&printer);
    FUZZ_CHECK(device != nullptr);
    const bool usbPrefix = strncmp(printer.deviceUri, "usb://", 6) == 0;
    FUZZ_CHECK(DeviceManager::getDeviceType(printer.deviceUri) == (usbPrefix ? 1 : 2));
    FUZZ_CHECK(device->type() == (usbPrefix ? 1 : 2));
    FUZZ_CHECK(device == (usbPrefix ? static_cast<DeviceIO*>(t.usb) : t.net));
    FUZZ_CHECK(t.manager.getDevice(&printer) == device);
    return 0;
}
