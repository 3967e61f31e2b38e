#ifndef BOUNDCALLS_H
#define BOUNDCALLS_H

// Calls every bound function of a CFingerManage once and describes the answers, to check that
// each pointer reaches the export of its own name in the stand-in library (fakelib/FakeVrkt7x.c).

#include "store/FingerManage.h"

#include <QString>
#include <QStringList>
#include <cstring>

inline QString describeBoundCalls(CFingerManage& m)
{
    QStringList out;
    char printer[512] = "usb://Fake/ZPH6100RMX?serial=1";
    char name[64] = "amy";
    int index = 0;
    out << QStringLiteral("AddFinger=%1/%2").arg(m.m_pfnAddFinger(printer, 1, name, &index)).arg(index);
    char found[512] = {};
    out << QStringLiteral("IsDeviceConnect=%1/%2").arg(m.m_pfnIsDeviceConnect(found)).arg(QString::fromLatin1(found));
    char nameBuffers[2][512] = {};
    char uriBuffers[2][512] = {};
    char* names[2] = { nameBuffers[0], nameBuffers[1] };
    char* uris[2] = { uriBuffers[0], uriBuffers[1] };
    out << QStringLiteral("GetDeviceConnect=%1/%2")
               .arg(m.m_pfnGetDeviceConnect(names, uris))
               .arg(QString::fromLatin1(names[0]));
    out << QStringLiteral("IsDeviceFingerOpen=%1").arg(m.m_pfnIsDeviceFingerOpen(printer));
    out << QStringLiteral("OpenFinger=%1").arg(m.m_pfnOpenFinger(printer));
    out << QStringLiteral("CloseFinger=%1").arg(m.m_pfnCloseFinger(printer));
    out << QStringLiteral("DeleteFinger=%1").arg(m.m_pfnDeleteFinger(printer, name));
    out << QStringLiteral("DeleteFingers=%1").arg(m.m_pfnDeleteFingers(printer));
    out << QStringLiteral("CheckFinger=%1").arg(m.m_pfnCheckFinger(printer, name));
    char file[] = "/tmp/none.fdl";
    out << QStringLiteral("ImportFinger=%1").arg(m.m_pfnImportFinger(printer, file));
    int length = 0;
    out << QStringLiteral("ExportFinger=%1/%2").arg(m.m_pfnExportFinger(printer, file, &length)).arg(length);
    return out.join(QLatin1Char(' '));
}

inline const char* expectedBoundCalls()
{
    return "AddFinger=101/77 IsDeviceConnect=1/usb://Fake/ZPH6100RMX?serial=1 GetDeviceConnect=1/FakeQueue "
           "IsDeviceFingerOpen=3 OpenFinger=1 CloseFinger=0 DeleteFinger=0 DeleteFingers=4 CheckFinger=11 "
           "ImportFinger=5 ExportFinger=9/2";
}

// The eleven exports, in the order they are bound.
inline QStringList boundExportNames()
{
    return { QStringLiteral("AddFinger"), QStringLiteral("IsDeviceConnect"), QStringLiteral("GetDeviceConnect"),
        QStringLiteral("IsDeviceFingerOpen"), QStringLiteral("OpenFinger"), QStringLiteral("CloseFinger"),
        QStringLiteral("DeleteFinger"), QStringLiteral("DeleteFingers"), QStringLiteral("CheckFinger"),
        QStringLiteral("ImportFinger"), QStringLiteral("ExportFinger") };
}

inline bool allBindingsNull(const CFingerManage& m)
{
    return !m.m_pfnAddFinger && !m.m_pfnIsDeviceConnect && !m.m_pfnGetDeviceConnect && !m.m_pfnIsDeviceFingerOpen
        && !m.m_pfnOpenFinger && !m.m_pfnCloseFinger && !m.m_pfnDeleteFinger && !m.m_pfnDeleteFingers
        && !m.m_pfnCheckFinger && !m.m_pfnImportFinger && !m.m_pfnExportFinger;
}

#endif
