#ifndef VRKT_TRANSLATIONS_H
#define VRKT_TRANSLATIONS_H

#include <QLocale>
#include <QString>
#include <QStringList>

class QCoreApplication;

// The windows' texts are written in Chinese in the code and the forms; a catalogue
// (<program>_<language>.qm, made from translations/<program>_<language>.ts) turns them into the
// language of the session.
namespace Translations
{

// Where the catalogues are looked for, in this order: the build tree's translations folder next to
// the program's bin folder (when run from there), then the installed folder VRKT_TRANSLATIONS_DIR.
QStringList searchDirs();

// Installs the first catalogue of program (e.g. "fpmanager") for the languages of locale that one
// of dirs holds, and with it Qt's own qtbase catalogue of the same language (standard buttons and
// dialogs). Without a catalogue for the locale (Chinese, C, or a language nobody has translated)
// nothing is installed, the texts stay as they are written, and the result is false. The
// translators are children of app.
bool install(QCoreApplication& app, const QString& program, const QLocale& locale = QLocale::system(),
    const QStringList& dirs = searchDirs());

} // namespace Translations

#endif
