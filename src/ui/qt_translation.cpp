#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

bool installQtTranslation(QCoreApplication& app)
{
    // The crews read Japanese whatever language the PC was set up in: the file is named, not
    // chosen by the system's locale. The Windows package carries it beside the program; on
    // Linux it is Qt's own (Debian's qt6-translations-l10n). The folder beside the program
    // comes first so that a copied program folder is whole by itself.
    const QStringList folders{QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder) && QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}
