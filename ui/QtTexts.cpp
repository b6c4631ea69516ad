#include "ui/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include "common/platform/Diagnostics.h"
#include "common/platform/Language.h"

namespace ui {

bool InstallQtTranslations(uint16_t languageId) {
    QLocale locale;
    switch (languageId) {
        case platform::kLangChinesePrc:
            locale = QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
            break;
        case platform::kLangChineseTaiwan:
            locale = QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan);
            break;
        default:
            return false;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return false;
    }
    // Owned by the application, so it lives as long as the texts are shown.
    auto* translator = new QTranslator(application);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        platform::DiagPrintf("Qt's own translations for language %u not found\n",
                             static_cast<unsigned>(languageId));
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QString QtFileFilter(const QString& tableFilter) {
    if (!tableFilter.contains(QLatin1Char('|'))) {
        return tableFilter;
    }
    const QStringList parts = tableFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        if (description.isEmpty()) {
            break;  // the "||" that ends the list
        }
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            patterns.push_back(p == QStringLiteral("*.*") ? QStringLiteral("*") : p);
        }
        if (patterns.isEmpty()) {
            patterns.push_back(QStringLiteral("*"));
        }
        filters.push_back(description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                          QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace ui
