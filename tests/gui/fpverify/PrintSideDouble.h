#ifndef PRINTSIDEDOUBLE_H
#define PRINTSIDEDOUBLE_H

// Stands in for the print side of fpverify's status file: writes "result" the way a Qt print side
// would (QSettings) or as plain INI text, and reads the file back with its own INI parser, so that
// what fpverify writes is checked on disk and not through the code under test.

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QString>

namespace PrintSideDouble
{

inline void writeResult(const QString& statusFile, int jobId, const QVariant& value)
{
    QSettings settings(statusFile, QSettings::IniFormat);
    settings.beginGroup(QString::number(jobId));
    settings.setValue(QStringLiteral("result"), value);
    settings.endGroup();
    settings.sync();
}

// Replaces the whole file with the given INI text, as a print side without Qt might write it.
inline bool writeRaw(const QString& statusFile, const QByteArray& text)
{
    QFile file(statusFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text) == text.size();
}

using IniGroups = QMap<QString, QMap<QString, QString>>;

inline IniGroups readIni(const QString& statusFile)
{
    IniGroups groups;
    QFile file(statusFile);
    if (!file.open(QIODevice::ReadOnly))
        return groups;
    QString group;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            groups[group][line.left(equals).trimmed()] = line.mid(equals + 1).trimmed();
    }
    return groups;
}

// The value of key in the job's group, or a null string when it is not there.
inline QString value(const QString& statusFile, int jobId, const QString& key)
{
    return readIni(statusFile).value(QString::number(jobId)).value(key);
}

} // namespace PrintSideDouble

#endif
