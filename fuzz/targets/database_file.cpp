// The stored database file of fpmanager as someone else may have left it: the input is the file
// that Decryption reads (not one made by Encryption). It goes through the cipher alone and through
// the whole start-up path of the data layer (CreateDatabase, then the login and fingerprint reads).
//
// Properties checked besides memory safety: the file cipher and its in-memory form agree and
// encryption undoes nothing it should not (decrypt(encrypt(x)) == x); a stored file that the data
// layer cannot use is not replaced (nothing is lost); no plain working copy is left behind.

#include "FuzzSupport.h"
#include "store/FingerManage.h"
#include "ui/NoticeBox.h"

#include <QFile>

namespace
{

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzEnsureCoreApplication();
    NoticeBox::setHandler([](const NoticeRequest&) { return QMessageBox::Ok; });
    const QByteArray stored(reinterpret_cast<const char*>(data), static_cast<int>(size));

    // The cipher on its own.
    static const DesCryption cipher;
    const QString dir = fuzzTempDir();
    const QString cipherIn = dir + QStringLiteral("/cipher.in");
    const QString cipherOut = dir + QStringLiteral("/cipher.out");
    FUZZ_CHECK(fuzzWriteFile(cipherIn, data, size));
    cipher.Decryption(QFile::encodeName(cipherIn).constData(), QFile::encodeName(cipherOut).constData());
    const QByteArray plain = cipher.decryptData(stored);
    FUZZ_CHECK(fileContent(cipherOut) == plain);
    // A file that is not whole blocks decrypts as if zero-filled to whole blocks.
    FUZZ_CHECK(plain.size() <= (stored.size() + 7) / 8 * 8);
    FUZZ_CHECK(cipher.decryptData(cipher.encryptData(stored)) == stored);

    // The data layer on it.
    FingerManagePaths paths;
    paths.databaseFile = dir + QStringLiteral("/fingerdata.db");
    paths.workingCopy = dir + QStringLiteral("/.fingerdata.db");
    paths.settingsFile = dir + QStringLiteral("/setting.ini");
    paths.libraryLocations.clear();
    FUZZ_CHECK(fuzzWriteFile(paths.databaseFile, data, size));

    CFingerManage manager(nullptr, paths);
    manager.m_strDbPath = paths.databaseFile;
    manager.m_strTmpDbPath = paths.workingCopy;
    manager.m_printerName = QStringLiteral("ZPH_FUZZ");
    const bool created = manager.CreateDatabase();
    FUZZ_CHECK(!QFile::exists(paths.workingCopy));
    if (!created) {
        // Nothing was made of it: what it holds must still be there (it may have been written
        // back, so compare what it decrypts to).
        FUZZ_CHECK(cipher.decryptData(fileContent(paths.databaseFile)) == plain);
        return 0;
    }
    manager.OpenDatabaseForLogin();
    FUZZ_CHECK(!QFile::exists(paths.workingCopy));
    manager.GetUser();
    for (const _USER_LIST& user : manager.m_ListUser) {
        FUZZ_CHECK(user.UserName[sizeof user.UserName - 1] == '\0');
        FUZZ_CHECK(user.Password[sizeof user.Password - 1] == '\0');
    }
    manager.OpenDatabaseForFinger();
    FUZZ_CHECK(!QFile::exists(paths.workingCopy));
    manager.GetFinger();
    for (const _FINGER_LIST& finger : manager.m_ListFinger)
        FUZZ_CHECK(finger.UserName[sizeof finger.UserName - 1] == '\0');
    return 0;
}
