#include "ManagerTestSupport.h"

#include "FakeFingerLibrary.h"
#include "FingerManageDlg.h"
#include "Frames.h"
#include "LibraryWorker.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>
#include <QUuid>
#include <cstring>

void FakeLibraryTest::cleanup() { QCOMPARE(FakeFingerLibrary::state().callsOnGuiThread, 0); }

NoticeScript::NoticeScript()
{
    m_previous = NoticeBox::setHandler([this](const NoticeRequest& request) {
        shown.append(request);
        if (onShow)
            onShow(request);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (request.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
}

NoticeScript::~NoticeScript() { NoticeBox::setHandler(m_previous); }

QStringList NoticeScript::texts() const
{
    QStringList list;
    for (const NoticeRequest& request : shown)
        list << request.text;
    return list;
}

QStringList NoticeScript::titledTexts() const
{
    QStringList list;
    for (const NoticeRequest& request : shown)
        list << request.title + QLatin1Char('|') + request.text;
    return list;
}

FileDialogScript::FileDialogScript()
{
    m_previous = FileDialogs::setHandler([this](const FileDialogRequest& request) {
        asked.append(request);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });
}

FileDialogScript::~FileDialogScript() { FileDialogs::setHandler(m_previous); }

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> action, int intervalMs)
    : m_action(std::move(action))
{
    if (QWidget* current = QApplication::activeModalWidget())
        m_known.append(current);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || m_known.contains(modal))
        return;
    m_timer.stop();
    m_fired = true;
    m_action(modal);
}

GuiThreadWatch::GuiThreadWatch(FingerManageDlg& window, int intervalMs)
    : m_window(window)
{
    connect(window.libraryWorker(), &LibraryWorker::busyChanged, this, [this](bool busy) {
        m_busy = busy;
        if (busy)
            ticksPerCall.append(0);
    });
    window.installEventFilter(this);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &GuiThreadWatch::tick);
    m_timer.start();
    m_sinceTick.start();
}

void GuiThreadWatch::resetGap()
{
    m_longestGapMs = 0;
    m_sinceTick.start();
}

void GuiThreadWatch::tick()
{
    m_longestGapMs = std::max(m_longestGapMs, m_sinceTick.restart());
    if (!m_busy)
        return;
    ++ticksPerCall.last();
    m_window.update();
    if (onBusyTick)
        onBusyTick();
}

bool GuiThreadWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Paint && m_busy)
        ++paintsWhileBusy;
    return QObject::eventFilter(watched, event);
}

ShownBox readAndClick(QMessageBox* box, const QString& buttonText, QWidget* expectedParent)
{
    ShownBox shown;
    if (!box)
        return shown;
    shown.icon = box->icon();
    shown.title = box->windowTitle();
    shown.text = box->text();
    shown.parentIs = box->parentWidget() == expectedParent;
    shown.flags = box->windowFlags();
    QAbstractButton* target = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        shown.buttonTexts << button->text();
        if (button->text() == buttonText)
            target = button;
    }
    if (target)
        target->click();
    else
        box->reject();
    return shown;
}

namespace ManagerTestEnv
{

bool freshManager()
{
    CFingerManage& m = fingerMagager;
    m.m_strDbPath = QString::fromLatin1(FpmanagerPaths::kDatabaseFile);
    m.m_strTmpDbPath = QString::fromLatin1(FpmanagerPaths::kWorkingCopy);
    QFile::remove(m.m_strDbPath);
    QFile::remove(m.m_strTmpDbPath);
    QFile::remove(QString::fromLatin1(FpmanagerPaths::kSettingsFile));
    m.m_strExportFile.clear();
    m.m_strImportFile.clear();
    std::memset(m.m_strPrinterURI, 0, sizeof m.m_strPrinterURI);
    m.m_printerName.clear();
    m.m_ListPrinter.clear();
    m.m_ListFinger.clear();
    m.m_ListUser.clear();
    m.m_userRecords.clear();
    m.m_fingerRecords.clear();
    m.m_nTimeOut = 30;
    m.m_strDefaultPath = QDir::homePath();
    FakeFingerLibrary::reset();
    FakeFingerLibrary::bindInto(m);
    return m.CreateDatabase() && m.OpenDatabaseForLogin();
}

void storeFinger(const QString& printerName, int id, const QString& userName)
{
    const QString previous = fingerMagager.m_printerName;
    const QList<QSqlRecord> records = fingerMagager.m_fingerRecords;
    fingerMagager.m_printerName = printerName;
    fingerMagager.InsertFinger(id, userName);
    fingerMagager.m_printerName = previous;
    fingerMagager.m_fingerRecords = records;
}

namespace
{

    // Runs statement on a plain copy of the stored database, through a connection of its own.
    QList<QStringList> readStored(const QString& statement, const QVariantList& values)
    {
        QList<QStringList> rows;
        const QString plainPath = QDir::tempPath() + QStringLiteral("/readback-")
            + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".db");
        {
            QFile stored(fingerMagager.m_strDbPath);
            if (!stored.open(QIODevice::ReadOnly))
                return rows;
            QFile plain(plainPath);
            if (!plain.open(QIODevice::WriteOnly))
                return rows;
            plain.write(fingerMagager.m_desCryption.decryptData(stored.readAll()));
        }
        const QString connection = QStringLiteral("readback");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(plainPath);
            if (db.open()) {
                QSqlQuery query(db);
                query.prepare(statement);
                for (const QVariant& value : values)
                    query.addBindValue(value);
                if (query.exec()) {
                    while (query.next()) {
                        QStringList row;
                        for (int i = 0; i < query.record().count(); ++i)
                            row << query.value(i).toString();
                        rows << row;
                    }
                }
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(connection);
        QFile::remove(plainPath);
        return rows;
    }

} // namespace

QList<QPair<int, QString>> storedFingers(const QString& printerName)
{
    QList<QPair<int, QString>> result;
    const auto rows = readStored(
        QStringLiteral("select id, UserName from FingerList where printerName = ? order by rowid"), { printerName });
    for (const QStringList& row : rows)
        result.append({ row.value(0).toInt(), row.value(1) });
    return result;
}

QList<QPair<QString, QString>> storedAccounts()
{
    QList<QPair<QString, QString>> result;
    for (const QStringList& row :
        readStored(QStringLiteral("select UserName, Passowrd from UserList order by rowid"), {}))
        result.append({ row.value(0), row.value(1) });
    return result;
}

void setPrinters(const QList<QPair<QByteArray, QByteArray>>& printers)
{
    fingerMagager.m_ListPrinter.clear();
    for (const auto& printer : printers) {
        _PRINTER p;
        std::memset(&p, 0, sizeof p);
        qstrncpy(p.name, printer.first.constData(), sizeof p.name);
        qstrncpy(p.uri, printer.second.constData(), sizeof p.uri);
        fingerMagager.m_ListPrinter.append(p);
    }
}

QByteArray fdlRecord(const QByteArray& name, quint16 id) { return Frames::fdlRecord(name, id); }

QByteArray gb18030(const QString& text) { return CharsetFuncs::toGB18030(text, 32); }

QString artifactPath(const QString& fileName)
{
    QString dir = qEnvironmentVariable("VRKT_ARTIFACTS_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QDir().mkpath(dir);
    return QDir(dir).filePath(fileName);
}

} // namespace ManagerTestEnv
