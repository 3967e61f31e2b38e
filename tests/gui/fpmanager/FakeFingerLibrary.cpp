#include "FakeFingerLibrary.h"

#include "store/FingerManage.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <cstring>

namespace FakeFingerLibrary
{

State& state()
{
    static State s;
    return s;
}

QStringList& calls()
{
    static QStringList list;
    return list;
}

void reset()
{
    state() = State();
    calls().clear();
}

namespace
{

    void record(const char* function, const char* uri, const QByteArray& argument = QByteArray())
    {
        QString line = QString::fromLatin1(function) + QLatin1Char(' ') + QString::fromUtf8(uri ? uri : "(null)");
        if (!argument.isNull())
            line += QLatin1Char(' ') + QString::fromLatin1(argument.toHex());
        // The window makes its library calls on a worker thread; the record and the look at the
        // window are taken on the GUI thread, which waits in its event loop meanwhile.
        auto onGuiThread = [&] {
            calls().append(line);
            if (state().duringCall)
                state().duringCall(function);
        };
        if (QThread::currentThread() == qApp->thread()) {
            ++state().callsOnGuiThread;
            onGuiThread();
        } else {
            QMetaObject::invokeMethod(qApp, onGuiThread, Qt::BlockingQueuedConnection);
        }
    }

    int fakeAddFinger(char* printer, int mode, char* userName, int* retIndex)
    {
        record(mode == 0 ? "AddFinger0" : "AddFinger1", printer, QByteArray(userName));
        if (mode == 0)
            return state().firstPressResult;
        if (state().secondPressResult != 0)
            return state().secondPressResult;
        if (retIndex)
            *retIndex = state().nextIndex++;
        return 0;
    }

    bool fakeIsDeviceConnect(char* printer)
    {
        record("IsDeviceConnect", printer);
        return false;
    }

    int fakeGetDeviceConnect(char** names, char** uris)
    {
        record("GetDeviceConnect", "");
        int i = 0;
        for (const auto& printer : std::as_const(state().printers)) {
            std::memcpy(names[i], printer.first.constData(), static_cast<size_t>(printer.first.size()) + 1);
            std::memcpy(uris[i], printer.second.constData(), static_cast<size_t>(printer.second.size()) + 1);
            ++i;
        }
        return state().overrideCount ? state().count : i;
    }

    int fakeIsDeviceFingerOpen(char* printer)
    {
        record("IsDeviceFingerOpen", printer);
        return state().switchByUri.value(QByteArray(printer), state().defaultSwitch);
    }

    bool fakeOpenFinger(char* printer)
    {
        record("OpenFinger", printer);
        return state().openResult;
    }

    bool fakeCloseFinger(char* printer)
    {
        record("CloseFinger", printer);
        return state().closeResult;
    }

    int fakeDeleteFinger(char* printer, char* userName)
    {
        record("DeleteFinger", printer, QByteArray(userName));
        return state().deleteResult;
    }

    int fakeDeleteFingers(char* printer)
    {
        record("DeleteFingers", printer);
        return state().deleteAllResult;
    }

    int fakeCheckFinger(char* printer, char* userName)
    {
        record("CheckFinger", printer, QByteArray(userName));
        return state().checkResult;
    }

    int fakeImportFinger(char* printer, char* fileName)
    {
        record("ImportFinger", printer, QByteArray(fileName));
        QFile file(QString::fromLocal8Bit(fileName));
        state().importFileExisted = file.exists();
        state().importedData = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return state().importResult;
    }

    int fakeExportFinger(char* printer, char* fileName, int* length)
    {
        record("ExportFinger", printer, QByteArray(fileName));
        // As the library: a file only for records, an existing one stays otherwise.
        if (state().exportResult == 0 && state().writeExport && state().exportLength > 0) {
            QFile file(QString::fromLocal8Bit(fileName));
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(state().exportData);
        }
        if (length)
            *length = state().exportLength;
        return state().exportResult;
    }

} // namespace

void bindInto(CFingerManage& manager)
{
    manager.m_pfnAddFinger = &fakeAddFinger;
    manager.m_pfnIsDeviceConnect = &fakeIsDeviceConnect;
    manager.m_pfnGetDeviceConnect = &fakeGetDeviceConnect;
    manager.m_pfnIsDeviceFingerOpen = &fakeIsDeviceFingerOpen;
    manager.m_pfnOpenFinger = &fakeOpenFinger;
    manager.m_pfnCloseFinger = &fakeCloseFinger;
    manager.m_pfnDeleteFinger = &fakeDeleteFinger;
    manager.m_pfnDeleteFingers = &fakeDeleteFingers;
    manager.m_pfnCheckFinger = &fakeCheckFinger;
    manager.m_pfnImportFinger = &fakeImportFinger;
    manager.m_pfnExportFinger = &fakeExportFinger;
}

} // namespace FakeFingerLibrary
