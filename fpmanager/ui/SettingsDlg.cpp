#include "SettingsDlg.h"

#include "FileDialogs.h"
#include "FingerManageDlg.h"
#include "FormFit.h"
#include "store/FingerManage.h"
#include "ui_SettingsDlg.h"

#include <QDir>

SettingsDlg::SettingsDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SettingsDlg)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    FormFit::fitFixedForm(this);
    ui->read_browse->setText(fingerMagager.m_strDefaultPath);
    // The spin box keeps the shown value within 10 to 180.
    ui->sbox_timeout->setValue(fingerMagager.m_nTimeOut);
    m_strPath.clear();
}

SettingsDlg::~SettingsDlg() { delete ui; }

void SettingsDlg::on_btn_browse_clicked()
{
    m_strPath
        = FileDialogs::getExistingDirectory(this, tr("请选择文件夹"), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (!m_strPath.isEmpty())
        ui->read_browse->setText(m_strPath);
}

void SettingsDlg::on_btn_set_Ok_clicked()
{
    if (!m_strPath.isEmpty())
        fingerMagager.m_strDefaultPath = m_strPath;
    fingerMagager.m_nTimeOut = ui->sbox_timeout->value();
    FingerManageDlg::im_exportDefPath = fingerMagager.m_strDefaultPath;
    fingerMagager.SaveSettingData();
    close();
}

void SettingsDlg::on_btn_set_No_clicked() { close(); }
