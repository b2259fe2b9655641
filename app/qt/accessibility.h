// What the window's widgets are to the keyboard and to screen readers
// beyond what Qt makes of them.
#pragma once

#include <QAccessible>
#include <QProxyStyle>

class QWidget;

namespace quenrix {

// Marks the focused button with a dotted rectangle and the focused list
// with a frame of the highlight colour: the base style draws a default
// button and a list whose current line is chosen alike with and without
// the focus.
class FocusMarkStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

// The role a screen reader is given for `widget` in place of Qt's own
// (an unnamed frame for a panel, "unknown" for a splitter's handle). Its
// name is its accessible name.
void SetAccessibleRole(QWidget* widget, QAccessible::Role role);

}  // namespace quenrix
