#include "Translations.h"

#include "InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace Translations
{

QStringList searchDirs()
{
    return { QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../translations")),
        QStringLiteral(VRKT_TRANSLATIONS_DIR) };
}

bool install(QCoreApplication& app, const QString& program, const QLocale& locale, const QStringList& dirs)
{
    auto* own = new QTranslator(&app);
    bool found = false;
    for (const QString& dir : dirs) {
        if (own->load(locale, program, QStringLiteral("_"), dir)) {
            found = true;
            break;
        }
    }
    if (!found) {
        delete own;
        return false;
    }
    app.installTranslator(own);

    // Qt's catalogue of the language ours was found for (its texts of standard buttons and dialogs).
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(own->language()), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
    else
        delete qt;
    return true;
}

} // namespace Translations
