#include "widgets/accessible_widgets.h"

#include <QAccessibleWidget>

#include "widgets/row_view.h"
#include "widgets/row_view_button.h"

namespace tuckshelf {
namespace {

class AccessibleRow : public QAccessibleWidget {
 public:
  explicit AccessibleRow(RowView* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    const bool current = static_cast<const RowView*>(widget())->isKeyHighlighted();
    state.selectable = state.focusable = true;
    state.selected = state.focused = current;
    return state;
  }
};

QAccessibleInterface* accessibleFor(const QString&, QObject* object) {
  if (auto* row = qobject_cast<RowView*>(object)) return new AccessibleRow(row);
  if (auto* button = qobject_cast<RowViewButton*>(object)) return new QAccessibleWidget(button, QAccessible::Button);
  auto* widget = qobject_cast<QWidget*>(object);
  if (widget && widget->objectName() == QLatin1String("history")) return new QAccessibleWidget(widget, QAccessible::List);
  return nullptr;
}

}  // namespace

void installAccessibleWidgets() {
  static const bool installed = (QAccessible::installFactory(accessibleFor), true);
  (void)installed;
}

}  // namespace tuckshelf
