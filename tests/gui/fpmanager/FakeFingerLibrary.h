#ifndef FAKEFINGERLIBRARY_H
#define FAKEFINGERLIBRARY_H

// Test doubles of the eleven library functions fpmanager binds, bound straight into
// CFingerManage's function pointers. Each records its call in calls() ("Name uri [argument]") and
// answers from the script in state().

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <functional>

class CFingerManage;

namespace FakeFingerLibrary
{

struct State {
    // GetDeviceConnect: the (queue name, device URI) pairs written into the slots, and the count
    // returned (the number of pairs unless overridden).
    QList<QPair<QByteArray, QByteArray>> printers;
    bool overrideCount = false;
    int count = 0;

    // IsDeviceFingerOpen: the answer per device URI, defaultSwitch for any other.
    QMap<QByteArray, int> switchByUri;
    int defaultSwitch = 1;
    // OpenFinger / CloseFinger answers.
    bool openResult = true;
    bool closeResult = true;

    // AddFinger: results of the first (mode 0) and second (mode 1) press, and the index returned
    // by a successful second press (then incremented).
    int firstPressResult = 0;
    int secondPressResult = 0;
    int nextIndex = 1;
    // CheckFinger, DeleteFinger, DeleteFingers answers.
    int checkResult = 0;
    int deleteResult = 0;
    int deleteAllResult = 0;

    // ExportFinger: result, length reported and the bytes written to the file (when the result
    // is 0 and writeExport is set).
    int exportResult = 0;
    int exportLength = 0;
    QByteArray exportData;
    bool writeExport = true;
    // ImportFinger: result; the content of the file it was handed is kept in importedData.
    int importResult = 0;
    QByteArray importedData;
    bool importFileExisted = false;

    // Called at the start of every function with its name (lets a test look at the window while
    // the "printer" is busy).
    std::function<void(const char* function)> duringCall;
    // Calls made on the GUI thread (the window makes them on its worker thread).
    int callsOnGuiThread = 0;
};

State& state();
QStringList& calls();
// Back to the defaults, no calls recorded.
void reset();
// Puts the eleven doubles into manager's pointers.
void bindInto(CFingerManage& manager);

} // namespace FakeFingerLibrary

#endif
