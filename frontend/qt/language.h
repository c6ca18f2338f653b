// The language of the window: Japanese, its own, for a Japanese locale;
// English for any other; SONVOLA_LANG=ja or en chooses one.
#pragma once

#include <QLocale>

namespace sonvola {

enum class UiLanguage { Japanese, English };

// `forced` is the value of SONVOLA_LANG (may be null or empty).
UiLanguage chooseUiLanguage(const char* forced, const QLocale& system);

// Installs the translation of `language` for the windows and for the
// window-free texts (the messages of the stage buttons and of playback).
// False when its translation cannot be loaded (the texts stay Japanese).
bool installUiLanguage(UiLanguage language);

// chooseUiLanguage from the environment, then installUiLanguage.
void installUiLanguageFromEnvironment();

}  // namespace sonvola
