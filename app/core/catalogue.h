// The window's words in the user's language. Every text of the program is
// written in Japanese, the receivers' own words, which the operation log
// keeps whatever the window speaks; a catalogue maps each of them to
// another language. The catalogues are po/*.po, compiled into the program
// at build time.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenrix {

class Catalogue {
  public:
    // The Japanese window: every text as it is written.
    static const Catalogue& Japanese();
    // The catalogue compiled in for `language` ("en"); Japanese for "ja";
    // nullptr for a language without one.
    static const Catalogue* ForLanguage(std::string_view language);
    // Every language the program speaks, Japanese first.
    static std::vector<const Catalogue*> All();
    // A catalogue from a compiled message file (.mo); nullopt when the
    // bytes are not one.
    static std::optional<Catalogue> FromMessageFile(std::string language, std::string_view bytes);

    const std::string& Language() const { return language_; }
    // `japanese` in this language; itself where the catalogue has nothing.
    std::string Text(std::string_view japanese) const;
    // `japanese` with its "%s" (or "%1$s", "%2$s"...) filled from `values`
    // in order, in this language.
    std::string Format(std::string_view japanese, const std::vector<std::string>& values) const;
    // A line the engine has put together (a status line, a log message):
    // a text of the catalogue, or one of its texts with a single "%s"
    // filled; itself where none fits.
    std::string Line(std::string_view line) const;

  private:
    explicit Catalogue(std::string language) : language_(std::move(language)) {}

    std::string language_;
    std::map<std::string, std::string, std::less<>> texts_;
};

// The language the window speaks: the first of `preferences` (language
// names as in LANG: "ja_JP.UTF-8", "en", "de-AT") that the program
// speaks; "C" and "POSIX" mean English; English when none.
std::string ChooseLanguage(const std::vector<std::string>& preferences);

// The window's catalogue: the language named by the environment variable
// QUENRIX_LANGUAGE, else the user's (native::UserLanguages).
const Catalogue& WindowCatalogue();

}  // namespace quenrix
