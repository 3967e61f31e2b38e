#include "ImportThread.h"

#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"

importThread::importThread(QObject* parent)
    : QThread(parent)
{
}

void importThread::run()
{
    emit sendValue(0);
    QByteArray temporary(FpmanagerPaths::kImportTempFile);
    const int result = fingerMagager.m_pfnImportFinger
                           ? fingerMagager.m_pfnImportFinger(fingerMagager.m_strPrinterURI, temporary.data())
                           : -1;
    if (result == 0) {
        fingerMagager.UpdateFingData(fingerMagager.m_strImportFile);
        emit sendValue(1);
    } else {
        emit sendValue(2);
    }
}
