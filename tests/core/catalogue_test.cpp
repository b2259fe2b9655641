// The window's languages: which one a user gets, the compiled catalogues
// read safely, and an English window that leaves no Japanese of its own.
#include "app/core/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/file_browser.h"
#include "app/core/wizard_layout.h"
#include "engine/outcome.h"
#include "engine/record_kinds.h"

namespace quenrix::test {
namespace {

bool Ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TEST(CatalogueTest, TheFirstLanguageTheProgramSpeaksWins) {
    EXPECT_EQ(ChooseLanguage({"ja_JP.UTF-8"}), "ja");
    EXPECT_EQ(ChooseLanguage({"fr_FR.UTF-8", "JA-jp", "en_GB"}), "ja");  // French not spoken
    EXPECT_EQ(ChooseLanguage({"en_US@x", "ja_JP"}), "en");
    EXPECT_EQ(ChooseLanguage({"C.UTF-8", "ja_JP.UTF-8"}), "en");  // a C locale is English
    EXPECT_EQ(ChooseLanguage({"", "de"}), "en");
    EXPECT_EQ(ChooseLanguage({}), "en");
    ASSERT_NE(Catalogue::ForLanguage("en"), nullptr);
    EXPECT_EQ(Catalogue::ForLanguage("ja"), &Catalogue::Japanese());
    EXPECT_EQ(Catalogue::ForLanguage("de"), nullptr);
}

// Every text the window's description, the file types and the status
// lines carry has its English, and the English is all ASCII (no Japanese
// left behind in an English window).
TEST(CatalogueTest, EnglishHasEveryTextTheWindowShows) {
    const Catalogue& english = *Catalogue::ForLanguage("en");
    std::vector<std::string> texts = {layout::kStatusCaption, "削除する", "削除しない"};
    for (const layout::Control& control : layout::kControls) {
        texts.insert(texts.end(),
                     {control.caption, control.hint, layout::UncaptionedName(control.role)});
    }
    for (const FileType& type : FileTypes()) texts.emplace_back(type.caption);
    for (const OutcomeEntry& outcome : kOutcomes) {
        texts.emplace_back(outcome.statusLine);
        texts.emplace_back(std::string(outcome.logMessage).substr(3 * (*outcome.logMessage != 0)));
    }
    for (const auto& kind : record_kinds::kSigKinds) texts.emplace_back(kind.failureMessage + 3);
    for (const auto& kind : record_kinds::kRmgKinds) texts.emplace_back(kind.failureMessage + 3);
    texts.emplace_back(std::string(kInputDeletedLine) + "a.SIG)");
    texts.emplace_back(std::string(kInputKeptLine) + "a.SIG)");
    for (const std::string& text : texts) {
        if (text.empty())
            continue;
        const std::string translated = english.Line(text);
        EXPECT_TRUE(Ascii(translated)) << text << " -> " << translated;
    }
    EXPECT_EQ(english.Line(std::string(kInputKeptLine) + "a.SIG)"),
              "Input file could not be deleted (a.SIG)");
    EXPECT_EQ(english.Format("ファイル数=%s/%s", {"3", "40"}), "Files: 3/40");
    EXPECT_EQ(english.Line("not in the catalogue"), "not in the catalogue");
    // Japanese is the program's own words; another language may reorder.
    EXPECT_EQ(Catalogue::Japanese().Format("ファイル数=%s/%s", {"3", "40"}), "ファイル数=3/40");
    EXPECT_EQ(Catalogue::Japanese().Format("%2$s-%1$s 100%%", {"a", "b"}), "b-a 100%");
}

// A message file cut short anywhere, or with its tables pointing out of
// it, is refused or read within its bytes (the sanitizers watch).
TEST(CatalogueTest, DamagedMessageFilesAreReadWithinTheirBytes) {
    EXPECT_FALSE(Catalogue::FromMessageFile("xx", "not a message file at all").has_value());
    std::string header(28, '\0');
    const unsigned char magic[] = {0xde, 0x12, 0x04, 0x95};
    std::copy(magic, magic + 4, header.begin());
    header[8] = 1;     // one text
    header[12] = 100;  // whose table lies past the end
    EXPECT_FALSE(Catalogue::FromMessageFile("xx", header).has_value());
    header[12] = 20;  // a table entry whose text lies past the end
    header[20] = 4;
    header[24] = 0x7f;
    EXPECT_FALSE(Catalogue::FromMessageFile("xx", header).has_value());
}

}  // namespace
}  // namespace quenrix::test
