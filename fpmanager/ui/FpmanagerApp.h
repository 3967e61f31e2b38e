#ifndef FPMANAGERAPP_H
#define FPMANAGERAPP_H

class QApplication;
class FingerManageDlg;
class LoginDlg;

// Start-up of fpmanager after the QApplication exists.
namespace FpmanagerApp {

// Installs Qt's Chinese catalogue, takes the single-instance guard, binds the library and opens
// the database (fingerMagager.init()), shows the login window with the hidden main window behind
// it and runs the event loop. Returns the exit code: 0 when another instance runs or init fails,
// -1 when the guard cannot be created, otherwise the event loop's result.
int run(QApplication& app);

// Hands a successful login over to the main window.
void connectWindows(LoginDlg& login, FingerManageDlg& main);

} // namespace FpmanagerApp

#endif
