#include "StatusFile.h"

#include "IniStatusFile.h"

using IniStatusFile::Access;

AgentStatusFile::AgentStatusFile(const QString& path)
    : m_path(path)
{
}

QString AgentStatusFile::unusableReason() const
{
    uid_t owner = 0;
    const Access access = IniStatusFile::inspect(m_path, &owner);
    return IniStatusFile::describe(access, owner);
}

bool AgentStatusFile::removeJob(int jobId) const
{
    return IniStatusFile::removeGroup(m_path, QString::number(jobId)) == Access::Ok;
}

bool AgentStatusFile::writeResult(int jobId, int value) const
{
    return IniStatusFile::writeValue(m_path, QString::number(jobId), QStringLiteral("result"), value) == Access::Ok;
}

int AgentStatusFile::readStatus(int jobId) const
{
    QString value;
    if (IniStatusFile::readValue(m_path, QString::number(jobId), QStringLiteral("status"), &value) != Access::Ok)
        return 0;
    bool ok = false;
    const int status = value.trimmed().toInt(&ok);
    return ok ? status : 0;
}
