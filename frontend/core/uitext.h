// The texts the window shows, in the user's language. Every message of the
// window-free logic is written in Japanese, the window's own language, and
// marked for the translation tools; at the moment it is shown it goes
// through the translator that the window installs (without one, the
// Japanese text itself).
#pragma once

#include <initializer_list>
#include <string>

// Marks a text for the translation tools without translating it here.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace sonvola {

// The context under which the window-free texts are translated.
inline constexpr const char* kUiTextContext = "sonvola";

using UiTranslator = std::string (*)(const char* source);
void setUiTranslator(UiTranslator translator);

// `source` in the user's language; %1 to %9 are replaced by `args`.
std::string uiText(const char* source);
std::string uiText(const char* source, std::initializer_list<std::string> args);

}  // namespace sonvola
