// The window's measures in pixels, the same for both windows: sizes of
// the buttons and panels, and where the resize rules put the buttons.
#pragma once

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

}  // namespace quenrix::layout
