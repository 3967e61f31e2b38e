#include "LinkedLibrary.h"

#include "vrkt7xcommon.h"
#include "vrkt7xsystem.h"
#include "vrkt7xuri.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace
{

constexpr int kField = VRKT_FIELD_SIZE; // the library's text fields
constexpr int kListSlots = VRKT_MAX_PRINTERS; // GetDeviceConnect writes at most this many slots
constexpr int kNameBuffer = VRKT_NAME_BUFFER_SIZE; // a 32-byte name and its terminator

// A zero-terminated copy of text in a buffer of at least minSize bytes.
std::vector<char> cString(const QByteArray& text, size_t minSize = 1)
{
    std::vector<char> buffer(std::max(minSize, static_cast<size_t>(text.size()) + 1), '\0');
    std::memcpy(buffer.data(), text.constData(), static_cast<size_t>(text.size()));
    return buffer;
}

QByteArray fieldText(const char* field) { return QByteArray(field, static_cast<qsizetype>(strnlen(field, kField))); }

int collectQueue(void* para, Printer_struct* printer)
{
    auto* queues = static_cast<QList<PrinterLibrary::Queue>*>(para);
    PrinterLibrary::Queue queue;
    queue.name = fieldText(printer->name);
    queue.model = fieldText(printer->makeAndModel);
    queue.deviceUri = fieldText(vrkt7x_inner_uri(printer->deviceUri));
    queue.throughBackend = vrkt7x_inner_uri(printer->deviceUri) != printer->deviceUri;
    queue.isDefault = printer->isDefault;
    queues->append(queue);
    return 1;
}

} // namespace

QList<PrinterLibrary::SupportedPrinter> LinkedLibrary::supportedUsbPrinters()
{
    std::vector<std::array<char, kField>> names(kListSlots), uris(kListSlots);
    std::array<char*, kListSlots> namePointers {}, uriPointers {};
    for (int i = 0; i < kListSlots; ++i) {
        names[i].fill('\0');
        uris[i].fill('\0');
        namePointers[i] = names[i].data();
        uriPointers[i] = uris[i].data();
    }
    const int count = GetDeviceConnect(namePointers.data(), uriPointers.data());
    QList<SupportedPrinter> list;
    for (int i = 0; i < count && i < kListSlots; ++i)
        list.append({ fieldText(names[i].data()), fieldText(uris[i].data()) });
    return list;
}

QList<PrinterLibrary::Queue> LinkedLibrary::cupsQueues()
{
    QList<Queue> queues;
    cups_get_printers(collectQueue, &queues);
    return queues;
}

bool LinkedLibrary::findQueue(const QByteArray& name, Queue* queue)
{
    std::array<char, kField> uri {};
    std::array<char, kField> model {};
    const std::vector<char> queueName = cString(name);
    cups_get_device_uri(queueName.data(), uri.data());
    if (uri[0] == '\0')
        return false; // CUPS gives every queue a device URI: an empty one means no such queue
    get_device_model(queueName.data(), model.data());
    queue->name = name;
    queue->deviceUri = fieldText(vrkt7x_inner_uri(uri.data()));
    queue->throughBackend = vrkt7x_inner_uri(uri.data()) != uri.data();
    queue->model = fieldText(model.data());
    queue->isDefault = false;
    return true;
}

int LinkedLibrary::isDeviceConnectForPrint(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return IsDeviceConnectForPrint(u.data());
}

int LinkedLibrary::isDeviceFingerOpen(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return IsDeviceFingerOpen(u.data());
}

int LinkedLibrary::isDeviceFingerOpenForPrint(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return IsDeviceFingerOpenForPrint(u.data());
}

bool LinkedLibrary::openFinger(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return OpenFinger(u.data());
}

bool LinkedLibrary::closeFinger(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return CloseFinger(u.data());
}

int LinkedLibrary::checkFinger(const QByteArray& uri, const QByteArray& name)
{
    std::vector<char> u = cString(uri, kField);
    std::vector<char> n = cString(name, kNameBuffer);
    return CheckFinger(u.data(), n.data());
}

int LinkedLibrary::deleteFinger(const QByteArray& uri, const QByteArray& name)
{
    std::vector<char> u = cString(uri, kField);
    std::vector<char> n = cString(name, kNameBuffer);
    return DeleteFinger(u.data(), n.data());
}

int LinkedLibrary::deleteFingers(const QByteArray& uri)
{
    std::vector<char> u = cString(uri, kField);
    return DeleteFingers(u.data());
}

int LinkedLibrary::addFinger(const QByteArray& uri, int mode, const QByteArray& name, int* index)
{
    std::vector<char> u = cString(uri, kField);
    std::vector<char> n = cString(name, kNameBuffer);
    return AddFinger(u.data(), mode, n.data(), index);
}

int LinkedLibrary::importFinger(const QByteArray& uri, const QByteArray& file)
{
    std::vector<char> u = cString(uri, kField);
    std::vector<char> f = cString(file);
    return ImportFinger(u.data(), f.data());
}

int LinkedLibrary::exportFinger(const QByteArray& uri, const QByteArray& file, int* count)
{
    std::vector<char> u = cString(uri, kField);
    std::vector<char> f = cString(file);
    return ExportFinger(u.data(), f.data(), count);
}

bool LinkedLibrary::identifyFinger(const QByteArray& uri, QByteArray* name, short* index)
{
    std::vector<char> u = cString(uri, kField);
    std::array<char, kNameBuffer + 1> user {};
    short found = 0;
    if (IsFingerPrint(u.data(), user.data(), &found))
        return false;
    *name = QByteArray(user.data(), static_cast<qsizetype>(strnlen(user.data(), kNameBuffer)));
    *index = found;
    return true;
}

void LinkedLibrary::cancelFingerPrint()
{
    char none[] = "";
    CancelFingerPrint(none);
}
