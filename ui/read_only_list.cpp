#include "ui/read_only_list.h"

#include <QPainter>

ReadOnlyList::ReadOnlyList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::NoSelection);
  setItemDelegate(&plain_lines_);
}

void ReadOnlyList::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (!hasFocus()) return;
  // An outline in the highlight colour, as focused edits have, rather than
  // the style's focus frame: that one fills what it frames and would make
  // the whole list look selected.
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Highlight));
  painter.drawRect(viewport()->rect().adjusted(0, 0, -1, -1));
}

void ReadOnlyList::PlainLines::initStyleOption(QStyleOptionViewItem* option,
                                               const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->state &= ~(QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_MouseOver);
}
