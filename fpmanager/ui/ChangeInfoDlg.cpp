#include "ChangeInfoDlg.h"

#include "FormFit.h"
#include "NoticeBox.h"
#include "UserNameWidth.h"
#include "store/CharsetFuncs.h"
#include "store/FingerManage.h"
#include "ui_ChangeInfoDlg.h"

#include <QDebug>
#include <QLineEdit>
#include <cstring>

namespace
{

const char kPasswordRule[]
    = QT_TRANSLATE_NOOP("ChangeInfoDlg", "输入的密码必须是8~16位数字、字母和符号的任意组合，请重新输入");
const int kMinPassword = 8;
const int kMaxPassword = 16;
// What the account record keeps of the password (UTF-8) and of the name (GB18030): a longer value
// would be stored cut, and the login would compare against the cut value.
const int kMaxPasswordBytes = static_cast<int>(sizeof(_USER_LIST::Password)) - 1;
const int kMaxNameBytes = CharsetFuncs::kNameBytes;

bool isAccount(const QSqlRecord& record, const QString& name, const QString& password)
{
    return record.value(QStringLiteral("UserName")).toString() == name
        && record.value(QStringLiteral("Passowrd")).toString() == password;
}

} // namespace

ChangeInfoDlg::ChangeInfoDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ChangeInfoDlg)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    FormFit::fitFixedForm(this);
}

ChangeInfoDlg::~ChangeInfoDlg() { delete ui; }

void ChangeInfoDlg::showChangeNotice(const QString& text)
{
    NoticeBox::notice(this, QMessageBox::Warning, tr("警告"), text);
}

void ChangeInfoDlg::on_editNewName_textEdited(const QString& text)
{
    ui->editNewName->setText(UserNameWidth::limited(text));
}

void ChangeInfoDlg::on_Btn_Cancel_clicked() { close(); }

bool ChangeInfoDlg::changeAccount(const QString& oldPassword, const QString& newUserName, const QString& newPassword)
{
    fingerMagager.ChangeUserInfo(oldPassword, newUserName, newPassword);
    const QString notStored = fingerMagager.lastStoreError();
    if (!notStored.isEmpty()) {
        // The statement or the write-back failed (a full disk, a read-only folder): the database
        // warning says why, and the next login checks the accounts the file still holds.
        NoticeBox::warning(notStored);
        fingerMagager.OpenDatabaseForLogin();
        return false;
    }
    // A stored change leaves the new account as the last (and only remembered) UserList row.
    const QList<QSqlRecord> remembered = fingerMagager.m_userRecords;
    if (remembered.size() != 1 || !isAccount(remembered.first(), newUserName, newPassword))
        return false;

    // The working copy had it; make sure the stored file does too (its write-back can fail).
    if (!fingerMagager.OpenDatabaseForLogin())
        return false;
    bool stored = false;
    for (const QSqlRecord& record : std::as_const(fingerMagager.m_userRecords))
        stored = stored || isAccount(record, newUserName, newPassword);
    if (!stored) {
        // The accounts just read from the file stay the ones the next login checks.
        qDebug() << "ChangeUserInfo: the new account did not reach" << fingerMagager.m_strDbPath;
        return false;
    }
    // The next login compares the new account, as it does right after a change.
    fingerMagager.m_userRecords = remembered;
    return true;
}

void ChangeInfoDlg::on_Btn_OK_clicked()
{
    qDebug() << "show box!";
    fingerMagager.GetUser();
    QString storedPassword;
    if (!fingerMagager.m_ListUser.isEmpty()) {
        const _USER_LIST& account = fingerMagager.m_ListUser.first();
        storedPassword
            = QString::fromUtf8(account.Password, static_cast<int>(strnlen(account.Password, sizeof account.Password)));
    }

    const QString newName = ui->editNewName->text().trimmed();
    const QString oldPassword = ui->editOldPwd->text().trimmed();
    const QString newPassword = ui->editNewPwd->text().trimmed();
    const QString repeated = ui->editReNewPwd->text().trimmed();

    auto refuse = [this](const QString& text, QLineEdit* focus) {
        showChangeNotice(text);
        if (focus)
            focus->setFocus();
    };
    const QString ruleWithStop = tr(kPasswordRule) + QLatin1Char('.');
    const bool nameKeptWhole = CharsetFuncs::toGB18030(newName, -1).size() <= kMaxNameBytes;
    const bool passwordKeptWhole = newPassword.toUtf8().size() <= kMaxPasswordBytes;
    if (newName.isEmpty() || !nameKeptWhole)
        return refuse(tr("输入新用户名不正确，请重新输入."), ui->editNewName);
    if (oldPassword.isEmpty())
        return refuse(tr("输入的密码不正确，请重新输入."), ui->editOldPwd);
    if (newPassword.isEmpty())
        return refuse(ruleWithStop, ui->editNewPwd);
    if (repeated.isEmpty())
        return refuse(ruleWithStop, ui->editReNewPwd);
    if (oldPassword != storedPassword)
        return refuse(tr("输入的密码不正确，请重新输入"), ui->editOldPwd);
    if (newPassword.size() < kMinPassword || newPassword.size() > kMaxPassword || !passwordKeptWhole)
        return refuse(tr(kPasswordRule), ui->editNewPwd);
    if (newPassword != repeated) {
        qDebug() << "Pwd=" << newPassword << " reNew=" << repeated;
        return refuse(tr("两次密码输入的不一致，请重新输入"), nullptr);
    }

    // A change the database did not keep has been reported by its warning (or its log); the
    // dialog then stays open.
    if (!changeAccount(oldPassword, newName, newPassword))
        return;

    NoticeRequest done;
    done.icon = QMessageBox::Information;
    done.title = tr("提示");
    done.text = tr("更改成功");
    done.buttons = QMessageBox::Yes;
    done.parent = this;
    if (NoticeBox::show(done) == QMessageBox::Yes) {
        qDebug() << "Click Yes!";
        close();
    }
}
