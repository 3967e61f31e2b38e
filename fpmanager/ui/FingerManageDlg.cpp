#include "FingerManageDlg.h"
#include "ui_FingerManageDlg.h"

#include "About.h"

#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "store/NoticeBox.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QMenu>
#include <QStringListModel>

#include <cstring>

const char* app_version = nullptr;
QString FingerManageDlg::im_exportDefPath;

namespace {

const char kVersion[] = "V0.17";

// Authentication counts as on for the answers 1 and 3 (bit value 2 does not matter); busy,
// errors and every other value count as off.
bool isSwitchOn(int state)
{
    return (state & ~2) == 1;
}

} // namespace

FingerManageDlg::FingerManageDlg(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::FingerManageDlg),
      m_userModel(nullptr),
      m_pAbout(nullptr),
      m_aboutAction(nullptr),
      m_quitAction(nullptr),
      m_trayIcon(nullptr),
      m_trayMenu(nullptr)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    setWindowFlags(Qt::WindowCloseButtonHint);

    im_exportDefPath = QDir::homePath();
    m_userNameList.clear();
    fingerMagager.GetFinger();
    createSysTray();
    app_version = kVersion;

    connect(ui->chkBox_FSW, &QCheckBox::clicked, this, &FingerManageDlg::onStateChanged);
    // The queue name of the new current entry goes to onPrinterSelect.
    connect(ui->cb_printerList, &QComboBox::currentIndexChanged, this,
            [this](int index) { onPrinterSelect(ui->cb_printerList->itemText(index)); });
    connect(this, &FingerManageDlg::setMessageShow, this, &FingerManageDlg::updateMessageShow);
}

FingerManageDlg::~FingerManageDlg()
{
    delete m_pAbout;
    delete m_trayMenu;
    delete ui;
}

QList<QPushButton*> FingerManageDlg::switchBoundButtons() const
{
    return {ui->Btn_add, ui->Btn_query, ui->Btn_delete, ui->Btn_delete_all, ui->Btn_import, ui->Btn_export};
}

QList<QPushButton*> FingerManageDlg::operationButtons() const
{
    return switchBoundButtons() << ui->Btn_setting;
}

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

void FingerManageDlg::setSwitchBoundEnabled(bool enabled)
{
    for (QPushButton* button : switchBoundButtons())
        button->setEnabled(enabled);
}

void FingerManageDlg::showSwitchState(bool on)
{
    ui->chkBox_FSW->setChecked(on);
    setSwitchBoundEnabled(on);
    emit setMessageShow(on ? QStringLiteral("指纹功能开启") : QStringLiteral("指纹功能关闭"));
}

void FingerManageDlg::readSwitchState()
{
    const int state = fingerMagager.m_pfnIsDeviceFingerOpen
                          ? fingerMagager.m_pfnIsDeviceFingerOpen(fingerMagager.m_strPrinterURI)
                          : -1;
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
        m_printerNameList.append(QString::fromUtf8(printer.name, static_cast<int>(strnlen(printer.name, sizeof printer.name))));
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
    if (fingerMagager.OpenDatabaseForFinger()) {
        fingerMagager.GetFinger();
        for (int i = 0; i < fingerMagager.GetFingerRecordCount() && i < fingerMagager.m_ListFinger.size(); ++i)
            m_userNameList.append(displayName(fingerMagager.m_ListFinger.at(i)));
    }
    showUserList();
}

void FingerManageDlg::onStateChanged()
{
    char* uri = fingerMagager.m_strPrinterURI;
    if (ui->chkBox_FSW->isChecked()) {
        const bool switched = fingerMagager.m_pfnOpenFinger && fingerMagager.m_pfnOpenFinger(uri);
        if (switched) {
            notice(QMessageBox::Information, QStringLiteral("信息"), QStringLiteral("设置成功。"));
            setSwitchBoundEnabled(true);
            emit setMessageShow(QStringLiteral("指纹功能开启"));
        } else {
            notice(QMessageBox::Information, QStringLiteral("信息"), QStringLiteral("设置失败。"));
            ui->chkBox_FSW->setChecked(false);
        }
    } else {
        const bool switched = fingerMagager.m_pfnCloseFinger && fingerMagager.m_pfnCloseFinger(uri);
        if (switched) {
            notice(QMessageBox::Information, QStringLiteral("信息"), QStringLiteral("设置成功。"));
            emit setMessageShow(QStringLiteral("指纹功能关闭"));
            setSwitchBoundEnabled(false);
        } else {
            notice(QMessageBox::Information, QStringLiteral("信息"), QStringLiteral("设置失败。"));
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
    ui->result->setText(text);
    // Polish first: the style sheet's polish would otherwise replace the palette at the first show.
    ui->result->ensurePolished();
    QPalette palette = ui->result->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, Qt::blue);
    ui->result->setPalette(palette);
}

void FingerManageDlg::createSysTray()
{
    m_aboutAction = new QAction(QStringLiteral("关于..."), this);
    connect(m_aboutAction, &QAction::triggered, this, [this](bool) { about(); });
    m_quitAction = new QAction(QStringLiteral("退出(&Q)"), this);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

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

// The operations of the buttons below are built in their own files.
void FingerManageDlg::on_Btn_add_clicked() {}
void FingerManageDlg::on_Btn_query_clicked() {}
void FingerManageDlg::on_Btn_delete_clicked() {}
void FingerManageDlg::on_Btn_delete_all_clicked() {}
void FingerManageDlg::on_Btn_export_clicked() {}
void FingerManageDlg::on_Btn_import_clicked() {}
void FingerManageDlg::on_Btn_setting_clicked() {}
