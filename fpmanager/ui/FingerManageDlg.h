#ifndef FINGERMANAGEDLG_H
#define FINGERMANAGEDLG_H

#include "store/FingerRecords.h"

#include <QMessageBox>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>

class About;
class BusyIndicator;
class LibraryWorker;
class exportThread;
class importThread;
class QAction;
class QCloseEvent;
class QMenu;
class QPushButton;
class QStringListModel;

namespace Ui
{
class FingerManageDlg;
}

// The application version shown in the About window; set by the main window's constructor.
extern const char* app_version;

// The main window: the printers found at login, the authentication switch and the enrolled users
// of the selected printer, and every fingerprint operation. It exists hidden from start-up and is
// filled and shown by settingDlgshow() after the login. It also owns the tray icon.
//
// Every printer call goes through fingerMagager's bound functions with the selected printer's
// device URI (m_strPrinterURI); row i of LV_userList is always record i of m_ListFinger.
class FingerManageDlg : public QWidget
{
    Q_OBJECT
public:
    explicit FingerManageDlg(QWidget* parent = nullptr);
    ~FingerManageDlg() override;

    // Reads and applies the switch state of the selected printer and rebuilds the user list from
    // the database.
    void UpdateDlgshow();
    // 1 disables the seven operation buttons; any other value enables them.
    void EnableButtons(int disable);
    void createSysTray();

    // The six buttons bound to the switch state, and all seven operation buttons.
    QList<QPushButton*> switchBoundButtons() const;
    QList<QPushButton*> operationButtons() const;

    // Runs the blocking library calls; the window stays disabled for operations while it works.
    LibraryWorker* libraryWorker() const { return m_worker; }
    BusyIndicator* busyIndicator() const { return m_busyIndicator; }

    Ui::FingerManageDlg* ui;
    QStringList m_userNameList;
    QStringListModel* m_userModel;
    QStringList m_printerNameList;
    About* m_pAbout;
    QAction* m_aboutAction;
    QAction* m_quitAction;
    QSystemTrayIcon* m_trayIcon;
    QMenu* m_trayMenu;
    exportThread* m_exportThread;
    importThread* m_importThread;

    // Directory proposed by the export and import file dialogs.
    static QString im_exportDefPath;

signals:
    void setMessageShow(const QString& text);

public slots:
    void settingDlgshow();
    void on_Btn_add_clicked();
    void on_Btn_query_clicked();
    void on_Btn_delete_clicked();
    void on_Btn_delete_all_clicked();
    void on_Btn_export_clicked();
    void on_Btn_import_clicked();
    void on_Btn_setting_clicked();
    void onStateChanged();
    void onPrinterSelect(const QString& printerName);
    void updateMessageShow(const QString& text);
    void about();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void exportResultHandle(int value);
    void importResultHandle(int value);
    // The tray menu's quit: at once, or when the running operation has ended.
    void quitWhenIdle();

protected:
    // Closing during an operation waits for its end.
    void closeEvent(QCloseEvent* event) override;

private:
    // Marks a running operation, from before its first library call to after its last box. A
    // close or quit asked for meanwhile is carried out when the outermost one ends.
    class Operation
    {
    public:
        explicit Operation(FingerManageDlg& window);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        FingerManageDlg& m_window;
    };
    enum class PendingExit { None, Close, Quit };

    // Before a library call: the printer list, the switch and the operation buttons are disabled
    // and the busy indicator turns; afterwards they are as before.
    void onLibraryBusy(bool busy);
    void deferExit(PendingExit exit);
    bool operationRunning() const;

    // The display name of a record: its GB18030 UserName as text.
    static QString displayName(const _FINGER_LIST& finger);
    // Asks the printer and shows the answer: ticked box, enabled buttons and "指纹功能开启" when
    // authentication is on; cleared, disabled and "指纹功能关闭" otherwise.
    void readSwitchState();
    void showSwitchState(bool on);
    void setSwitchBoundEnabled(bool enabled);
    // Puts m_userNameList into a new model on LV_userList.
    void showUserList();
    // m_userNameList from m_ListFinger, shown in a new model.
    void rebuildUserList();
    // Takes the user of row `row` out of the database, m_userNameList, the model and m_ListFinger.
    void removeUserLocally(int row, const _FINGER_LIST& finger);
    // A notice box parented to this window, with the single button "确定".
    void notice(QMessageBox::Icon icon, const QString& title, const QString& text);
    // A confirmation box parented to this window ("是" / "否"); true only for Yes.
    bool confirm(QMessageBox::Icon icon, const QString& title, const QString& text);
    void showMessage(const QString& text);

    LibraryWorker* m_worker;
    BusyIndicator* m_busyIndicator;
    QList<QPair<QWidget*, bool>> m_enabledBeforeCall;
    QWidget* m_focusBeforeCall = nullptr;
    int m_operations = 0;
    PendingExit m_pendingExit = PendingExit::None;
    QString m_messageText;
};

#endif
