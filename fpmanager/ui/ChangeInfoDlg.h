#ifndef CHANGEINFODLG_H
#define CHANGEINFODLG_H

#include <QDialog>

namespace Ui
{
class ChangeInfoDlg;
}

// Replaces the login account (user name and password) after checking the old password. The new
// account is stored at once and checked by the next login attempt.
class ChangeInfoDlg : public QDialog
{
    Q_OBJECT
public:
    explicit ChangeInfoDlg(QWidget* parent = nullptr);
    ~ChangeInfoDlg() override;

    // Replaces the accounts whose password is oldPassword by (newUserName, newPassword) and tells
    // whether the new account really is the stored one afterwards: read back from the database
    // file, not only from the working copy.
    static bool changeAccount(const QString& oldPassword, const QString& newUserName, const QString& newPassword);

    Ui::ChangeInfoDlg* ui;

private slots:
    void on_Btn_OK_clicked();
    void on_Btn_Cancel_clicked();
    void on_editNewName_textEdited(const QString& text);

private:
    void showChangeNotice(const QString& text);
};

#endif
