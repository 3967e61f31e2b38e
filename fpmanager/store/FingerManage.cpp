#include "FingerManage.h"

#include "CharsetFuncs.h"
#include "SecureFile.h"
#include "vrkt7xcommon.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstring>
#include <type_traits>

// The bound pointers must have the types of the library's exports.
static_assert(std::is_same_v<decltype(&::AddFinger), AddFinger_T>);
static_assert(std::is_same_v<decltype(&::IsDeviceConnect), IsDeviceConnect_T>);
static_assert(std::is_same_v<decltype(&::GetDeviceConnect), GetDeviceConnect_T>);
static_assert(std::is_same_v<decltype(&::IsDeviceFingerOpen), IsDeviceFingerOpen_T>);
static_assert(std::is_same_v<decltype(&::OpenFinger), OpenFinger_T>);
static_assert(std::is_same_v<decltype(&::CloseFinger), CloseFinger_T>);
static_assert(std::is_same_v<decltype(&::DeleteFinger), DeleteFinger_T>);
static_assert(std::is_same_v<decltype(&::DeleteFingers), DeleteFingers_T>);
static_assert(std::is_same_v<decltype(&::CheckFinger), CheckFinger_T>);
static_assert(std::is_same_v<decltype(&::ImportFinger), ImportFinger_T>);
static_assert(std::is_same_v<decltype(&::ExportFinger), ExportFinger_T>);

CFingerManage fingerMagager;

namespace
{

const char kDatabasePassword[] = "47160529";
const char kCreateUserList[] = "create table UserList(UserName  varchar(255), Passowrd varchar(32))";
const char kCreateFingerList[] = "create table FingerList(id int, UserName varchar(255), printerName varchar(255))";
const char kInsertDefaultAccount[] = "insert into UserList values('admin', '58203716');";
const char kLibraryRefused[] = "the vrkt7xcomm dll not found";
const int kDefaultTimeOut = 30;

CFingerManage::WarningHandler& warningHandler()
{
    static CFingerManage::WarningHandler handler;
    return handler;
}

QString connectionName() { return QString::fromLatin1(QSqlDatabase::defaultConnection); }

// Text bound into a statement: an empty string, never NULL, so that rows hold '' as they would
// with the text written into the statement.
QVariant sqlText(const QString& text) { return text.isNull() ? QVariant(QString::fromLatin1("")) : QVariant(text); }

// Prepares statement, binds values in order and runs it; on failure the query's last error is
// that of the step that failed.
bool execBound(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    if (!query.prepare(statement))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

} // namespace

CFingerManage::CFingerManage(QObject* parent, const FingerManagePaths& paths)
    : QObject(parent)
    , m_strVersion(QStringLiteral("V0.17"))
    , m_strPrinterURI {}
    , m_commLib()
    , m_nTimeOut(0)
    , m_paths(paths)
{
    clearBindings();
}

CFingerManage::~CFingerManage()
{
    if (m_commLib.isLoaded())
        m_commLib.unload();
}

CFingerManage::WarningHandler CFingerManage::setWarningHandler(WarningHandler handler)
{
    WarningHandler previous = std::move(warningHandler());
    warningHandler() = std::move(handler);
    return previous;
}

void CFingerManage::warn(const QString& text)
{
    m_lastError = text;
    if (warningHandler())
        warningHandler()(text);
}

void CFingerManage::clearBindings()
{
    m_pfnAddFinger = nullptr;
    m_pfnIsDeviceConnect = nullptr;
    m_pfnGetDeviceConnect = nullptr;
    m_pfnIsDeviceFingerOpen = nullptr;
    m_pfnOpenFinger = nullptr;
    m_pfnCloseFinger = nullptr;
    m_pfnDeleteFinger = nullptr;
    m_pfnDeleteFingers = nullptr;
    m_pfnCheckFinger = nullptr;
    m_pfnImportFinger = nullptr;
    m_pfnExportFinger = nullptr;
}

bool CFingerManage::init()
{
    m_lastError.clear();
    qDebug() << "FingerManage Versoin: " << m_strVersion;
    qDebug() << "the comm dll path is " << QCoreApplication::applicationDirPath();
    qDebug() << "the dll path file name is " << m_commLib.fileName();

    const QStringList& locations = m_paths.libraryLocations;
    if (locations.isEmpty())
        return false;
    int index = 0;
    while (!QFile::exists(locations.at(index)) && index + 1 < locations.size())
        ++index;
    const QString& libraryPath = locations.at(index);
    if (!QFile::exists(libraryPath)) {
        qDebug() << libraryPath << " is not exist!";
        return false;
    }

    m_commLib.setFileName(libraryPath);
    if (!m_commLib.load()) {
        qDebug() << "load library failed";
        qDebug() << m_commLib.errorString();
        warn(QString::fromLatin1(kLibraryRefused));
        return false;
    }

    struct Binding {
        const char* name;
        QFunctionPointer* pointer;
    };
    const Binding bindings[] = {
        { "AddFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnAddFinger) },
        { "IsDeviceConnect", reinterpret_cast<QFunctionPointer*>(&m_pfnIsDeviceConnect) },
        { "GetDeviceConnect", reinterpret_cast<QFunctionPointer*>(&m_pfnGetDeviceConnect) },
        { "IsDeviceFingerOpen", reinterpret_cast<QFunctionPointer*>(&m_pfnIsDeviceFingerOpen) },
        { "OpenFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnOpenFinger) },
        { "CloseFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnCloseFinger) },
        { "DeleteFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnDeleteFinger) },
        { "DeleteFingers", reinterpret_cast<QFunctionPointer*>(&m_pfnDeleteFingers) },
        { "CheckFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnCheckFinger) },
        { "ImportFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnImportFinger) },
        { "ExportFinger", reinterpret_cast<QFunctionPointer*>(&m_pfnExportFinger) },
    };
    QStringList missing;
    for (const Binding& binding : bindings) {
        *binding.pointer = m_commLib.resolve(binding.name);
        if (!*binding.pointer)
            missing << QString::fromLatin1(binding.name);
    }
    if (!missing.isEmpty()) {
        // Every caller relies on its function being there: refuse the library as a whole.
        qDebug() << "the library" << libraryPath << "lacks" << missing;
        clearBindings();
        m_commLib.unload();
        warn(QString::fromLatin1(kLibraryRefused));
        return false;
    }

    m_strDbPath = m_paths.databaseFile;
    m_strTmpDbPath = m_paths.workingCopy;
    qDebug() << "the database path is " << m_strDbPath;
    if (CreateDatabase() && OpenDatabaseForLogin()) {
        qDebug() << "Login";
        return true;
    }
    qDebug() << "Open and Read Database error";
    if (m_commLib.isLoaded()) {
        clearBindings();
        m_commLib.unload();
    }
    return false;
}

// ---- open and write-back steps ----

bool CFingerManage::prepareWorkingCopy(QString* error)
{
    QByteArray plain;
    if (QFile::exists(m_strDbPath)) {
        QFile stored(m_strDbPath);
        if (!stored.open(QIODevice::ReadOnly)) {
            qDebug() << "Could not open input file to read data.";
            *error = QStringLiteral("cannot read the database %1: %2").arg(m_strDbPath, stored.errorString());
            return false;
        }
        plain = m_desCryption.decryptData(stored.readAll());
    }
    return SecureFile::createPrivate(m_strTmpDbPath, plain, error);
}

bool CFingerManage::openStep(const char* successText, const char* failureText)
{
    m_lastStoreError.clear();
    m_lastError.clear();
    const QString name = connectionName();
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));

    // The working copy is made afresh (never through a link, readable only by us) before SQLite
    // sees the name; a stored database that cannot be read is not replaced by an empty one.
    QString error;
    if (!prepareWorkingCopy(&error)) {
        qDebug() << failureText << error;
        warn(error);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return false;
    }

    db.setDatabaseName(m_strTmpDbPath);
    db.setPassword(QString::fromLatin1(kDatabasePassword));
    if (!db.open()) {
        const QSqlError lastError = db.lastError();
        qDebug() << failureText << lastError;
        warn(lastError.text());
        QFile::remove(m_strTmpDbPath);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    qDebug() << successText;
    // The working copy is thrown away after the operation: no rollback journal beside it.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
    return true;
}

void CFingerManage::closeConnection()
{
    const QString name = connectionName();
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool CFingerManage::encryptWorkingCopy()
{
    QFile workingCopy(m_strTmpDbPath);
    if (!workingCopy.open(QIODevice::ReadOnly)) {
        qDebug() << "Could not open input file to read data.";
        return false;
    }
    const QByteArray cipher = m_desCryption.encryptData(workingCopy.readAll());
    workingCopy.close();
    QString error;
    if (SecureFile::replaceContent(m_strDbPath, cipher, &error) == SecureFile::WriteResult::Failed) {
        qDebug() << "Could not open output file to write data." << error;
        if (m_lastStoreError.isEmpty())
            m_lastStoreError = error;
        return false;
    }
    return true;
}

bool CFingerManage::writeBackStep()
{
    closeConnection();
    const bool stored = encryptWorkingCopy();
    QFile::remove(m_strTmpDbPath);
    return stored;
}

// ---- database operations ----

bool CFingerManage::CreateDatabase() { return CreateTables(); }

bool CFingerManage::CreateTables()
{
    if (!openStep("CreateTables:Succeed to connect database.", "Error(CreateTables): Failed to connect database."))
        return false;

    enum class Outcome { Created, FailedKeepStored, FailedWriteBack };
    Outcome outcome = Outcome::Created;
    QString errorText;
    {
        QSqlDatabase db = QSqlDatabase::database();
        const QStringList tables = db.tables(QSql::Tables);
        QSqlQuery query(db);
        auto fail = [&](const char* text, Outcome how) {
            qDebug() << text << query.lastError();
            errorText = query.lastError().text();
            outcome = how;
        };

        if (tables.isEmpty()) {
            if (!query.exec(QString::fromLatin1(kCreateUserList))) {
                fail("CreateTables::Create database fail.", Outcome::FailedKeepStored);
            } else {
                qDebug() << "Create database success and init.";
                query.exec(QString::fromLatin1(kInsertDefaultAccount));
                if (!query.exec(QString::fromLatin1(kCreateFingerList)))
                    fail("CreateTables::Create database FingerList fail.", Outcome::FailedWriteBack);
            }
        } else {
            bool hasUserList = false;
            bool hasFingerList = false;
            for (const QString& table : tables) {
                if (table.compare(QLatin1String("UserList"), Qt::CaseSensitive) == 0)
                    hasUserList = true;
                if (table.compare(QLatin1String("FingerList"), Qt::CaseSensitive) == 0)
                    hasFingerList = true;
            }
            if (!hasUserList && !hasFingerList) {
                if (!query.exec(QString::fromLatin1(kCreateUserList))) {
                    fail("CreateTables::Create database fail2.", Outcome::FailedWriteBack);
                } else {
                    qDebug() << "CreateTables::Create database success and init 2.";
                    query.exec(QString::fromLatin1(kInsertDefaultAccount));
                    if (!query.exec(QString::fromLatin1(kCreateFingerList)))
                        fail("CreateTables::Create database FingerList fail. 2", Outcome::FailedWriteBack);
                }
            } else if (hasUserList && !hasFingerList) {
                if (!query.exec(QString::fromLatin1(kCreateFingerList)))
                    fail("CreateTables::Create database  fail. 3", Outcome::FailedWriteBack);
            }
            // Only FingerList: nothing is created (no account can be made up here).
        }
    }

    switch (outcome) {
    case Outcome::FailedKeepStored:
        closeConnection();
        warn(errorText);
        QFile::remove(m_strTmpDbPath);
        return false;
    case Outcome::FailedWriteBack:
        closeConnection();
        warn(errorText);
        encryptWorkingCopy();
        QFile::remove(m_strTmpDbPath);
        return false;
    case Outcome::Created:
        break;
    }
    closeConnection();
    encryptWorkingCopy();
    QFile::remove(m_strTmpDbPath);
    // Every local user may rewrite the database.
    QFile::setPermissions(m_strDbPath,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
            | QFile::WriteOther);
    return true;
}

bool CFingerManage::OpenDatabaseForLogin()
{
    if (!openStep("OpenDatabase::Succeed to connect database.", "OpenDatabase::Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database());
        if (!query.exec(QStringLiteral("select * from UserList"))) {
            qDebug() << "OpenDatabase::read UserList:" << query.lastError();
            warn(query.lastError().text());
        } else {
            qDebug() << "OpenDatabase::read login User.";
            m_userRecords.clear();
            while (query.next()) {
                qDebug() << "OpenDatabase::read login User.11111";
                m_userRecords.append(query.record());
            }
            ok = true;
        }
    }
    writeBackStep();
    return ok;
}

bool CFingerManage::OpenDatabaseForFinger()
{
    // Rows read for another printer must not stand for this one's when the read fails.
    m_fingerRecords.clear();
    if (!openStep("OpenDatabase::Succeed to connect database.", "OpenDatabase::Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database());
        if (!execBound(
                query, QStringLiteral("select * from FingerList where printerName = ?"), { sqlText(m_printerName) })) {
            qDebug() << "OpenDatabase::read FingerList:" << query.lastError();
            warn(query.lastError().text());
        } else {
            qDebug() << "OpenDatabase::read Finger." << m_printerName;
            m_fingerRecords.clear();
            while (query.next())
                m_fingerRecords.append(query.record());
            ok = true;
        }
    }
    writeBackStep();
    return ok;
}

bool CFingerManage::InsertFinger(int id, QString userName)
{
    if (!openStep("InsertFinger:Succeed to connect database.", "InsertFinger:Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database());
        const bool inserted = execBound(query, QStringLiteral("insert into FingerList values(?, ?, ?);"),
            { id, sqlText(userName), sqlText(m_printerName) });
        if (!inserted) {
            qDebug() << "InsertFinger::insert into FingerList:" << query.lastError();
            m_lastStoreError = query.lastError().text();
        }
        if (!query.exec(QStringLiteral("select * from FingerList"))) {
            qDebug() << "InsertFinger::read FingerList:" << query.lastError();
            warn(query.lastError().text());
        } else if (inserted && query.last()) {
            // The last row is the one just inserted.
            m_fingerRecords.append(query.record());
            ok = true;
        }
    }
    return writeBackStep() && ok;
}

bool CFingerManage::DeleteFingerInTab(int id, QString userName)
{
    if (!openStep("DeleteFinger:Succeed to connect database.", "InsertFinger:Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database());
        if (!execBound(query,
                QStringLiteral("delete from FingerList where id = ? and UserName = ? and printerName = ?"),
                { id, sqlText(userName), sqlText(m_printerName) })) {
            qDebug() << "DeleteFinger::read FingerList:" << query.lastError();
            warn(query.lastError().text());
        } else {
            for (int i = 0; i < m_fingerRecords.size();) {
                if (m_fingerRecords.at(i).value(QStringLiteral("UserName")).toString() == userName) {
                    qDebug() << "DeleteFinger::delete" << id << ":i=" << i;
                    m_fingerRecords.removeAt(i);
                } else {
                    ++i;
                }
            }
            ok = true;
        }
    }
    return writeBackStep() && ok;
}

bool CFingerManage::DeleteAllFingerInTab()
{
    if (!openStep("DeleteFinger:Succeed to connect database.", "InsertFinger:Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlQuery query(QSqlDatabase::database());
        if (execBound(
                query, QStringLiteral("delete from FingerList where printerName = ?"), { sqlText(m_printerName) })) {
            m_fingerRecords.clear();
            ok = true;
        } else {
            qDebug() << "DeleteFinger::read FingerList:" << query.lastError();
            warn(query.lastError().text());
        }
    }
    return writeBackStep() && ok;
}

bool CFingerManage::ChangeUserInfo(QString oldPassword, QString newUserName, QString newPassword)
{
    if (!openStep("ChangeUserInfo::ChangeUserInfo:Succeed to connect database.",
            "ChangeUserInfo:Error: Failed to connect database."))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database();
        QSqlQuery query(db);
        // Without the new account the old ones stay: a failed insert (a full disk) must not leave
        // a database nobody can log in to.
        db.transaction();
        execBound(query, QStringLiteral("delete from UserList where Passowrd = ?"), { sqlText(oldPassword) });
        const bool inserted = execBound(query, QStringLiteral("insert into UserList values(?, ?);"),
            { sqlText(newUserName), sqlText(newPassword) });
        qDebug() << "ChangeUserInfo::insert into UserList:" << query.lastError();
        if (!inserted || !db.commit()) {
            m_lastStoreError = inserted ? db.lastError().text() : query.lastError().text();
            db.rollback();
        } else {
            ok = true;
        }

        if (query.exec(QStringLiteral("select * from UserList"))) {
            m_userRecords.clear();
            if (query.last())
                m_userRecords.append(query.record());
        } else {
            qDebug() << "ChangeUserInfo::read UserList:" << query.lastError();
            warn(query.lastError().text());
        }
    }
    return writeBackStep() && ok;
}

// ---- in-memory lists ----

void CFingerManage::GetUser()
{
    m_ListUser.clear();
    for (const QSqlRecord& record : std::as_const(m_userRecords)) {
        _USER_LIST user;
        std::memset(&user, 0, sizeof user);
        QString2CharArray(record.value(QStringLiteral("UserName")).toString(), user.UserName, sizeof user.UserName);
        const QByteArray password
            = CharsetFuncs::toUtf8Cut(record.value(QStringLiteral("Passowrd")).toString(), sizeof user.Password - 1);
        std::memcpy(user.Password, password.constData(), static_cast<size_t>(password.size()));
        m_ListUser.append(user);
    }
}

void CFingerManage::GetFinger()
{
    m_ListFinger.clear();
    for (const QSqlRecord& record : std::as_const(m_fingerRecords)) {
        _FINGER_LIST finger;
        std::memset(&finger, 0, sizeof finger);
        QString2CharArray(record.value(QStringLiteral("UserName")).toString(), finger.UserName, sizeof finger.UserName);
        // Field names are matched without regard to case: "ID" is the column id.
        finger.ID = static_cast<unsigned short>(record.value(QStringLiteral("ID")).toUInt());
        m_ListFinger.append(finger);
    }
}

int CFingerManage::GetFingerRecordCount() { return static_cast<int>(m_fingerRecords.size()); }

int CFingerManage::QString2CharArray(QString text, char* out, int size)
{
    if (size > 0 && size < CharsetFuncs::kNameFieldSize) {
        const QByteArray encoded = CharsetFuncs::toGB18030(text, size - 1);
        std::memset(out, 0, static_cast<size_t>(size));
        std::memcpy(out, encoded.constData(), static_cast<size_t>(encoded.size()));
        return static_cast<int>(encoded.size());
    }
    return CharsetFuncs::Utf8ToGBK(out, text.toUtf8().constData());
}

bool CFingerManage::UpdateFingData(QString fileName)
{
    m_lastError.clear();
    QFile file(fileName);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data;
    for (;;) {
        const QByteArray chunk = file.read(4096);
        if (chunk.isEmpty())
            break;
        data += chunk;
    }
    file.close();

    // Every record is a database operation of its own; the merge reports the last warning any
    // of them reported.
    bool ok = true;
    QString reported;
    auto step = [&](bool stored) {
        ok = stored && ok;
        if (!m_lastError.isEmpty())
            reported = m_lastError;
    };
    const qsizetype records = data.size() / kFingerDataRecordSize;
    for (qsizetype r = 0; r < records; ++r) {
        const auto* record = reinterpret_cast<const unsigned char*>(data.constData()) + r * kFingerDataRecordSize;
        char name[kFingerDataNameSize + 1] = {};
        std::memcpy(name, record, kFingerDataNameSize);
        const unsigned short id = static_cast<unsigned short>(record[32] | (record[33] << 8));
        const QString readable = CharsetFuncs::fromGB18030(name, kFingerDataNameSize);

        bool known = false;
        for (const _FINGER_LIST& finger : std::as_const(m_ListFinger)) {
            if (std::strncmp(finger.UserName, name, sizeof finger.UserName) == 0) {
                known = true;
                break;
            }
        }
        if (known) {
            step(DeleteFingerInTab(id, readable));
            step(InsertFinger(id, readable));
        } else {
            step(InsertFinger(id, readable));
            _FINGER_LIST finger;
            std::memset(&finger, 0, sizeof finger);
            std::memcpy(finger.UserName, name, kFingerDataNameSize);
            finger.ID = id;
            m_ListFinger.append(finger);
        }
    }
    GetFinger();
    m_lastError = reported;
    return ok;
}

// ---- settings ----

void CFingerManage::GetSettingData()
{
    const QString& path = m_paths.settingsFile;
    if (!QFile::exists(path)) {
        qDebug() << "GetSettingData::" << path << "is not exist";
        m_nTimeOut = kDefaultTimeOut;
        m_strDefaultPath = QDir::homePath();
        SaveSettingData();
        return;
    }
    bool valid = false;
    int timeOut = 0;
    QString defaultPath;
    {
        QSettings settings(path, QSettings::defaultFormat());
        const QVariant value = settings.value(QStringLiteral("TimeOut"));
        if (value.isValid())
            timeOut = value.toInt(&valid);
        defaultPath = settings.value(QStringLiteral("DefaultPath")).toString();
    }
    if (!valid) {
        qDebug() << "GetSettingData2::" << path << "is not exist";
        m_nTimeOut = kDefaultTimeOut;
        m_strDefaultPath = QDir::homePath();
        SaveSettingData();
        return;
    }
    m_nTimeOut = timeOut;
    m_strDefaultPath = defaultPath;
}

void CFingerManage::SaveSettingData()
{
    QSettings settings(m_paths.settingsFile, QSettings::defaultFormat());
    settings.clear();
    settings.setValue(QStringLiteral("TimeOut"), m_nTimeOut);
    settings.setValue(QStringLiteral("DefaultPath"), m_strDefaultPath);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qDebug() << "SaveSettingData: could not write" << m_paths.settingsFile;
}
