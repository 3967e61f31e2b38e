#include "About.h"

#include "FingerManageDlg.h"
#include "ui_About.h"

#include <QPushButton>

About::About(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::About)
{
    ui->setupUi(this);
    setFixedSize(width(), height());
    setWindowTitle(QStringLiteral(" "));
    connect(ui->btn_ok, &QPushButton::clicked, this, &QDialog::accept);
    ui->label_version->setText(tr("KELB指纹管理版本%1").arg(QString::fromLatin1(app_version)));
}

About::~About() { delete ui; }
