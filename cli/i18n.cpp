#include "cli/i18n.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qbx::cli {
namespace {

// The first of the variables that is set and not empty ("" when none is).
std::string FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (const char* value = std::getenv(name); value && *value) return value;
  }
  return "";
}

// Where the catalogues are: QUELBARIX_LOCALE_FROM_BIN is the locale folder
// relative to the executable's, the same in the build tree and installed.
std::string CatalogueFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return QUELBARIX_LOCALE_INSTALLED;
  return (exe.parent_path() / QUELBARIX_LOCALE_FROM_BIN).lexically_normal().string();
}

}  // namespace

void SetUpLanguage() {
  // Only the messages follow the person's locale: number texts, dates and
  // what the component says stay as they are in every locale.
  if (!std::setlocale(LC_MESSAGES, "")) {
    // The locale is not installed (usual in containers): gettext would then
    // ignore the environment. A locale other than "C" makes it honour
    // LANGUAGE, which then names the language the other variables ask for.
    const std::string wanted = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    if (std::setlocale(LC_MESSAGES, "C.UTF-8") && FirstSet({"LANGUAGE"}).empty() &&
        wanted != "C" && wanted != "POSIX")
      ::setenv("LANGUAGE", wanted.c_str(), 1);
  }
  ::bindtextdomain(kTextDomain, CatalogueFolder().c_str());
  // The tool writes UTF-8 whatever the locale's character set, as the
  // component's texts are.
  ::bind_textdomain_codeset(kTextDomain, "UTF-8");
  ::textdomain(kTextDomain);
}

const char* _(const char* text) {
  return ::dgettext(kTextDomain, text);
}

std::string _(std::string_view text) {
  return ::dgettext(kTextDomain, std::string(text).c_str());
}

std::string P_(const char* singular, const char* plural, unsigned long n) {
  return ::dngettext(kTextDomain, singular, plural, n);
}

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string_view::npos;
    if (close == i + 2 && pattern[i + 1] >= '0' &&
        static_cast<size_t>(pattern[i + 1] - '0') < args.size()) {
      out += args.begin()[pattern[i + 1] - '0'].text;
      i = close;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace qbx::cli
