// A list box that only shows lines of text, such as the properties of a
// stream: no entry is ever highlighted (neither selected nor as the current
// entry), and the focus shows around the list as a whole.
#pragma once

#include <QListWidget>
#include <QStyledItemDelegate>

class ReadOnlyList : public QListWidget {
  Q_OBJECT

 public:
  explicit ReadOnlyList(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Draws each entry as a plain line.
  class PlainLines : public QStyledItemDelegate {
   public:
    using QStyledItemDelegate::QStyledItemDelegate;

   protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
  };

  PlainLines plain_lines_{this};
};
