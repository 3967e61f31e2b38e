#include "StatusFile.h"

#include <QFile>
#include <QSettings>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

AgentStatusFile::AgentStatusFile(const QString& path)
    : m_path(path)
{
}

QString AgentStatusFile::unusableReason() const
{
    struct stat st;
    if (::lstat(QFile::encodeName(m_path).constData(), &st) != 0)
        return errno == ENOENT ? QString() : QStringLiteral("status file cannot be examined");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("status file is a symbolic link");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("status file is not a plain file");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("status file belongs to uid %1").arg(st.st_uid);
    return QString();
}

bool AgentStatusFile::removeJob(int jobId) const
{
    if (!unusableReason().isEmpty())
        return false;
    QSettings settings(m_path, QSettings::NativeFormat);
    if (!settings.childGroups().contains(QString::number(jobId)))
        return true;
    settings.remove(QString::number(jobId));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool AgentStatusFile::writeResult(int jobId, int value) const
{
    if (!unusableReason().isEmpty())
        return false;
    QSettings settings(m_path, QSettings::NativeFormat);
    settings.beginGroup(QString::number(jobId));
    settings.setValue(QStringLiteral("result"), value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

int AgentStatusFile::readStatus(int jobId) const
{
    if (!unusableReason().isEmpty())
        return 0;
    QSettings settings(m_path, QSettings::NativeFormat);
    bool ok = false;
    const int status
        = settings.value(QString::number(jobId) + QStringLiteral("/status")).toString().trimmed().toInt(&ok);
    return ok ? status : 0;
}
