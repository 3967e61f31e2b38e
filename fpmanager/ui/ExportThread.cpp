#include "ExportThread.h"

#include "LibraryWorker.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "store/SecureFile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

exportThread::exportThread(QObject* parent, LibraryWorker* worker)
    : QThread(parent)
    , m_worker(worker)
{
}

bool exportThread::replaceFileWith(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        qDebug() << "export: cannot read" << source << in.errorString();
        return false;
    }
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        qDebug() << "export: reading" << source << "failed:" << in.errorString();
        return false;
    }
    in.close();
    QString error;
    if (SecureFile::replaceContent(target, content, &error, SecureFile::Mode::ReplaceLink)
        == SecureFile::WriteResult::Failed) {
        qDebug() << "export:" << target << "was left as it was:" << error;
        return false;
    }
    return true;
}

void exportThread::run()
{
    emit sendValue(0);
    emit sendValue(m_worker ? m_worker->run(&exportThread::transfer) : transfer());
}

int exportThread::transfer()
{
    QByteArray temporary(FpmanagerPaths::kExportTempFile);
    int length = 0;
    const int result = fingerMagager.m_pfnExportFinger
        ? fingerMagager.m_pfnExportFinger(fingerMagager.m_strPrinterURI, temporary.data(), &length)
        : -1;
    if (result != 0)
        return 3;
    if (length <= 0)
        return 2;

    const QString temporaryPath = QString::fromLatin1(temporary);
    const QString target = fingerMagager.m_strExportFile;
    // The administrator's old file stays until the new one is complete; a copy that cannot be
    // completed is an export failure.
    if (!replaceFileWith(temporaryPath, target))
        return 3;
    if (QFileInfo(target).absoluteFilePath() != QFileInfo(temporaryPath).absoluteFilePath())
        QFile::remove(temporaryPath);
    fingerMagager.UpdateFingData(target);
    return 1;
}
