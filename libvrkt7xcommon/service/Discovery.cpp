#include "Discovery.h"

#include "FingerCommon.h"
#include "system/ShellHelpers.h"
#include "vrkt7xuri.h"

#include <QtGlobal>
#include <cstdio>
#include <cstring>

bool _isDeviceSupported(Printer_struct* ps)
{
    fprintf(stderr, "found device name:%s \n\tmodel:%s\n", ps->name, ps->makeAndModel);
    if (strstr(ps->makeAndModel, "ZPH6100RMX") == nullptr)
        return false;
    fprintf(stderr, "found device name:%s is true\n", ps->name);
    return true;
}

func_isDeviceSupported isDeviceSupported = _isDeviceSupported;

int callback_getPrinters(void* para, Printer_struct* ps)
{
    auto* common = static_cast<FingerCommon*>(para);
    // A queue switched to the fingerprint backend stands for the printer of its inner URI.
    Printer_struct printer = *ps;
    copyField(printer.deviceUri, vrkt7x_inner_uri(ps->deviceUri));
    if (!isDeviceSupported || !isDeviceSupported(&printer))
        return 1;
    common->printers.append(printer);
    common->printerlist.append(QString::fromLocal8Bit(printer.name));
    return 1;
}

void FingerCommon::logPrinter(const Printer_struct& printer)
{
    qDebug("%s", QByteArray(29, '*').constData());
    qDebug("connectTo=%s", printer.connectTo);
    qDebug("deviceUri=%s", printer.deviceUri);
    qDebug("isDefault=%s", printer.isDefault ? "true" : "false");
    qDebug("makeAndModel=%s", printer.makeAndModel);
    qDebug("name=%s", printer.name);
}

bool FingerCommon::IsDeviceConnect(char* pPrinterName)
{
    qDebug("IsDeviceConnect ==>Enter");
    printers.clear();
    printerlist.clear();
    cupsmanager.getPrinters(callback_getPrinters, this);
    if (printers.isEmpty())
        return false;

    for (Printer_struct& printer : printers) {
        logPrinter(printer);
        if (DeviceManager::getDeviceType(printer.deviceUri) != 1) {
            qDebug("is not USB");
            continue;
        }
        DeviceIO* device = devicemanager.getDevice(&printer);
        if (device->isConnected(&printer)) {
            copyField(pPrinterName, printer.deviceUri);
            qDebug("is connect");
            return true;
        }
        qDebug("is not connect");
    }
    return false;
}

int FingerCommon::getDeviceConnect(char** pPrinterName, char** printUri)
{
    qDebug("getDeviceConnect ==>Enter");
    printers.clear();
    printerlist.clear();
    cupsmanager.getPrinters(callback_getPrinters, this);

    int i = 0;
    for (Printer_struct& printer : printers) {
        logPrinter(printer);
        if (DeviceManager::getDeviceType(printer.deviceUri) != 1) {
            qDebug("is not USB");
            continue;
        }
        if (i == kMaxListedPrinters)
            break; // the callers' arrays hold no more
        qDebug("name is connect 1");
        devicemanager.getDevice(&printer);
        qDebug("name is connect 2");
        qDebug("name is connect 3");
        copyField(pPrinterName[i], printer.name);
        copyField(printUri[i], printer.deviceUri);
        ++i;
    }
    return i;
}

int FingerCommon::IsDeviceConnectForPrint(char* pPrinterName)
{
    Printer_struct printer;
    memset(&printer, 0, sizeof(printer));
    copyField(printer.deviceUri, pPrinterName);
    DeviceIO* device = devicemanager.getDevice(&printer);
    if (!device->isConnected(&printer))
        return 0;
    const int type = device->type();
    return (type == kTransportUsb || type == kTransportNet) ? 1 : 0;
}

bool FingerCommon::getDevice()
{
    cupsmanager.getPrinters(callback_getPrinters, this);
    for (Printer_struct& printer : printers) {
        devicemanager.getDevice(&printer);
        logPrinter(printer);
    }
    return false;
}
