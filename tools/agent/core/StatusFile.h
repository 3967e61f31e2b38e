#ifndef AGENT_STATUSFILE_H
#define AGENT_STATUSFILE_H

#include <QString>

// The agent's side of the status file it shares with fpverify: one group per job id, "status"
// written by fpverify, "result" written here, every write forced to disk. The file lives in the
// agent's own folder; like fpverify, the agent reads and writes it only as a regular file of this
// user, opened without following a link and never waiting long on a lock (IniStatusFile).
class AgentStatusFile
{
public:
    explicit AgentStatusFile(const QString& path);

    QString path() const { return m_path; }

    // Empty when the file is absent or a plain file of this user; otherwise why it cannot be used.
    QString unusableReason() const;

    // Removes the job's group (a stale one from an earlier job of the same id). False on failure.
    bool removeJob(int jobId) const;
    // Writes "result" = value into the job's group, as fpverify reads it. False on failure.
    bool writeResult(int jobId, int value) const;
    // The job's "status", 0 when absent or not a number.
    int readStatus(int jobId) const;

private:
    QString m_path;
};

#endif
