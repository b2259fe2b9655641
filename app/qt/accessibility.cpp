#include "app/qt/accessibility.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyleOption>
#include <QWidget>

namespace quenrix {
namespace {

constexpr const char* kRoleProperty = "quenrixAccessibleRole";

QAccessibleInterface* WithRoleGiven(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void SetAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(&WithRoleGiven);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

void FocusMarkStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    if ((option->state & State_HasFocus) == 0)
        return;
    if (element == CE_PushButton) {
        painter->save();
        painter->setPen(QPen(option->palette.color(QPalette::ButtonText), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(4, 4, -5, -5));
        painter->restore();
    } else if (element == CE_ShapedFrame) {
        painter->save();
        painter->setPen(QPen(option->palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option->rect).adjusted(1, 1, -1, -1));
        painter->restore();
    }
}

}  // namespace quenrix
