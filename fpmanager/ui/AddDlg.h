#ifndef ADDDLG_H
#define ADDDLG_H

#include <QDialog>
#include <QString>

namespace Ui
{
class AddDlg;
}

// The name entry shared by enrolment and query. exec() returns 1 with the accepted (trimmed) name
// in m_strUserName, or 0 when cancelled.
class AddDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AddDlg(QWidget* parent = nullptr);
    ~AddDlg() override;

    // Replaces the prompt above the name field.
    void setQueryMsg(QString text);

    Ui::AddDlg* ui;
    QString m_strUserName;

private slots:
    void on_btn_add_OK_clicked();
    void on_btn_add_No_clicked();
    void on_AddUserName_textEdited(const QString& text);
};

#endif
