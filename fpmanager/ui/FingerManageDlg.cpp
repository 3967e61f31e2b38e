#include "FingerManageDlg.h"

#include "About.h"
#include "AddDlg.h"
#include "BusyIndicator.h"
#include "ExportThread.h"
#include "FileDialogs.h"
#include "FormFit.h"
#include "ImportThread.h"
#include "LibraryWorker.h"
#include "NoticeBox.h"
#include "SettingsDlg.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "store/FpmanagerPaths.h"
#include "ui_FingerManageDlg.h"
#include "vrkt7xcommon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStringListModel>
#include <QTimer>
#include <cstring>

const char* app_version = nullptr;
QString FingerManageDlg::im_exportDefPath;

namespace
{

const char kVersion[] = "V0.17";
const int kMaxUsers = 1000;
// The name as the library receives it: GB18030, at most 32 bytes, zero-filled.
const int kNameBufferSize = 64;
const char kFdlFilter[] = QT_TRANSLATE_NOOP("FingerManageDlg", "指纹数据文件(*.fdl)");
// Second line of the message line while a close or quit waits for the running operation.
const char kExitWaitsNote[] = QT_TRANSLATE_NOOP("FingerManageDlg", "正在等待当前操作结束，结束后退出...");

// Authentication counts as on for the answers 1 and 3 (bit value 2 does not matter); busy,
// errors and every other value count as off.
bool isSwitchOn(int state) { return state == VRKT_AUTH_ON || state == VRKT_AUTH_ON_PENDING; }

} // namespace

FingerManageDlg::FingerManageDlg(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::FingerManageDlg)
    , m_userModel(nullptr)
    , m_pAbout(nullptr)
    , m_aboutAction(nullptr)
    , m_quitAction(nullptr)
    , m_trayIcon(nullptr)
    , m_trayMenu(nullptr)
    , m_exportThread(nullptr)
    , m_importThread(nullptr)
    , m_worker(nullptr)
    , m_busyIndicator(nullptr)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    FormFit::fitFixedForm(this);
    setWindowFlags(Qt::WindowCloseButtonHint);

    im_exportDefPath = QDir::homePath();
    m_userNameList.clear();
    fingerMagager.GetFinger();
    // An empty list until the login fills it (the tray can show the window before that).
    showUserList();
    createSysTray();
    app_version = kVersion;

    m_worker = new LibraryWorker(this);
    connect(m_worker, &LibraryWorker::busyChanged, this, &FingerManageDlg::onLibraryBusy);
    // In the lower right corner of the message line.
    m_busyIndicator = new BusyIndicator(this);
    const QRect line = ui->result->geometry();
    const QSize size = m_busyIndicator->sizeHint();
    m_busyIndicator->setGeometry(
        line.right() - size.width() - 4, line.bottom() - size.height() - 4, size.width(), size.height());

    connect(ui->chkBox_FSW, &QCheckBox::clicked, this, &FingerManageDlg::onStateChanged);
    // The queue name of the new current entry goes to onPrinterSelect.
    connect(ui->cb_printerList, &QComboBox::currentIndexChanged, this,
        [this](int index) { onPrinterSelect(ui->cb_printerList->itemText(index)); });
    connect(this, &FingerManageDlg::setMessageShow, this, &FingerManageDlg::updateMessageShow);
    m_exportThread = new exportThread(this, m_worker);
    connect(m_exportThread, &exportThread::sendValue, this, &FingerManageDlg::exportResultHandle);
    m_importThread = new importThread(this, m_worker);
    connect(m_importThread, &importThread::sendValue, this, &FingerManageDlg::importResultHandle);
}

FingerManageDlg::~FingerManageDlg()
{
    delete m_pAbout;
    delete m_trayMenu;
    delete ui;
}

QList<QPushButton*> FingerManageDlg::switchBoundButtons() const
{
    return { ui->Btn_add, ui->Btn_query, ui->Btn_delete, ui->Btn_delete_all, ui->Btn_import, ui->Btn_export };
}

QList<QPushButton*> FingerManageDlg::operationButtons() const { return switchBoundButtons() << ui->Btn_setting; }

QString FingerManageDlg::displayName(const _FINGER_LIST& finger)
{
    char text[CharsetFuncs::kDisplayBufferSize] = {};
    CharsetFuncs::GBKToUtf8(text, finger.UserName);
    return QString::fromUtf8(text);
}

void FingerManageDlg::notice(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    NoticeBox::notice(this, icon, title, text, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
}

bool FingerManageDlg::confirm(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    return NoticeBox::confirm(this, icon, title, text, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
}

void FingerManageDlg::showMessage(const QString& text) { emit setMessageShow(text); }

void FingerManageDlg::setSwitchBoundEnabled(bool enabled)
{
    for (QPushButton* button : switchBoundButtons())
        button->setEnabled(enabled);
}

void FingerManageDlg::showSwitchState(bool on)
{
    ui->chkBox_FSW->setChecked(on);
    setSwitchBoundEnabled(on);
    emit setMessageShow(on ? tr("指纹功能开启") : tr("指纹功能关闭"));
}

void FingerManageDlg::readSwitchState()
{
    const Operation operation(*this);
    const int state = fingerMagager.m_pfnIsDeviceFingerOpen
        ? m_worker->run([] { return fingerMagager.m_pfnIsDeviceFingerOpen(fingerMagager.m_strPrinterURI); })
        : VRKT_QUERY_FAILED;
    showSwitchState(isSwitchOn(state));
}

void FingerManageDlg::showUserList()
{
    QStringListModel* previous = m_userModel;
    m_userModel = new QStringListModel(m_userNameList, this);
    ui->LV_userList->setModel(m_userModel);
    if (previous)
        previous->deleteLater();
}

void FingerManageDlg::settingDlgshow()
{
    readSwitchState();
    for (const _FINGER_LIST& finger : std::as_const(fingerMagager.m_ListFinger))
        m_userNameList.append(displayName(finger));
    showUserList();

    m_printerNameList.clear();
    for (const _PRINTER& printer : std::as_const(fingerMagager.m_ListPrinter))
        m_printerNameList.append(
            QString::fromUtf8(printer.name, static_cast<int>(strnlen(printer.name, sizeof printer.name))));
    // The first entry of an empty box becomes current and selects its printer right here.
    ui->cb_printerList->addItems(m_printerNameList);
    show();
}

void FingerManageDlg::onPrinterSelect(const QString& printerName)
{
    fingerMagager.m_printerName = printerName;
    const int index = ui->cb_printerList->currentIndex();
    std::memset(fingerMagager.m_strPrinterURI, 0, sizeof fingerMagager.m_strPrinterURI);
    if (index >= 0 && index < fingerMagager.m_ListPrinter.size()) {
        const _PRINTER& printer = fingerMagager.m_ListPrinter.at(index);
        qstrncpy(fingerMagager.m_strPrinterURI, printer.uri, sizeof fingerMagager.m_strPrinterURI);
    }
    UpdateDlgshow();
}

void FingerManageDlg::UpdateDlgshow()
{
    readSwitchState();
    m_userNameList.clear();
    // A failed read leaves both lists empty: none of another printer's users may be sent to this one.
    fingerMagager.OpenDatabaseForFinger();
    fingerMagager.GetFinger();
    for (int i = 0; i < fingerMagager.GetFingerRecordCount() && i < fingerMagager.m_ListFinger.size(); ++i)
        m_userNameList.append(displayName(fingerMagager.m_ListFinger.at(i)));
    showUserList();
}

void FingerManageDlg::onStateChanged()
{
    const Operation operation(*this);
    char* uri = fingerMagager.m_strPrinterURI;
    if (ui->chkBox_FSW->isChecked()) {
        const bool switched = fingerMagager.m_pfnOpenFinger
            && m_worker->run([uri] { return int(fingerMagager.m_pfnOpenFinger(uri)); }) > 0;
        if (switched) {
            notice(QMessageBox::Information, tr("信息"), tr("设置成功。"));
            setSwitchBoundEnabled(true);
            emit setMessageShow(tr("指纹功能开启"));
        } else {
            notice(QMessageBox::Information, tr("信息"), tr("设置失败。"));
            ui->chkBox_FSW->setChecked(false);
        }
    } else {
        const bool switched = fingerMagager.m_pfnCloseFinger
            && m_worker->run([uri] { return int(fingerMagager.m_pfnCloseFinger(uri)); }) > 0;
        if (switched) {
            notice(QMessageBox::Information, tr("信息"), tr("设置成功。"));
            emit setMessageShow(tr("指纹功能关闭"));
            setSwitchBoundEnabled(false);
        } else {
            notice(QMessageBox::Information, tr("信息"), tr("设置失败。"));
            setSwitchBoundEnabled(false);
        }
    }
}

void FingerManageDlg::EnableButtons(int disable)
{
    const bool enabled = disable != 1;
    for (QPushButton* button : operationButtons())
        button->setEnabled(enabled);
}

void FingerManageDlg::updateMessageShow(const QString& text)
{
    m_messageText = text;
    ui->result->setText(m_pendingExit == PendingExit::None ? text : text + QLatin1Char('\n') + tr(kExitWaitsNote));
    // Polish first: the style sheet's polish would otherwise replace the palette at the first show.
    ui->result->ensurePolished();
    QPalette palette = ui->result->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, Qt::blue);
    ui->result->setPalette(palette);
}

void FingerManageDlg::createSysTray()
{
    m_aboutAction = new QAction(tr("关于..."), this);
    connect(m_aboutAction, &QAction::triggered, this, [this](bool) { about(); });
    m_quitAction = new QAction(tr("退出(&Q)"), this);
    connect(m_quitAction, &QAction::triggered, this, &FingerManageDlg::quitWhenIdle);

    m_trayMenu = new QMenu();
    m_trayMenu->addAction(m_aboutAction);
    m_trayMenu->addAction(m_quitAction);

    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->setIcon(QIcon(QStringLiteral(":/FingerManage.ico")));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &FingerManageDlg::iconActivated);
    m_trayIcon->setVisible(true);
}

void FingerManageDlg::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showNormal();
}

void FingerManageDlg::about()
{
    if (!m_pAbout)
        m_pAbout = new About(nullptr);
    m_pAbout->show();
    m_pAbout->raise();
}

void FingerManageDlg::rebuildUserList()
{
    m_userNameList.clear();
    for (const _FINGER_LIST& finger : std::as_const(fingerMagager.m_ListFinger))
        m_userNameList.append(displayName(finger));
    showUserList();
}

// ---- enrol, query, delete ----

void FingerManageDlg::on_Btn_add_clicked()
{
    const Operation operation(*this);
    if (fingerMagager.m_ListFinger.size() >= kMaxUsers) {
        notice(QMessageBox::Information, tr("信息"), tr("用户列表已满，请删除后重试！"));
        return;
    }
    AddDlg dialog(nullptr);
    showMessage(QString());
    QCoreApplication::processEvents();
    if (dialog.exec() != 1)
        return;

    char name[kNameBufferSize] = {};
    fingerMagager.QString2CharArray(dialog.m_strUserName, name, kNameBufferSize);
    EnableButtons(1);
    showMessage(tr("正在添加指纹,请按下您的手指"));
    QCoreApplication::processEvents();

    const int first = m_worker->run(
        [&name] { return fingerMagager.m_pfnAddFinger(fingerMagager.m_strPrinterURI, 0, name, nullptr); });
    if (first != 0) {
        if (first == VRKT_BUSY || first == VRKT_ADD_FAILED || first > VRKT_LAST_ANSWER_CODE) {
            notice(QMessageBox::Information, tr("信息"), tr("添加失败,请稍后重试!"));
            showMessage(tr("添加失败"));
        } else {
            notice(QMessageBox::Information, tr("信息"), tr("用户已经注冊,请重新填写姓名!"));
            ui->result->setText(QString());
        }
        EnableButtons(0);
        return;
    }

    showMessage(tr("请再次按下您的手指"));
    QCoreApplication::processEvents();
    int index = 0;
    const int second = m_worker->run(
        [&name, &index] { return fingerMagager.m_pfnAddFinger(fingerMagager.m_strPrinterURI, 1, name, &index); });
    if (second != 0) {
        notice(QMessageBox::Information, tr("信息"), tr("添加失败，请稍后重试!"));
        ui->result->setText(QString());
        EnableButtons(0);
        return;
    }

    showMessage(tr("添加成功"));
    _FINGER_LIST finger;
    std::memset(&finger, 0, sizeof finger);
    qstrncpy(finger.UserName, name, sizeof finger.UserName);
    finger.ID = static_cast<unsigned short>(index);
    fingerMagager.InsertFinger(index, CharsetFuncs::fromGB18030(name));
    fingerMagager.m_ListFinger.append(finger);
    m_userNameList.append(dialog.m_strUserName);
    m_userModel->setStringList(m_userNameList);
    ui->LV_userList->setModel(m_userModel);
    EnableButtons(0);
}

void FingerManageDlg::on_Btn_query_clicked()
{
    const Operation operation(*this);
    AddDlg dialog(nullptr);
    dialog.setWindowTitle(tr("查询指纹"));
    dialog.setQueryMsg(tr("正在查询用户，请输入用户名。"));
    if (dialog.exec() != 1)
        return;

    char name[kNameBufferSize] = {};
    fingerMagager.QString2CharArray(dialog.m_strUserName, name, kNameBufferSize);
    EnableButtons(1);
    showMessage(tr("正在查询用户,请稍候..."));
    QCoreApplication::processEvents();

    const int result
        = m_worker->run([&name] { return fingerMagager.m_pfnCheckFinger(fingerMagager.m_strPrinterURI, name); });
    if (result == 0) {
        // A name enrolled more than once: the last matching row stays selected.
        for (int i = 0; i < fingerMagager.m_ListFinger.size(); ++i) {
            if (std::strncmp(fingerMagager.m_ListFinger.at(i).UserName, name, sizeof(_FINGER_LIST::UserName)) == 0
                && m_userModel && i < m_userModel->rowCount())
                ui->LV_userList->setCurrentIndex(m_userModel->index(i));
        }
        showMessage(tr("查询成功"));
        notice(QMessageBox::Information, tr("信息"), tr("此用户指纹已经存在,可以使用!"));
    } else if (result == VRKT_UNKNOWN_USER) {
        showMessage(tr("用户或者指纹信息不存在"));
        notice(QMessageBox::Information, tr("警告"), tr("用户或者指纹信息不存在!"));
    } else {
        showMessage(tr("查询失败"));
        notice(QMessageBox::Information, tr("警告"), tr("查询失败"));
    }
    QCoreApplication::processEvents();
    EnableButtons(0);
}

void FingerManageDlg::removeUserLocally(int row, const _FINGER_LIST& finger)
{
    fingerMagager.DeleteFingerInTab(finger.ID, CharsetFuncs::fromGB18030(finger.UserName, sizeof finger.UserName));
    m_userNameList.removeAt(row);
    m_userModel->removeRow(row);
    fingerMagager.m_ListFinger.removeAt(row);
    ui->LV_userList->setModel(m_userModel);
}

void FingerManageDlg::on_Btn_delete_clicked()
{
    const Operation operation(*this);
    if (fingerMagager.m_ListFinger.isEmpty())
        return;
    if (!confirm(QMessageBox::Information, tr("警告"), tr("您确认要删除当前的用户和指纹吗？")))
        return;
    const int row = ui->LV_userList->currentIndex().row();
    if (row < 0 || row >= fingerMagager.m_ListFinger.size()) {
        notice(QMessageBox::Information, tr("警告"), tr("请指定一个用户!"));
        return;
    }

    _FINGER_LIST finger = fingerMagager.m_ListFinger.at(row);
    showMessage(tr("正在删除指纹,请稍候! "));
    QCoreApplication::processEvents();
    const int result = m_worker->run(
        [&finger] { return fingerMagager.m_pfnDeleteFinger(fingerMagager.m_strPrinterURI, finger.UserName); });
    if (result == 0) {
        removeUserLocally(row, finger);
        showMessage(tr("删除成功! "));
        QCoreApplication::processEvents();
    } else if (result == VRKT_UNKNOWN_USER) {
        // The printer no longer knows the user: it goes from the list as well.
        removeUserLocally(row, finger);
        showMessage(tr("用户不存在! "));
        notice(QMessageBox::Information, tr("警告"), tr("用户不存在！"));
        QCoreApplication::processEvents();
    } else {
        showMessage(tr("删除失败! "));
        notice(QMessageBox::Information, tr("警告"), tr("删除失败，请重试！"));
    }
}

void FingerManageDlg::on_Btn_delete_all_clicked()
{
    const Operation operation(*this);
    showMessage(QString());
    QCoreApplication::processEvents();
    if (!confirm(QMessageBox::Information, tr("警告"), tr("您确认要删除全部用户和指纹吗？"))) {
        showMessage(QString());
        QCoreApplication::processEvents();
        return;
    }
    showMessage(tr("正在删除指纹, 请稍候!"));
    QCoreApplication::processEvents();
    const int result = m_worker->run([] { return fingerMagager.m_pfnDeleteFingers(fingerMagager.m_strPrinterURI); });
    if (result == 0) {
        fingerMagager.DeleteAllFingerInTab();
        m_userNameList.clear();
        m_userModel->setStringList(m_userNameList);
        fingerMagager.m_ListFinger.clear();
        ui->LV_userList->setModel(m_userModel);
        showMessage(tr("删除成功! "));
    } else {
        showMessage(tr("删除失败! "));
        notice(QMessageBox::Information, tr("警告"), tr("删除失败，请重试！"));
    }
    QCoreApplication::processEvents();
}

// ---- export and import ----

void FingerManageDlg::on_Btn_export_clicked()
{
    const Operation operation(*this);
    im_exportDefPath = fingerMagager.m_strDefaultPath;
    QString fileName = FileDialogs::getSaveFileName(
        this, tr("另存为"), im_exportDefPath + QStringLiteral("/fingerdata.fdl"), tr(kFdlFilter));
    showMessage(QString());
    QCoreApplication::processEvents();
    if (fileName.isEmpty()) {
        qDebug() << "exportFileName is null";
        return;
    }

    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".fdl");
    // The library replaces the temporary file only with a complete export: when the administrator
    // chose that very file it stays until then (an empty printer or a failure keeps it).
    const QString temporary = QString::fromLatin1(FpmanagerPaths::kExportTempFile);
    if (QFileInfo(fileName).absoluteFilePath() != QFileInfo(temporary).absoluteFilePath())
        QFile::remove(temporary);
    fingerMagager.m_strExportFile = fileName;
    showMessage(tr("正在导出数据到文件，请稍候"));
    EnableButtons(1);
    QCoreApplication::processEvents();
    m_exportThread->run();
}

void FingerManageDlg::on_Btn_import_clicked()
{
    const Operation operation(*this);
    im_exportDefPath = fingerMagager.m_strDefaultPath;
    const QString fileName = FileDialogs::getOpenFileName(this, tr("打开"), im_exportDefPath, tr(kFdlFilter));
    showMessage(QString());
    QCoreApplication::processEvents();
    if (fileName.isEmpty()) {
        qDebug() << "importFileName is null";
        return;
    }

    const QString temporary = QString::fromLatin1(FpmanagerPaths::kImportTempFile);
    // A file chosen at the temporary location itself is used where it is.
    if (QFileInfo(fileName).absoluteFilePath() != QFileInfo(temporary).absoluteFilePath()) {
        QFile::remove(temporary);
        if (!QFile::copy(fileName, temporary)) {
            // The temporary file could not be replaced (another user's file left there, a full
            // /tmp): importing whatever sits there would load records nobody chose.
            qDebug() << "cannot copy the import file to" << temporary;
            fingerMagager.m_strImportFile = fileName;
            EnableButtons(1);
            importResultHandle(2);
            return;
        }
    }
    fingerMagager.m_strImportFile = fileName;
    showMessage(tr("正在导入指纹数据，请稍候..."));
    EnableButtons(1);
    QCoreApplication::processEvents();
    m_importThread->run();
}

void FingerManageDlg::exportResultHandle(int value)
{
    switch (value) {
    case 0:
        showMessage(tr("正在导出数据到文件，请稍候"));
        EnableButtons(1);
        QCoreApplication::processEvents();
        break;
    case 1:
        rebuildUserList();
        notice(QMessageBox::Information, tr("信息"), tr("导出到文件成功!"));
        EnableButtons(0);
        showMessage(tr("导出到文件成功"));
        QCoreApplication::processEvents();
        break;
    case 2:
        notice(QMessageBox::Information, tr("信息"), tr("设备中无指纹存储!"));
        showMessage(QString());
        EnableButtons(0);
        QCoreApplication::processEvents();
        break;
    case 3:
        notice(QMessageBox::Warning, tr("警告"), tr("导出到文件失败，请检查您的设备，再重试!"));
        showMessage(tr("导出失败"));
        EnableButtons(0);
        QCoreApplication::processEvents();
        break;
    default:
        break;
    }
}

void FingerManageDlg::importResultHandle(int value)
{
    const QString temporary = QString::fromLatin1(FpmanagerPaths::kImportTempFile);
    const bool chosenIsTemporary
        = QFileInfo(fingerMagager.m_strImportFile).absoluteFilePath() == QFileInfo(temporary).absoluteFilePath();
    switch (value) {
    case 0:
        showMessage(tr("正在导入指纹数据，请稍候..."));
        EnableButtons(1);
        QCoreApplication::processEvents();
        break;
    case 1:
        rebuildUserList();
        notice(QMessageBox::Information, tr("信息"), tr("导入文件成功!"));
        showMessage(tr("导入文件成功"));
        EnableButtons(0);
        QCoreApplication::processEvents();
        if (!chosenIsTemporary)
            QFile::remove(temporary);
        break;
    case 2:
        notice(QMessageBox::Warning, tr("警告"), tr("导入文件失败，请检查您的设备，再重试!"));
        showMessage(QString());
        EnableButtons(0);
        QCoreApplication::processEvents();
        if (!chosenIsTemporary)
            QFile::remove(temporary);
        break;
    default:
        break;
    }
}

// ---- settings ----

void FingerManageDlg::on_Btn_setting_clicked()
{
    SettingsDlg dialog(nullptr);
    dialog.exec();
}

// ---- library calls off the GUI thread ----

FingerManageDlg::Operation::Operation(FingerManageDlg& window)
    : m_window(window)
{
    ++m_window.m_operations;
}

FingerManageDlg::Operation::~Operation()
{
    if (--m_window.m_operations > 0 || m_window.m_pendingExit == PendingExit::None)
        return;
    // Once the operation's handler has returned to the event loop.
    FingerManageDlg* window = &m_window;
    QTimer::singleShot(0, window, [window] {
        if (window->operationRunning())
            return;
        const PendingExit exit = window->m_pendingExit;
        window->m_pendingExit = PendingExit::None;
        window->updateMessageShow(window->m_messageText);
        if (exit == PendingExit::Quit)
            QCoreApplication::quit();
        else if (exit == PendingExit::Close)
            window->close();
    });
}

bool FingerManageDlg::operationRunning() const { return m_operations > 0 || m_worker->isBusy(); }

void FingerManageDlg::onLibraryBusy(bool busy)
{
    const QList<QWidget*> controls = { ui->cb_printerList, ui->chkBox_FSW, ui->Btn_add, ui->Btn_query, ui->Btn_delete,
        ui->Btn_delete_all, ui->Btn_export, ui->Btn_import, ui->Btn_setting };
    if (busy) {
        m_focusBeforeCall = focusWidget();
        m_enabledBeforeCall.clear();
        for (QWidget* control : controls) {
            m_enabledBeforeCall.append({ control, control->isEnabled() });
            control->setEnabled(false);
        }
        m_busyIndicator->start();
        return;
    }
    m_busyIndicator->stop();
    for (const auto& [control, enabled] : std::as_const(m_enabledBeforeCall))
        control->setEnabled(enabled);
    m_enabledBeforeCall.clear();
    if (m_focusBeforeCall && m_focusBeforeCall->isEnabled())
        m_focusBeforeCall->setFocus();
    m_focusBeforeCall = nullptr;
}

void FingerManageDlg::deferExit(PendingExit exit)
{
    // A quit asked for once stays a quit.
    if (m_pendingExit != PendingExit::Quit)
        m_pendingExit = exit;
    qDebug() << "an operation is running; the window waits for its end";
    updateMessageShow(m_messageText);
}

void FingerManageDlg::quitWhenIdle()
{
    if (operationRunning()) {
        deferExit(PendingExit::Quit);
        return;
    }
    QCoreApplication::quit();
}

void FingerManageDlg::closeEvent(QCloseEvent* event)
{
    if (operationRunning()) {
        event->ignore();
        deferExit(PendingExit::Close);
        return;
    }
    QWidget::closeEvent(event);
}
