#include "UsbPrinters.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cups/cups.h>
#include <libusb.h>
#include <strings.h>

// Exported by libcups for its backends, declared in none of its installed headers: the parser of
// IEEE 1284 device IDs and the make-and-model normaliser that CUPS's usb backend names devices with.
extern "C" int _cupsGet1284Values(const char* device_id, cups_option_t** values);
extern "C" char* _ppdNormalizeMakeAndModel(const char* make_and_model, char* buffer, size_t bufsize);

namespace UsbPrinters
{

namespace
{

    constexpr uint8_t kPrinterClass = 7;
    constexpr uint8_t kClassIn = 0xA1; // class, interface, device to host
    constexpr uint8_t kGetDeviceId = 0;
    constexpr int kReplyBytes = 1024;
    constexpr int kRequestMs = 5000;

    // The device ID's values by key (keys compared without case, as CUPS does).
    class Values
    {
    public:
        explicit Values(const QByteArray& deviceId)
            : m_count(_cupsGet1284Values(deviceId.constData(), &m_values))
        {
        }
        ~Values() { cupsFreeOptions(m_count, m_values); }
        Values(const Values&) = delete;
        Values& operator=(const Values&) = delete;

        const char* first(std::initializer_list<const char*> keys) const
        {
            for (const char* key : keys) {
                if (const char* value = cupsGetOption(key, m_count, m_values))
                    return value;
            }
            return nullptr;
        }

    private:
        cups_option_t* m_values = nullptr;
        int m_count = 0;
    };

    QByteArray normalized(const char* text)
    {
        char buffer[256] = {};
        _ppdNormalizeMakeAndModel(text, buffer, sizeof(buffer));
        return QByteArray(buffer);
    }

    // The first bidirectional (else unidirectional) printer interface of the active configuration.
    bool printerInterface(libusb_device* device, int* iface, int* altsetting)
    {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0
            && libusb_get_config_descriptor(device, 0, &config) != 0)
            return false;
        int best = 0;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& interface = config->interface[i];
            for (int a = 0; a < interface.num_altsetting; ++a) {
                const libusb_interface_descriptor& d = interface.altsetting[a];
                if (d.bInterfaceClass != kPrinterClass || d.bInterfaceSubClass != 1
                    || (d.bInterfaceProtocol != 1 && d.bInterfaceProtocol != 2) || d.bInterfaceProtocol <= best)
                    continue;
                best = d.bInterfaceProtocol;
                *iface = d.bInterfaceNumber;
                *altsetting = d.bAlternateSetting;
            }
        }
        libusb_free_config_descriptor(config);
        return best > 0;
    }

    bool ask(libusb_device* device, const QDeadlineTimer& deadline, Printer* printer)
    {
        int iface = 0;
        int altsetting = 0;
        libusb_device_descriptor descriptor;
        if (libusb_get_device_descriptor(device, &descriptor) != 0 || !printerInterface(device, &iface, &altsetting))
            return false;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(device, &handle) != 0)
            return false;
        auto remaining = [&deadline] {
            return static_cast<unsigned>(std::clamp<qint64>(deadline.remainingTime(), 1, kRequestMs));
        };
        // No claim: the kernel passes GET_DEVICE_ID to a printer interface from any opener.
        unsigned char reply[kReplyBytes] = {};
        const int received = libusb_control_transfer(handle, kClassIn, kGetDeviceId, 0,
            static_cast<uint16_t>((iface << 8) | altsetting), reply, sizeof(reply), remaining());
        QByteArray serial;
        if (received > 0 && descriptor.iSerialNumber && !deadline.hasExpired()) {
            unsigned char text[256] = {};
            const int n = libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof(text) - 1);
            if (n > 0)
                serial = QByteArray(reinterpret_cast<const char*>(text), n);
        }
        libusb_close(handle);
        if (received <= 0)
            return false;
        printer->deviceId = deviceIdText(QByteArray(reinterpret_cast<const char*>(reply), received));
        if (printer->deviceId.isEmpty())
            return false;
        printer->uri = deviceUri(printer->deviceId, serial, iface);
        printer->makeAndModel = makeAndModel(printer->deviceId);
        return !printer->uri.isEmpty();
    }

} // namespace

QByteArray deviceIdText(const QByteArray& reply)
{
    if (reply.size() < 2)
        return QByteArray();
    const auto byte = [&reply](int i) { return static_cast<unsigned char>(reply.at(i)); };
    // The length counts its own two bytes; some printers send it little-endian. The usb backend
    // reads it so, and the URI must come out as it does.
    int length = (byte(0) << 8) | byte(1);
    if (length < 14 || length > kReplyBytes - 2)
        length = (byte(1) << 8) | byte(0);
    if (length < 14)
        return QByteArray();
    QByteArray id = reply.mid(2, std::min<int>(length, kReplyBytes - 2) - 2);
    const int nul = id.indexOf('\0');
    if (nul >= 0)
        id.truncate(nul);
    return id;
}

QByteArray deviceUri(const QByteArray& deviceId, const QByteArray& descriptorSerial, int iface)
{
    const Values values(deviceId);
    const char* idSerial = values.first({ "SERIALNUMBER", "SERN", "SN" });
    const QByteArray serial = idSerial ? QByteArray(idSerial) : descriptorSerial;
    const bool hasSerial = idSerial || !descriptorSerial.isEmpty();
    const char* idMake = values.first({ "MANUFACTURER", "MFG" });
    QByteArray make = idMake;
    const char* model = values.first({ "MODEL", "MDL" });
    const char* description = values.first({ "DESCRIPTION", "DES" });
    if (!idMake) {
        // No manufacturer: the first word of the normalised model or description.
        make = model ? normalized(model) : description ? normalized(description) : QByteArray("Unknown");
        const int blank = make.indexOf(' ');
        if (blank >= 0)
            make.truncate(blank);
    } else if (strcasecmp(make.constData(), "Hewlett-Packard") == 0) {
        make = "HP";
    } else if (strcasecmp(make.constData(), "Lexmark International") == 0) {
        make = "Lexmark";
    }
    QByteArray product = model                             ? model
        : description                                      ? description
        : strncasecmp(make.constData(), "Unknown", 7) == 0 ? "Printer"
                                                           : "Unknown Model";
    // "MAKE MODEL" loses its make.
    if (product.size() > make.size() && strncasecmp(product.constData(), make.constData(), make.size()) == 0
        && isspace(static_cast<unsigned char>(product.at(make.size()))))
        product = product.mid(make.size() + 1).trimmed();
    QByteArray options;
    if (hasSerial)
        options = "?serial=" + serial + (iface > 0 ? "&interface=" + QByteArray::number(iface) : QByteArray());
    else if (iface > 0)
        options = "?interface=" + QByteArray::number(iface);
    char uri[1024];
    if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "usb", nullptr, make.constData(), 0, "/%s%s",
            product.constData(), options.constData())
        != HTTP_URI_STATUS_OK)
        return QByteArray();
    return QByteArray(uri);
}

QByteArray makeAndModel(const QByteArray& deviceId)
{
    const Values values(deviceId);
    const char* model = values.first({ "MODEL", "MDL" });
    if (!model) {
        const char* description = values.first({ "DESCRIPTION", "DES" });
        return description ? normalized(description) : QByteArray("Unknown");
    }
    const char* make = values.first({ "MANUFACTURER", "MFG" });
    if (!make || strncasecmp(model, make, strlen(make)) == 0)
        return normalized(model);
    return normalized((QByteArray(make) + ' ' + model).constData());
}

QList<Printer> list(int timeoutMs)
{
    QList<Printer> printers;
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0)
        return printers;
    const QDeadlineTimer deadline(timeoutMs);
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(context, &devices);
    for (ssize_t i = 0; i < count && !deadline.hasExpired(); ++i) {
        Printer printer;
        if (ask(devices[i], deadline, &printer))
            printers << printer;
    }
    if (count >= 0)
        libusb_free_device_list(devices, 1);
    libusb_exit(context);
    return printers;
}

} // namespace UsbPrinters
