// The tool's own texts in the person's language: GNU gettext over the
// catalogues of po/, English source texts as the keys. What the component
// and the suite say is never passed through here.
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text of a static table for extraction; it is translated where it
// is shown.
#define N_(text) text

namespace qbx::cli {

inline constexpr const char* kTextDomain = "quelbarix";

// Takes the language from the environment as gettext does (LANGUAGE, then
// LC_ALL, LC_MESSAGES, LANG), also when that locale is not installed, and
// binds the catalogues next to the executable. Call once at start-up.
void SetUpLanguage();

// The text in the person's language (the text itself when there is no
// translation).
const char* _(const char* text);
std::string _(std::string_view text);
// The singular or plural form for n.
std::string P_(const char* singular, const char* plural, unsigned long n);

// An argument of Format: a text or an integer.
struct FormatArg {
  FormatArg(std::string_view text) : text(text) {}
  FormatArg(const char* text) : text(text) {}
  FormatArg(const std::string& text) : text(text) {}
  template <std::integral I>
  FormatArg(I n) : text(std::to_string(n)) {}
  std::string text;
};

// The pattern with {0} ... {9} replaced by the arguments (other braces stay
// as they are): a translation may put them in another order.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

}  // namespace qbx::cli
