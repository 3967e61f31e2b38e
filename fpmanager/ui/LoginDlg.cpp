#include "LoginDlg.h"

#include "ChangeInfoDlg.h"
#include "FormFit.h"
#include "NoticeBox.h"
#include "UserNameWidth.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "ui_LoginDlg.h"

#include <QDebug>
#include <QLineEdit>
#include <array>
#include <cstring>
#include <vector>

LoginDlg::LoginDlg(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::LoginDlg)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowCloseButtonHint);
    setWindowModality(Qt::WindowModal);
    setFixedSize(width(), height());
    FormFit::fitFixedForm(this);
    ui->userName->setFocus();
    connect(ui->Button_changInfo, &QPushButton::clicked, this, &LoginDlg::btn_changeInfo_clicked);
    connect(ui->Button_login, &QPushButton::clicked, this, &LoginDlg::btn_login_clicked);
    // A plain window has no default button: Return in either field logs in as "登录" does.
    connect(ui->userName, &QLineEdit::returnPressed, this, &LoginDlg::btn_login_clicked);
    connect(ui->password, &QLineEdit::returnPressed, this, &LoginDlg::btn_login_clicked);
}

LoginDlg::~LoginDlg() { delete ui; }

void LoginDlg::showLoginNotice(const QString& text) { NoticeBox::notice(this, QMessageBox::Warning, tr("警告"), text); }

void LoginDlg::on_userName_textEdited(const QString& text) { ui->userName->setText(UserNameWidth::limited(text)); }

void LoginDlg::btn_changeInfo_clicked()
{
    ChangeInfoDlg dialog(nullptr);
    dialog.exec();
}

void LoginDlg::btn_login_clicked()
{
    // Only the first stored account is compared.
    fingerMagager.GetUser();
    bool hasAccount = !fingerMagager.m_ListUser.isEmpty();
    QString storedName;
    QString storedPassword;
    if (hasAccount) {
        const _USER_LIST& account = fingerMagager.m_ListUser.first();
        char name[CharsetFuncs::kDisplayBufferSize] = {};
        CharsetFuncs::GBKToUtf8(name, account.UserName);
        storedName = QString::fromUtf8(name);
        storedPassword
            = QString::fromUtf8(account.Password, static_cast<int>(strnlen(account.Password, sizeof account.Password)));
    }

    if (!hasAccount || ui->userName->text().trimmed() != storedName) {
        showLoginNotice(tr("用户名不正确，请重新输入"));
        ui->userName->setFocus();
        return;
    }
    if (ui->password->text().trimmed() != storedPassword) {
        showLoginNotice(tr("输入的密码不正确，请重新输入"));
        ui->password->setFocus();
        return;
    }

    qDebug() << "Check device connection";
    std::vector<std::array<char, kSlotSize>> names(kPrinterSlots);
    std::vector<std::array<char, kSlotSize>> uris(kPrinterSlots);
    char* namePointers[kPrinterSlots];
    char* uriPointers[kPrinterSlots];
    for (int i = 0; i < kPrinterSlots; ++i) {
        names[i].fill('\0');
        uris[i].fill('\0');
        namePointers[i] = names[i].data();
        uriPointers[i] = uris[i].data();
    }
    const int printerCount
        = fingerMagager.m_pfnGetDeviceConnect ? fingerMagager.m_pfnGetDeviceConnect(namePointers, uriPointers) : 0;
    if (printerCount < 1) {
        showLoginNotice(tr("设备未安装或者未连接!"));
        close();
        return;
    }

    fingerMagager.m_ListPrinter.clear();
    qDebug() << "printerCnt=" << printerCount;
    // Never read past the slots we handed out.
    const int listed = qMin(printerCount, static_cast<int>(kPrinterSlots));
    for (int i = 0; i < listed; ++i) {
        names[i][kSlotSize - 1] = '\0';
        uris[i][kSlotSize - 1] = '\0';
        _PRINTER printer;
        std::memset(&printer, 0, sizeof printer);
        qstrncpy(printer.name, names[i].data(), sizeof printer.name);
        qstrncpy(printer.uri, uris[i].data(), sizeof printer.uri);
        qDebug() << printer.name << printer.uri;
        fingerMagager.m_ListPrinter.append(printer);
        if (i == 0) {
            std::memset(fingerMagager.m_strPrinterURI, 0, sizeof fingerMagager.m_strPrinterURI);
            qstrncpy(fingerMagager.m_strPrinterURI, printer.uri, sizeof fingerMagager.m_strPrinterURI);
        }
    }

    fingerMagager.GetSettingData();
    hide();
    emit settingdlgshow();
}
