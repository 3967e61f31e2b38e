#ifndef FPMANAGERAPP_H
#define FPMANAGERAPP_H

#include "store/CharsetFuncs.h"

class QApplication;
class FingerManageDlg;
class LoginDlg;

// Start-up of fpmanager after the QApplication exists.
namespace FpmanagerApp
{

// Installs the catalogue of the session's language, or else Qt's Chinese one, makes sure names
// can be converted (nameCodec, see charsetReady), takes the single-instance guard, binds the
// library and opens the database (fingerMagager.init()), shows the login window with the hidden main window behind it
// and runs the event loop. Returns the exit code: 1 without the codec, 0 when another instance runs or init fails, -1
// when the guard cannot be created, otherwise the event loop's result.
int run(QApplication& app, const char* nameCodec = CharsetFuncs::kNameCodec);

// True when Qt can convert text to and from codec. Otherwise (a Qt built without ICU has no
// GB18030) every name would become empty: shows a warning that says so and returns false.
bool charsetReady(const char* codec);

// Hands a successful login over to the main window.
void connectWindows(LoginDlg& login, FingerManageDlg& main);

} // namespace FpmanagerApp

#endif
