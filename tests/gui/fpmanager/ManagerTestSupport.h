#ifndef MANAGERTESTSUPPORT_H
#define MANAGERTESTSUPPORT_H

// Helpers of the fpmanager window tests: answering message boxes (queued answers, or the real
// box found and clicked while it runs), answering file dialogs, and a fresh data layer on the
// fixed paths of the private test namespace.

#include "FileDialogs.h"
#include "PrivateNamespace.h"
#include "ui/NoticeBox.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class FingerManageDlg;
class QAbstractButton;
class QMessageBox;
class QWidget;

// Base of the window tests over FakeFingerLibrary: after each test function, no library call was
// made on the GUI thread (every one leaves it through the window's worker).
class FakeLibraryTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
};

// Answers every message box instead of showing it and records what would have been shown.
// Answers come from `answers`, then OK (or Yes when the box offers it).
class NoticeScript
{
public:
    NoticeScript();
    ~NoticeScript();
    NoticeScript(const NoticeScript&) = delete;
    NoticeScript& operator=(const NoticeScript&) = delete;

    QStringList texts() const;
    // "title|text" of every box, for compact comparisons.
    QStringList titledTexts() const;

    QList<NoticeRequest> shown;
    QList<QMessageBox::StandardButton> answers;
    // Runs when a box would be shown, before it is answered.
    std::function<void(const NoticeRequest&)> onShow;

private:
    NoticeBox::Handler m_previous;
};

// Answers every file dialog instead of showing it and records what was asked. Answers come from
// `answers`, then the empty text (a cancelled dialog).
class FileDialogScript
{
public:
    FileDialogScript();
    ~FileDialogScript();
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;

    QList<FileDialogRequest> asked;
    QStringList answers;

private:
    FileDialogs::Handler m_previous;
};

// Watches for the next modal widget that is not yet known and runs an action on it from inside
// its event loop (to look at a real box or dialog and close it).
class ModalWatcher : public QObject
{
public:
    explicit ModalWatcher(std::function<void(QWidget*)> action, int intervalMs = 10);
    bool fired() const { return m_fired; }

private:
    void poll();

    std::function<void(QWidget*)> m_action;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_known;
    bool m_fired = false;
};

// Watches the GUI thread from construction on: a timer that should fire every intervalMs, and the
// window's paint events. Ticks are also counted per call of the window's library worker, and the
// paints while it runs one; at each such tick the window is asked to repaint and onBusyTick runs.
class GuiThreadWatch : public QObject
{
public:
    GuiThreadWatch(FingerManageDlg& window, int intervalMs);

    // The longest time between two ticks so far.
    qint64 longestGapMs() const { return m_longestGapMs; }
    void resetGap();

    QList<int> ticksPerCall;
    int paintsWhileBusy = 0;
    std::function<void()> onBusyTick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();

    FingerManageDlg& m_window;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestGapMs = 0;
    bool m_busy = false;
};

// What a real QMessageBox showed.
struct ShownBox {
    int icon = -1;
    QString title;
    QString text;
    QStringList buttonTexts;
    bool parentIs = false;
    Qt::WindowFlags flags;
};
// Reads box and clicks the button whose text is buttonText.
ShownBox readAndClick(QMessageBox* box, const QString& buttonText, QWidget* expectedParent);

namespace ManagerTestEnv
{

// The global fingerMagager on the fixed paths with a new database (admin / 58203716), no printers,
// no selected printer, the test doubles bound, default settings. False when the database could not
// be made.
bool freshManager();

// Adds a FingerList row for printerName (m_printerName is restored afterwards).
void storeFinger(const QString& printerName, int id, const QString& userName);
// The (id, UserName) rows of printerName as stored in the database file.
QList<QPair<int, QString>> storedFingers(const QString& printerName);
// The (name, password) rows of UserList as stored in the database file.
QList<QPair<QString, QString>> storedAccounts();

// Sets fingerMagager.m_ListPrinter to (queue name, device URI) pairs.
void setPrinters(const QList<QPair<QByteArray, QByteArray>>& printers);

// One 546-byte record of a fingerprint data file: name (GB18030 bytes), ID, template.
QByteArray fdlRecord(const QByteArray& name, quint16 id);
// The same as a "name" to the GB18030 bytes of text.
QByteArray gb18030(const QString& text);

// Path for a test artefact (VRKT_ARTIFACTS_DIR, made if missing; the working directory if unset).
QString artifactPath(const QString& fileName);

} // namespace ManagerTestEnv

#endif
