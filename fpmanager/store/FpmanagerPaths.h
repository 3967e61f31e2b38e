#ifndef FPMANAGERPATHS_H
#define FPMANAGERPATHS_H

#include "InstallPaths.h"

#include <QString>
#include <QStringList>

// Every fixed file location of fpmanager, in one place. The data folder and the library's
// locations are the ones the installation uses (InstallPaths.h, made by CMake).
namespace FpmanagerPaths
{

// The stored database: the SQLite file, DES-encrypted as a whole.
inline constexpr char kDatabaseFile[] = VRKT_FIXED_DATA_DIR "/fingerdata.db";
// The plain working copy of the database; exists only while one database operation runs.
inline constexpr char kWorkingCopy[] = "/tmp/.fingerdata.db";
// Settings (INI): TimeOut and DefaultPath.
inline constexpr char kSettingsFile[] = VRKT_FIXED_DATA_DIR "/setting.ini";
// Files through which the library and the administrator's *.fdl files meet.
inline constexpr char kExportTempFile[] = "/tmp/vrkt_export.fdl";
inline constexpr char kImportTempFile[] = "/tmp/vrkt_import.fdl";

// Where the communication library is looked for, in this order; the first existing file is used.
inline constexpr const char* kLibraryLocations[] = { VRKT_LIBRARY_LOCATIONS };

} // namespace FpmanagerPaths

// The locations one CFingerManage works with; the defaults are the fixed ones above. Tests hand
// in temporary ones.
struct FingerManagePaths {
    QString databaseFile = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    QString workingCopy = QString::fromLatin1(FpmanagerPaths::kWorkingCopy);
    QString settingsFile = QString::fromLatin1(FpmanagerPaths::kSettingsFile);
    QStringList libraryLocations = defaultLibraryLocations();

    static QStringList defaultLibraryLocations()
    {
        QStringList list;
        for (const char* location : FpmanagerPaths::kLibraryLocations)
            list << QString::fromLatin1(location);
        return list;
    }
};

#endif
