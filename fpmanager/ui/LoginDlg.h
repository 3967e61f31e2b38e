#ifndef LOGINDLG_H
#define LOGINDLG_H

#include <QWidget>

namespace Ui
{
class LoginDlg;
}

// The login window: admits the administrator against the stored account, collects the supported
// USB printers from the library and hands over to the main window (settingdlgshow()). It also
// opens the dialog that changes the login account.
class LoginDlg : public QWidget
{
    Q_OBJECT
public:
    explicit LoginDlg(QWidget* parent = nullptr);
    ~LoginDlg() override;

    // Number of printer slots handed to GetDeviceConnect.
    static constexpr int kPrinterSlots = 32;
    static constexpr int kSlotSize = 512;

    Ui::LoginDlg* ui;

signals:
    // A login succeeded and the printers are listed: the main window fills and shows itself.
    void settingdlgshow();

public slots:
    void btn_changeInfo_clicked();
    void btn_login_clicked();
    void on_userName_textEdited(const QString& text);

private:
    void showLoginNotice(const QString& text);
};

#endif
