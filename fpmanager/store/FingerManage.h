#ifndef FINGERMANAGE_H
#define FINGERMANAGE_H

#include "DesCryption.h"
#include "FingerRecords.h"
#include "FpmanagerPaths.h"

#include <QLibrary>
#include <QList>
#include <QObject>
#include <QSqlRecord>
#include <QString>
#include <functional>

// The library functions fpmanager calls, as it calls them (all bound by name at run time).
typedef int (*AddFinger_T)(char* printer, int mode, char* userName, int* retIndex);
typedef bool (*IsDeviceConnect_T)(char* printer);
typedef int (*GetDeviceConnect_T)(char** names, char** uris);
typedef int (*IsDeviceFingerOpen_T)(char* printer);
typedef bool (*OpenFinger_T)(char* printer);
typedef bool (*CloseFinger_T)(char* printer);
typedef int (*DeleteFinger_T)(char* printer, char* userName);
typedef int (*DeleteFingers_T)(char* printer);
typedef int (*CheckFinger_T)(char* printer, char* userName);
typedef int (*ImportFinger_T)(char* printer, char* fileName);
typedef int (*ExportFinger_T)(char* printer, char* fileName, int* length);

// fpmanager's shared state: the encrypted database (login account and the fingerprints enrolled
// through the application), the settings, the printers listed at login and the selected one, and
// the bound functions of libvrkt7xcommon. The program has one object, fingerMagager; the dialogs
// read and write its members directly. Everything runs on the GUI thread.
//
// The database rests on disk only DES-encrypted. Every database operation decrypts the stored
// file into a private working copy, works on it through QtSql (connection "QSQLITE", Qt's default
// connection name), encrypts it back over the stored file and deletes the working copy. Failures
// are logged (qDebug) and reported: the operation returns false, lastError() holds the text of its
// warning, and the warning handler (the windows install one that shows the database warning box)
// receives that text at the moment it arises, on the thread that runs the operation. No window is
// drawn here.
class CFingerManage : public QObject
{
    Q_OBJECT
public:
    // paths: where the database, its working copy, the settings and the library are; the fixed
    // locations unless a test hands in others.
    explicit CFingerManage(QObject* parent = nullptr, const FingerManagePaths& paths = FingerManagePaths());
    ~CFingerManage() override;

    // Loads the library from the first existing location and binds the eleven functions, then
    // prepares the database (CreateDatabase, OpenDatabaseForLogin). True when all of it worked.
    // A library that cannot be loaded or lacks one of the functions is refused with the warning
    // "the vrkt7xcomm dll not found".
    bool init();

    // Runs CreateTables.
    bool CreateDatabase();
    // Makes sure UserList (with the default account admin / 58203716) and FingerList exist; on
    // success the stored file gets mode 0666.
    bool CreateTables();
    // Reads every UserList row into m_userRecords.
    bool OpenDatabaseForLogin();
    // Reads the FingerList rows of m_printerName into m_fingerRecords, which is empty when the
    // read fails.
    bool OpenDatabaseForFinger();
    // Adds the row (id, userName, m_printerName) and appends it to m_fingerRecords. True when the
    // row was added and stored.
    bool InsertFinger(int id, QString userName);
    // Deletes the row (id, userName, m_printerName); drops every record of userName (whatever
    // its id) from m_fingerRecords. True when the deletion was stored.
    bool DeleteFingerInTab(int id, QString userName);
    // Deletes every row of m_printerName; empties m_fingerRecords. True when that was stored.
    bool DeleteAllFingerInTab();
    // Replaces the accounts whose password is oldPassword by (newUserName, newPassword);
    // m_userRecords then holds only the last UserList row. The old accounts go only together
    // with the insertion of the new one. True when the change was stored.
    bool ChangeUserInfo(QString oldPassword, QString newUserName, QString newPassword);
    // Rebuilds m_ListUser from m_userRecords.
    void GetUser();
    // Rebuilds m_ListFinger from m_fingerRecords.
    void GetFinger();
    int GetFingerRecordCount();
    // Merges the names and IDs of a fingerprint data file (*.fdl, 546-byte records) into
    // FingerList and m_ListFinger; a missing or unreadable file changes nothing. False when the
    // file could not be read or a record could not be stored.
    bool UpdateFingData(QString fileName);
    // Loads TimeOut and DefaultPath; a missing file or a TimeOut that is not a number is replaced
    // by the defaults (30, the home directory).
    void GetSettingData();
    // Writes TimeOut and DefaultPath (and nothing else) to the settings file.
    void SaveSettingData();
    // Converts text to GB18030 into out (through CharsetFuncs::Utf8ToGBK) and returns the number
    // of bytes written: at most 32, whole characters, the first 33 bytes of out cleared. A size
    // from 1 to 32 narrows that to size - 1 bytes in a field of size bytes.
    int QString2CharArray(QString text, char* out, int size);

    QString m_strVersion;
    QString m_strDbPath;
    QString m_strTmpDbPath;
    QString m_strExportFile;
    QString m_strImportFile;
    char m_strPrinterURI[512];
    QString m_printerName;
    QList<_PRINTER> m_ListPrinter;
    QList<_FINGER_LIST> m_ListFinger;
    QList<_USER_LIST> m_ListUser;
    QList<QSqlRecord> m_userRecords;
    QList<QSqlRecord> m_fingerRecords;
    QLibrary m_commLib;
    AddFinger_T m_pfnAddFinger;
    IsDeviceConnect_T m_pfnIsDeviceConnect;
    GetDeviceConnect_T m_pfnGetDeviceConnect;
    IsDeviceFingerOpen_T m_pfnIsDeviceFingerOpen;
    OpenFinger_T m_pfnOpenFinger;
    CloseFinger_T m_pfnCloseFinger;
    DeleteFinger_T m_pfnDeleteFinger;
    DeleteFingers_T m_pfnDeleteFingers;
    CheckFinger_T m_pfnCheckFinger;
    ImportFinger_T m_pfnImportFinger;
    ExportFinger_T m_pfnExportFinger;
    int m_nTimeOut;
    QString m_strDefaultPath;
    DesCryption m_desCryption;

    // The locations this object works with.
    const FingerManagePaths& paths() const { return m_paths; }

    // Why the last database operation's change did not reach the stored file (the failed
    // statement's error, or why the file could not be written back); empty when it did or when
    // the operation did not get past its open step (which shows its own warning).
    const QString& lastStoreError() const { return m_lastStoreError; }

    // The text of the last warning an operation of this object reported (what the database warning
    // shows, "the vrkt7xcomm dll not found" for a refused library); empty when the last operation
    // reported none.
    const QString& lastError() const { return m_lastError; }

    // Receives the text of every warning of every CFingerManage when it arises, on the thread that
    // runs the operation, which goes on once the handler returns. Installs handler (an empty one
    // drops the warnings) and returns the previous one.
    using WarningHandler = std::function<void(const QString& text)>;
    static WarningHandler setWarningHandler(WarningHandler handler);

private:
    bool openStep(const char* successText, const char* failureText);
    bool writeBackStep();
    bool prepareWorkingCopy(QString* error);
    bool encryptWorkingCopy();
    void closeConnection();
    void clearBindings();
    void warn(const QString& text);

    FingerManagePaths m_paths;
    QString m_lastStoreError;
    QString m_lastError;
};

// The application's one CFingerManage.
extern CFingerManage fingerMagager;

#endif
