#ifndef STORETESTSUPPORT_H
#define STORETESTSUPPORT_H

// Helpers shared by the tests of fpmanager's data layer: a recorder of message boxes, a capture
// of the log, DES-ECB through OpenSSL (an implementation independent of ours), and plain SQLite
// files read and written through connections of their own.

#include "LogCapture.h"
#include "NoticeRecorder.h"

#include <QFile>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <sys/stat.h>

// DES in ECB mode through OpenSSL's legacy provider.
class OpenSslDes
{
public:
    OpenSslDes()
    {
        m_legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        m_default = OSSL_PROVIDER_load(nullptr, "default");
        m_cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
        m_context = EVP_CIPHER_CTX_new();
    }
    ~OpenSslDes()
    {
        EVP_CIPHER_CTX_free(m_context);
        EVP_CIPHER_free(m_cipher);
        if (m_default)
            OSSL_PROVIDER_unload(m_default);
        if (m_legacy)
            OSSL_PROVIDER_unload(m_legacy);
    }
    OpenSslDes(const OpenSslDes&) = delete;
    OpenSslDes& operator=(const OpenSslDes&) = delete;

    bool isValid() const { return m_legacy && m_cipher && m_context; }

    // encrypt: true to encrypt; padding: PKCS#5 padding on (as the database file) or off.
    QByteArray run(const QByteArray& input, const QByteArray& key, bool encrypt, bool padding)
    {
        QByteArray out(input.size() + 16, '\0');
        int written = 0;
        int final = 0;
        if (key.size() != 8
            || EVP_CipherInit_ex(m_context, m_cipher, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                   nullptr, encrypt ? 1 : 0)
                != 1
            || EVP_CIPHER_CTX_set_padding(m_context, padding ? 1 : 0) != 1
            || EVP_CipherUpdate(m_context, reinterpret_cast<unsigned char*>(out.data()), &written,
                   reinterpret_cast<const unsigned char*>(input.constData()), static_cast<int>(input.size()))
                != 1
            || EVP_CipherFinal_ex(m_context, reinterpret_cast<unsigned char*>(out.data()) + written, &final) != 1)
            return QByteArray("openssl failed");
        out.truncate(written + final);
        return out;
    }

    // The database file key.
    static QByteArray fixedKey() { return QByteArray("\x04\x09\x01\x06\x00\x05\x02\x07", 8); }

private:
    OSSL_PROVIDER* m_legacy = nullptr;
    OSSL_PROVIDER* m_default = nullptr;
    EVP_CIPHER* m_cipher = nullptr;
    EVP_CIPHER_CTX* m_context = nullptr;
};

namespace StoreTest
{

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

inline int modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

inline bool setMode(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

inline qint64 inodeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_ino) : -1;
}

// Runs statements on a plain SQLite file through a connection of its own; the error text of the
// first failure, or an empty string.
inline QString execOnFile(const QString& file, const QStringList& statements)
{
    const QString name = QStringLiteral("storetest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            for (const QString& statement : statements) {
                if (!query.exec(statement)) {
                    error = statement + QStringLiteral(": ") + query.lastError().text();
                    break;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// The rows of select on a plain SQLite file, each as a list of values; an error row when the
// query fails.
inline QList<QVariantList> rowsOf(const QString& file, const QString& select)
{
    const QString name = QStringLiteral("storetest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(select)) {
                while (query.next()) {
                    QVariantList row;
                    for (int i = 0; i < query.record().count(); ++i)
                        row << query.value(i);
                    rows << row;
                }
            } else {
                rows << QVariantList { QStringLiteral("error: ") + query.lastError().text() };
            }
        } else {
            rows << QVariantList { QStringLiteral("error: ") + db.lastError().text() };
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// Decrypts a stored database with OpenSSL into scratchFile and returns the rows of select.
inline QList<QVariantList> storedRows(const QString& storedFile, const QString& scratchFile, const QString& select)
{
    OpenSslDes des;
    const QByteArray cipher = readFile(storedFile);
    const QByteArray plain = cipher.isEmpty() ? QByteArray() : des.run(cipher, OpenSslDes::fixedKey(), false, true);
    QFile::remove(scratchFile);
    if (!writeFile(scratchFile, plain))
        return { QVariantList { QStringLiteral("error: cannot write scratch file") } };
    return rowsOf(scratchFile, select);
}

// Builds a plain database from statements in scratchFile and stores it encrypted (by OpenSSL)
// at storedFile; the error text or an empty string.
inline QString makeStored(const QString& storedFile, const QString& scratchFile, const QStringList& statements)
{
    QFile::remove(scratchFile);
    const QString error = execOnFile(scratchFile, statements);
    if (!error.isEmpty())
        return error;
    OpenSslDes des;
    if (!writeFile(storedFile, des.run(readFile(scratchFile), OpenSslDes::fixedKey(), true, true)))
        return QStringLiteral("cannot write ") + storedFile;
    return QString();
}

inline QString pairOf(const QVariantList& row)
{
    QStringList parts;
    for (const QVariant& v : row)
        parts << v.toString();
    return parts.join(QLatin1Char('|'));
}

// Rows as "a|b|c" strings, for compact comparisons.
inline QStringList flat(const QList<QVariantList>& rows)
{
    QStringList out;
    for (const QVariantList& row : rows)
        out << pairOf(row);
    return out;
}

} // namespace StoreTest

#endif
