#include "StatusFile.h"

#include "IniStatusFile.h"

#include <QDir>

QString defaultStatusFile() { return QString::fromLatin1(kStatusFilePath); }

QString chosenStatusFile()
{
    const QString given = qEnvironmentVariable(IniStatusFile::kStatusFileVariable);
    return !given.isEmpty() && QDir::isAbsolutePath(given) ? given : defaultStatusFile();
}

bool update_status(int jobId, int value, const QString& statusFile)
{
    return IniStatusFile::writeValue(statusFile, QString::number(jobId), QStringLiteral("status"), value)
        == IniStatusFile::Access::Ok;
}

bool update_result(int jobId, int value, const QString& statusFile)
{
    return IniStatusFile::writeValue(statusFile, QString::number(jobId), QStringLiteral("result"), value)
        == IniStatusFile::Access::Ok;
}

int get_result(int jobId, const QString& statusFile)
{
    QString value;
    if (IniStatusFile::readValue(statusFile, QString::number(jobId), QStringLiteral("result"), &value)
        != IniStatusFile::Access::Ok)
        return kResultNone;
    bool ok = false;
    const int result = value.trimmed().toInt(&ok);
    return ok ? result : kResultNone;
}
