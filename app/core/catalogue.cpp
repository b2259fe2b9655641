#include "app/core/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "support/native.h"

namespace quenrix {

// The message files of po/, compiled in by the build (catalogue_data.cpp).
struct CompiledCatalogue {
    const char* language;
    const unsigned char* bytes;
    std::size_t size;
};
extern const CompiledCatalogue kCompiledCatalogues[];
extern const std::size_t kCompiledCatalogueCount;

namespace {

constexpr std::uint32_t kMessageFileMagic = 0x950412de;

// A .mo file: a header of 32-bit words in the writer's byte order, then a
// table of the original texts and one of their translations, each entry a
// length and an offset; each text ends in a zero byte.
class MessageFile {
  public:
    explicit MessageFile(std::string_view bytes) : bytes_(bytes) {
        if (bytes_.size() < 28)
            return;
        if (Word(0) == kMessageFileMagic) {
            valid_ = true;
        } else {
            swapped_ = true;
            valid_ = Word(0) == kMessageFileMagic;
        }
    }
    bool Valid() const { return valid_; }
    std::uint32_t Count() const { return Word(8); }
    std::optional<std::string_view> Original(std::uint32_t i) const { return Entry(Word(12), i); }
    std::optional<std::string_view> Translation(std::uint32_t i) const {
        return Entry(Word(16), i);
    }

  private:
    std::uint32_t Word(std::size_t at) const {
        if (at > bytes_.size() || bytes_.size() - at < 4)
            return 0;
        std::uint32_t word = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<unsigned char>(bytes_[at + (swapped_ ? i : 3 - i)]);
            word = word << 8 | byte;
        }
        return word;
    }
    std::optional<std::string_view> Entry(std::uint32_t table, std::uint32_t i) const {
        const std::size_t at = std::size_t{table} + std::size_t{i} * 8;
        if (at > bytes_.size() || bytes_.size() - at < 8)
            return std::nullopt;
        const std::size_t length = Word(at);
        const std::size_t offset = Word(at + 4);
        if (offset > bytes_.size() || bytes_.size() - offset <= length)
            return std::nullopt;
        return bytes_.substr(offset, length);
    }

    std::string_view bytes_;
    bool swapped_ = false;
    bool valid_ = false;
};

// Where `format` holds a value: "%s" takes the next value, "%N$s" the
// Nth; "%%" is a percent sign. Values past the list are left out.
std::string Filled(std::string_view format, const std::vector<std::string>& values) {
    std::string text;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            text += format[i];
            continue;
        }
        std::size_t end = i + 1;
        std::size_t position = 0;
        while (end < format.size() && std::isdigit(static_cast<unsigned char>(format[end])))
            position = position * 10 + static_cast<std::size_t>(format[end++] - '0');
        if (format[i + 1] == '%') {
            text += '%';
            ++i;
        } else if (end + 1 < format.size() && end > i + 1 && format[end] == '$' &&
                   format[end + 1] == 's') {
            if (position >= 1 && position <= values.size())
                text += values[position - 1];
            i = end + 1;
        } else if (format[i + 1] == 's') {
            if (next < values.size())
                text += values[next];
            ++next;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

// The language part of a name like "ja_JP.UTF-8@x" or "en-GB", in lower
// case.
std::string LanguagePart(std::string_view name) {
    std::string language(name.substr(0, name.find_first_of("_.@-")));
    for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return language;
}

}  // namespace

const Catalogue& Catalogue::Japanese() {
    static const Catalogue japanese("ja");
    return japanese;
}

const Catalogue* Catalogue::ForLanguage(std::string_view language) {
    for (const Catalogue* catalogue : All())
        if (catalogue->Language() == language)
            return catalogue;
    return nullptr;
}

std::vector<const Catalogue*> Catalogue::All() {
    // Read once: the compiled files do not change while the program runs.
    static const std::vector<std::unique_ptr<Catalogue>> compiled = [] {
        std::vector<std::unique_ptr<Catalogue>> read;
        for (std::size_t i = 0; i < kCompiledCatalogueCount; ++i) {
            const CompiledCatalogue& file = kCompiledCatalogues[i];
            auto catalogue = FromMessageFile(
                file.language,
                std::string_view(reinterpret_cast<const char*>(file.bytes), file.size));
            if (catalogue)
                read.push_back(std::make_unique<Catalogue>(std::move(*catalogue)));
        }
        return read;
    }();
    std::vector<const Catalogue*> all{&Japanese()};
    for (const auto& catalogue : compiled) all.push_back(catalogue.get());
    return all;
}

std::optional<Catalogue> Catalogue::FromMessageFile(std::string language, std::string_view bytes) {
    const MessageFile file(bytes);
    if (!file.Valid())
        return std::nullopt;
    Catalogue catalogue(std::move(language));
    for (std::uint32_t i = 0; i < file.Count(); ++i) {
        const auto original = file.Original(i);
        const auto translation = file.Translation(i);
        if (!original || !translation)
            return std::nullopt;
        // The header (the empty text) and untranslated texts say nothing.
        if (!original->empty() && !translation->empty())
            catalogue.texts_.emplace(*original, *translation);
    }
    return catalogue;
}

std::string Catalogue::Text(std::string_view japanese) const {
    const auto found = texts_.find(japanese);
    return std::string(found != texts_.end() ? std::string_view(found->second) : japanese);
}

std::string Catalogue::Format(std::string_view japanese,
                              const std::vector<std::string>& values) const {
    const auto found = texts_.find(japanese);
    return Filled(found != texts_.end() ? std::string_view(found->second) : japanese, values);
}

std::string Catalogue::Line(std::string_view line) const {
    if (const auto found = texts_.find(line); found != texts_.end())
        return found->second;
    // The text with one "%s" whose two sides frame the line, the longest
    // fixed part first.
    const std::string* best = nullptr;
    std::size_t bestFixed = 0;
    std::string value;
    for (const auto& [japanese, translation] : texts_) {
        const std::size_t mark = japanese.find("%s");
        if (mark == std::string::npos || japanese.find('%', mark + 2) != std::string::npos)
            continue;
        const std::string_view before = std::string_view(japanese).substr(0, mark);
        const std::string_view after = std::string_view(japanese).substr(mark + 2);
        if (line.size() < before.size() + after.size() || !line.starts_with(before) ||
            !line.ends_with(after) || before.size() + after.size() <= bestFixed)
            continue;
        best = &translation;
        bestFixed = before.size() + after.size();
        value = line.substr(before.size(), line.size() - before.size() - after.size());
    }
    return best != nullptr ? Filled(*best, {value}) : std::string(line);
}

std::string ChooseLanguage(const std::vector<std::string>& preferences) {
    for (const std::string& preference : preferences) {
        if (preference == "C" || preference.starts_with("C.") || preference == "POSIX")
            return "en";
        const std::string language = LanguagePart(preference);
        if (!language.empty() && Catalogue::ForLanguage(language) != nullptr)
            return language;
    }
    return "en";
}

const Catalogue& WindowCatalogue() {
    std::vector<std::string> preferences;
    if (const char* chosen = std::getenv("QUENRIX_LANGUAGE"); chosen != nullptr && *chosen != '\0')
        preferences.emplace_back(chosen);
    for (std::string language : native::UserLanguages()) preferences.push_back(std::move(language));
    const Catalogue* catalogue = Catalogue::ForLanguage(ChooseLanguage(preferences));
    return catalogue != nullptr ? *catalogue : Catalogue::Japanese();
}

}  // namespace quenrix
