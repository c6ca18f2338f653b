#include "frontend/qt/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>
#include <cstring>

#include "frontend/core/uitext.h"

namespace sonvola {

namespace {

std::string translateUiText(const char* source) {
    return QCoreApplication::translate(kUiTextContext, source).toStdString();
}

QTranslator& ownTranslator() {
    static QTranslator translator;
    return translator;
}

QTranslator& qtTranslator() {
    static QTranslator translator;
    return translator;
}

}  // namespace

UiLanguage chooseUiLanguage(const char* forced, const QLocale& system) {
    if (forced && std::strcmp(forced, "ja") == 0) return UiLanguage::Japanese;
    if (forced && std::strcmp(forced, "en") == 0) return UiLanguage::English;
    return system.language() == QLocale::Japanese ? UiLanguage::Japanese : UiLanguage::English;
}

bool installUiLanguage(UiLanguage language) {
    QCoreApplication::removeTranslator(&ownTranslator());
    QCoreApplication::removeTranslator(&qtTranslator());
    setUiTranslator(nullptr);
    // Qt's own dialogs (the file dialog, the buttons of message boxes) in
    // the same language, where Debian's Qt translations are installed.
    const QString qtName = language == UiLanguage::Japanese ? QStringLiteral("qtbase_ja")
                                                            : QStringLiteral("qtbase_en");
    if (qtTranslator().load(qtName, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTranslator());
    }
    if (language == UiLanguage::Japanese) return true;  // the texts' own language
    if (!ownTranslator().load(QStringLiteral(":/i18n/sonvola_en.qm"))) return false;
    QCoreApplication::installTranslator(&ownTranslator());
    setUiTranslator(translateUiText);
    return true;
}

void installUiLanguageFromEnvironment() {
    installUiLanguage(chooseUiLanguage(std::getenv("SONVOLA_LANG"), QLocale::system()));
}

}  // namespace sonvola
