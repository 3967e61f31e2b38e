#include "ImportThread.h"

#include "LibraryWorker.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"

importThread::importThread(QObject* parent, LibraryWorker* worker)
    : QThread(parent)
    , m_worker(worker)
{
}

void importThread::run()
{
    emit sendValue(0);
    emit sendValue(m_worker ? m_worker->run(&importThread::transfer) : transfer());
}

int importThread::transfer()
{
    QByteArray temporary(FpmanagerPaths::kImportTempFile);
    const int result = fingerMagager.m_pfnImportFinger
        ? fingerMagager.m_pfnImportFinger(fingerMagager.m_strPrinterURI, temporary.data())
        : -1;
    if (result != 0)
        return 2;
    fingerMagager.UpdateFingData(fingerMagager.m_strImportFile);
    return 1;
}
