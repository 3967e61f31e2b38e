#include "AddDlg.h"

#include "FormFit.h"
#include "NoticeBox.h"
#include "UserNameWidth.h"
#include "ui_AddDlg.h"

AddDlg::AddDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::AddDlg)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    FormFit::fitFixedForm(this);
}

AddDlg::~AddDlg() { delete ui; }

void AddDlg::setQueryMsg(QString text)
{
    ui->label->setText(text);
    FormFit::fitFixedForm(this);
}

void AddDlg::on_AddUserName_textEdited(const QString& text) { ui->AddUserName->setText(UserNameWidth::limited(text)); }

void AddDlg::on_btn_add_OK_clicked()
{
    const QString name = ui->AddUserName->text().trimmed();
    if (name.isEmpty()) {
        NoticeBox::notice(this, QMessageBox::Warning, tr("警告"), tr("输入用户名不正确，请重新输入"),
            Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        ui->AddUserName->setFocus();
        return;
    }
    m_strUserName = name;
    setResult(1);
    done(1);
}

void AddDlg::on_btn_add_No_clicked() { done(0); }
