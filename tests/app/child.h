// A control of a window found by its object name, as the window
// description names it; a test fails at once when there is none.
#pragma once

#include <QWidget>

#include <gtest/gtest.h>

namespace quenrix::test {

template <typename Widget>
Widget* Child(const QWidget& window, const char* name) {
    Widget* widget = window.findChild<Widget*>(name);
    if (widget == nullptr)
        ADD_FAILURE() << "no " << name << " in the window";
    return widget;
}

}  // namespace quenrix::test
