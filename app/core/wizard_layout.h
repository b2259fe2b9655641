// The window described once for both windows: every control of the three
// pages with its role, caption, hint and place. Places are in 96-DPI
// units (pixels at 100 % scaling); a window at another scaling multiplies
// them by its DPI / 96.
#pragma once

#include <algorithm>
#include <array>
#include <string>

#include "app/core/catalogue.h"
#include "app/core/wizard_view.h"

namespace quenrix::layout {

inline constexpr int kWidth = 631;
inline constexpr int kHeight = 400;  // the status bar included
inline constexpr int kButtonWidth = 99;
inline constexpr int kButtonHeight = 30;
inline constexpr int kButtonTop = 16;  // within its bottom panel
inline constexpr int kBottomPanelHeight = 54;
inline constexpr int kFolderPanelHeight = 64;
inline constexpr int kSelectionColumnWidth = 109;
inline constexpr int kProgressPanelHeight = 65;
inline constexpr int kSplitterWidth = 12;
inline constexpr int kFolderListWidth = 280;  // at the start
inline constexpr int kSmallestList = 40;
// The smallest window the user can drag it to.
inline constexpr int kMinimumWidth = 240;
inline constexpr int kMinimumHeight = 200;
// The status bar's two parts: the deletion option's caption and its state.
inline constexpr int kStatusCaptionWidth = 200;
inline constexpr int kStatusStateWidth = 180;

// A bottom panel's left button stands this far left of its right edge, or
// at the left edge when the panel is narrower.
inline constexpr int kOptionsButtonsFromRight = 235;
inline constexpr int kPageButtonsFromRight = 363;
inline constexpr int kSecondButton = 120;  // the options page's second button, from the first
inline constexpr int kMiddleButton = 128;  // the other pages' middle button, from the first
inline constexpr int kLastButton = 248;    // and their last

inline constexpr int LeftOf(int width, int fromRight) {
    return width >= fromRight ? width - fromRight : 0;
}

// The controls, by the names the windows give them.
enum class Role {
    OptionsGroup,
    DeleteInputsCheck,
    NextButton,
    OptionsCloseButton,
    SelectFilesLabel,
    DriveLabel,
    DriveSelector,
    FileTypeLabel,
    FileTypeSelector,
    FolderList,
    ListSplitter,
    FileList,
    SelectAllButton,
    SelectNoneButton,
    ConvertButton,
    FilesBackButton,
    FilesCloseButton,
    ProgressMessage,
    ProgressBar,
    FileCounter,
    StatusList,
    CancelButton,
    ProgressBackButton,
    ProgressCloseButton,
};

// How a control follows the window's size. `at` is its place in a window
// of kWidth x kHeight; `page` below is the page's height above its bottom
// panel.
enum class Rule {
    Fixed,            // stays at `at`
    Clipped,          // stays at `at`, no wider than the window
    Widening,         // grows with the window's width
    FillsPage,        // from `at`'s top left to the page's right and bottom
    OptionsButtons,   // in the options page's bottom panel, kept right
    PageButtons,      // in the other pages' bottom panel, kept right
    SelectionColumn,  // in the column right of the lists
    FolderSide,       // the folder list, the splitter and the file list,
    SplitterSide,     //   placed around the split the user dragged
    FileSide,
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct Control {
    Role role;
    const char* name;  // the object name the Qt window gives it
    WizardPage page;
    const char* caption;  // "&" before a letter marks its accelerator
    const char* hint;     // the tooltip; "" for none
    Rect at;
    Rule rule;
};

// Every control of the three pages, each page's in tab order: each page's
// default button (next, convert, cancel) first among its buttons, as the
// receivers' software had it; a selector's label right before it.
inline constexpr std::array<Control, 24> kControls = {{
    {Role::OptionsGroup,
     "optionsGroup",
     WizardPage::Options,
     "",
     "",
     {0, 0, 0, 0},
     Rule::FillsPage},
    {Role::DeleteInputsCheck,
     "deleteInputsCheck",
     WizardPage::Options,
     "変換成功後、入力&SIG、RMGファイルを削除",
     "",
     {24, 96, 305, 17},
     Rule::Fixed},
    {Role::NextButton,
     "nextButton",
     WizardPage::Options,
     "次へ(&N)",
     "Sig、Rmgファイル選択へ",
     {kSecondButton, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::OptionsButtons},
    {Role::OptionsCloseButton,
     "optionsCloseButton",
     WizardPage::Options,
     "終了(&X)",
     "終了",
     {0, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::OptionsButtons},
    {Role::SelectFilesLabel,
     "selectFilesLabel",
     WizardPage::FileSelection,
     "SIG、RMGファイルを選択して下さい",
     "",
     {8, 16, 400, 16},
     Rule::Fixed},
    // Each selector has a label before it: screen readers take a combo
    // box's name from it (its own name is its current text), and Alt and
    // the label's letter reach the selector.
    {Role::DriveLabel,
     "driveLabel",
     WizardPage::FileSelection,
     "ドライブ(&D)",
     "",
     {8, 41, 86, 16},
     Rule::Fixed},
    {Role::DriveSelector,
     "driveSelector",
     WizardPage::FileSelection,
     "",
     "",
     {96, 38, 150, 22},
     Rule::Fixed},
    {Role::FileTypeLabel,
     "fileTypeLabel",
     WizardPage::FileSelection,
     "ファイルの種類(&T)",
     "",
     {256, 41, 132, 16},
     Rule::Fixed},
    {Role::FileTypeSelector,
     "fileTypeSelector",
     WizardPage::FileSelection,
     "",
     "",
     {390, 38, 229, 22},
     Rule::Fixed},
    {Role::FolderList,
     "folderList",
     WizardPage::FileSelection,
     "",
     "",
     {0, kFolderPanelHeight, kFolderListWidth, 0},
     Rule::FolderSide},
    {Role::ListSplitter,
     "listSplitter",
     WizardPage::FileSelection,
     "",
     "",
     {0, kFolderPanelHeight, kSplitterWidth, 0},
     Rule::SplitterSide},
    {Role::FileList,
     "fileList",
     WizardPage::FileSelection,
     "",
     "",
     {0, kFolderPanelHeight, 0, 0},
     Rule::FileSide},
    {Role::SelectAllButton,
     "selectAllButton",
     WizardPage::FileSelection,
     "全選択(&A)",
     "",
     {8, kFolderPanelHeight, kButtonWidth, kButtonHeight},
     Rule::SelectionColumn},
    {Role::SelectNoneButton,
     "selectNoneButton",
     WizardPage::FileSelection,
     "選択解除(&R)",
     "",
     {8, kFolderPanelHeight + 56, kButtonWidth, kButtonHeight},
     Rule::SelectionColumn},
    {Role::ConvertButton,
     "convertButton",
     WizardPage::FileSelection,
     "変換(&C)",
     "ロールオーバー補正ファイルに変換",
     {kLastButton, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
    {Role::FilesBackButton,
     "filesBackButton",
     WizardPage::FileSelection,
     "戻る(&B)",
     "オプション設定へ戻る",
     {0, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
    {Role::FilesCloseButton,
     "filesCloseButton",
     WizardPage::FileSelection,
     "終了(&X)",
     "終了",
     {kMiddleButton, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
    {Role::ProgressMessage,
     "progressMessage",
     WizardPage::Progress,
     "変換中．．．",
     "",
     {8, 8, 600, 16},
     Rule::Clipped},
    {Role::ProgressBar,
     "progressBar",
     WizardPage::Progress,
     "",
     "",
     {8, 24, kWidth - 18, 16},
     Rule::Widening},
    {Role::FileCounter, "fileCounter", WizardPage::Progress, "", "", {8, 42, 300, 16}, Rule::Fixed},
    {Role::StatusList,
     "statusList",
     WizardPage::Progress,
     "",
     "",
     {0, kProgressPanelHeight, 0, 0},
     Rule::FillsPage},
    {Role::CancelButton,
     "cancelButton",
     WizardPage::Progress,
     "変換中止(&C)",
     "Sig、Rmgファイル変換中止",
     {kLastButton, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
    {Role::ProgressBackButton,
     "progressBackButton",
     WizardPage::Progress,
     "戻る(&B)",
     "Sig、Rmgファイル選択に戻る",
     {0, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
    {Role::ProgressCloseButton,
     "progressCloseButton",
     WizardPage::Progress,
     "終了(&X)",
     "終了",
     {kMiddleButton, kButtonTop, kButtonWidth, kButtonHeight},
     Rule::PageButtons},
}};

// What a screen reader calls a control: its caption without the
// accelerator ("次へ(&N)" is "次へ", "&Next" "Next"), or, for a control
// that shows no caption of its own, the name given here; both in the
// window's language.
constexpr const char* UncaptionedName(Role role) {
    switch (role) {
        case Role::OptionsGroup:
            return "オプション";
        case Role::DriveSelector:
            return "ドライブ";
        case Role::FileTypeSelector:
            return "ファイルの種類";
        case Role::FolderList:
            return "フォルダ";
        case Role::ListSplitter:
            return "フォルダとファイルの境界";
        case Role::FileList:
            return "ファイル";
        case Role::ProgressBar:
            return "変換の進み具合";
        case Role::FileCounter:
            return "ファイル数";
        case Role::StatusList:
            return "変換結果";
        default:
            return "";
    }
}

inline std::string SpokenName(const Control& control, const Catalogue& words) {
    std::string name =
        words.Text(*control.caption != '\0' ? control.caption : UncaptionedName(control.role));
    const std::size_t mark = name.find("(&");
    if (mark != std::string::npos && name.size() >= mark + 4 && name[mark + 3] == ')')
        name.erase(mark, 4);
    std::erase(name, '&');
    return name;
}

// The status bar's caption part.
inline constexpr const char* kStatusCaption = "入力SIG、RMG削除の有無";

constexpr const Control& ControlOf(Role role) {
    return kControls[static_cast<std::size_t>(role)];
}

// The table lists the controls in the order of Role.
constexpr bool InRoleOrder() {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (static_cast<std::size_t>(kControls[i].role) != i)
            return false;
    }
    return true;
}
static_assert(InRoleOrder());

// The split between the folder and the file list that a window of
// `width` allows: each list at least kSmallestList wide.
constexpr int ClampSplit(int split, int width) {
    const int lists = std::max(width - kSelectionColumnWidth, 0);
    return std::clamp(split, kSmallestList,
                      std::max(kSmallestList, lists - kSplitterWidth - kSmallestList));
}

// Where a control goes in a client area of `width` x `height` (the status
// bar left out), all in 96-DPI units; `split` is the folder list's width.
constexpr Rect Place(const Control& control, int width, int height, int split) {
    const Rect at = control.at;
    const int page = height - kBottomPanelHeight;
    const int lists = std::max(width - kSelectionColumnWidth, 0);
    const int listsHeight = page - kFolderPanelHeight;
    switch (control.rule) {
        case Rule::Fixed:
            return at;
        case Rule::Clipped:
            return {at.x, at.y, std::min(at.width, width - at.x), at.height};
        case Rule::Widening:
            return {at.x, at.y, at.width + width - kWidth, at.height};
        case Rule::FillsPage:
            return {at.x, at.y, width - at.x, page - at.y};
        case Rule::OptionsButtons:
            return {LeftOf(width, kOptionsButtonsFromRight) + at.x, page + at.y, at.width,
                    at.height};
        case Rule::PageButtons:
            return {LeftOf(width, kPageButtonsFromRight) + at.x, page + at.y, at.width, at.height};
        case Rule::SelectionColumn:
            return {lists + at.x, at.y, at.width, at.height};
        case Rule::FolderSide:
            return {0, at.y, split, listsHeight};
        case Rule::SplitterSide:
            return {split, at.y, kSplitterWidth, listsHeight};
        case Rule::FileSide:
            return {split + kSplitterWidth, at.y, lists - split - kSplitterWidth, listsHeight};
    }
    return at;
}

}  // namespace quenrix::layout
