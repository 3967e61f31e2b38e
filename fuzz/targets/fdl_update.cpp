// A fingerprint data file (*.fdl) that the administrator imports, as fpmanager merges it into its
// own database: CFingerManage::UpdateFingData on the input as the file, against a fresh database
// in a private directory. Only the first eight records of an input are kept (each record costs a
// database round trip); the bytes after them are what the reader must cope with.
//
// Properties checked besides memory safety: every name of the file appears in the list that the
// main window shows, every listed name is terminated inside its field, no plain working copy of
// the database is left behind, and the stored database still decrypts to a SQLite file.

#include "FuzzSupport.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "ui/NoticeBox.h"

#include <QFile>
#include <cstring>

namespace
{

constexpr size_t kMaxRecords = 8;

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzEnsureCoreApplication();
    static int notices = 0;
    NoticeBox::setHandler([](const NoticeRequest&) {
        ++notices;
        return QMessageBox::Ok;
    });

    const QString dir = fuzzTempDir();
    FingerManagePaths paths;
    paths.databaseFile = dir + QStringLiteral("/fingerdata.db");
    paths.workingCopy = dir + QStringLiteral("/.fingerdata.db");
    paths.settingsFile = dir + QStringLiteral("/setting.ini");
    paths.libraryLocations.clear();
    QFile::remove(paths.databaseFile);

    const size_t limit = kMaxRecords * kFingerDataRecordSize + kFingerDataRecordSize - 1;
    const size_t kept = size < limit ? size : limit;
    const QString fdl = dir + QStringLiteral("/update.fdl");
    FUZZ_CHECK(fuzzWriteFile(fdl, data, kept));

    CFingerManage manager(nullptr, paths);
    manager.m_strDbPath = paths.databaseFile;
    manager.m_strTmpDbPath = paths.workingCopy;
    manager.m_printerName = QStringLiteral("ZPH_FUZZ");
    FUZZ_CHECK(manager.CreateDatabase());
    FUZZ_CHECK(manager.OpenDatabaseForFinger());
    manager.GetFinger();

    manager.UpdateFingData(fdl);

    for (const _FINGER_LIST& finger : manager.m_ListFinger)
        FUZZ_CHECK(finger.UserName[sizeof finger.UserName - 1] == '\0');
    const size_t records = kept / kFingerDataRecordSize;
    for (size_t r = 0; r < records; ++r) {
        const char* record = reinterpret_cast<const char*>(data) + r * kFingerDataRecordSize;
        const QByteArray name(record, static_cast<int>(strnlen(record, kFingerDataNameSize)));
        // Names that survive the trip through the database's Unicode text must be listed.
        if (CharsetFuncs::toGB18030(CharsetFuncs::fromGB18030(name.constData(), name.size()), 64) != name)
            continue;
        bool listed = false;
        for (const _FINGER_LIST& finger : manager.m_ListFinger)
            listed = listed || name == finger.UserName;
        FUZZ_CHECK(listed);
    }
    FUZZ_CHECK(!QFile::exists(paths.workingCopy));

    const QByteArray plain = manager.m_desCryption.decryptData(fileContent(paths.databaseFile));
    FUZZ_CHECK(plain.startsWith(QByteArray("SQLite format 3", 16)));
    return 0;
}
