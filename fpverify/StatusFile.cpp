#include "StatusFile.h"

#include <QFileInfo>
#include <QSettings>

namespace
{

bool writeKey(const QString& statusFile, int jobId, const char* key, int value)
{
    // The file lives in /tmp: a symbolic link planted at its name would have the settings
    // writer replace the file the link points at.
    if (QFileInfo(statusFile).isSymLink())
        return false;
    QSettings settings(statusFile, QSettings::NativeFormat);
    settings.beginGroup(QString::number(jobId));
    settings.setValue(QLatin1String(key), value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString defaultStatusFile() { return QString::fromLatin1(kStatusFilePath); }

bool update_status(int jobId, int value, const QString& statusFile)
{
    return writeKey(statusFile, jobId, "status", value);
}

bool update_result(int jobId, int value, const QString& statusFile)
{
    return writeKey(statusFile, jobId, "result", value);
}

int get_result(int jobId, const QString& statusFile)
{
    QSettings settings(statusFile, QSettings::NativeFormat);
    settings.beginGroup(QString::number(jobId));
    bool ok = false;
    const int result = settings.value(QStringLiteral("result")).toString().trimmed().toInt(&ok);
    settings.endGroup();
    return ok ? result : kResultNone;
}
