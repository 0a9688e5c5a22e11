#include "ui/dialog_units.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {

// Where Place_Control leaves a control's rectangle in dialog units for the
// fit step.
constexpr char kDialogRectProperty[] = "vidorlan_dialog_rect";

// The height of the title line of a group box in the classic look, which
// draws the title into the top line of the frame: one line of the font.
constexpr int kTitleUnits = 8;

// Kept free between a grown control and its neighbours.
constexpr int kGap = 2;

// x * numerator / denominator rounded to the nearest integer, halves away
// from zero.
int Scale_Rounded(int x, int numerator, int denominator) {
  const long long product = static_cast<long long>(x) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

// The text as shown: "&x" marks a mnemonic, "&&" is a literal ampersand.
QString Shown_Text(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

enum class Anchor { kLeft, kRight, kCentre };

// The height of one line of a list: its first entry's, or for an empty list
// what the style gives an entry of one line of text.
int Line_Height(const QListView& list) {
  if (list.model() != nullptr && list.model()->rowCount() > 0) return list.sizeHintForRow(0);
  QStyleOptionViewItem option;
  option.initFrom(&list);
  option.features = QStyleOptionViewItem::HasDisplay;
  option.text = QStringLiteral("Xg");
  option.font = list.font();
  option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  return list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &list).height();
}

// The size a control needs to show its text (or picture) uncut in its
// current font; a zero dimension means that control has no such need.
QSize Needed_Size(const QWidget& control) {
  const QFontMetrics fm(control.font());
  const QStyle* style = control.style();
  const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &control);
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    const int edge = 2 * (label->frameWidth() + label->margin());
    const QPixmap pixmap = label->pixmap();
    if (!pixmap.isNull()) {
      const QSize size = pixmap.deviceIndependentSize().toSize();
      return {size.width() + edge, size.height() + edge};
    }
    if (label->wordWrap()) return {0, label->heightForWidth(label->width())};
    const QString text = label->buddy() != nullptr ? Shown_Text(label->text()) : label->text();
    if (text.isEmpty()) return {0, 0};
    int indent = label->indent();
    if (indent < 0) indent = label->frameWidth() > 0 ? fm.horizontalAdvance(u'x') / 2 : 0;
    return {fm.horizontalAdvance(text) + edge + indent, fm.height() + edge};
  }
  if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &control);
    return {fm.horizontalAdvance(Shown_Text(button->text())) + 2 * margin + 2 * frame,
            fm.height() + 2 * frame};
  }
  // A check box or radio button: indicator, spacing and text, and one pixel
  // for the focus frame that hugs the text.
  if (const auto* box = qobject_cast<const QCheckBox*>(&control)) {
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &control);
    const int spacing = style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &control);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &control);
    return {indicator + spacing + fm.horizontalAdvance(Shown_Text(box->text())) + 1,
            std::max(height, fm.height())};
  }
  if (const auto* radio = qobject_cast<const QRadioButton*>(&control)) {
    const int indicator = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &control);
    const int spacing = style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &control);
    const int height = style->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, &control);
    return {indicator + spacing + fm.horizontalAdvance(Shown_Text(radio->text())) + 1,
            std::max(height, fm.height())};
  }
  if (qobject_cast<const QComboBox*>(&control) != nullptr) {
    const int combo_frame = style->pixelMetric(QStyle::PM_ComboBoxFrameWidth, nullptr, &control);
    return {control.sizeHint().width(), fm.height() + 2 * combo_frame};
  }
  if (qobject_cast<const QLineEdit*>(&control) != nullptr) return {0, fm.height() + 2 * frame};
  // A list shows whole lines only: a line cut off at the bottom would be
  // text cut off.
  if (const auto* list = qobject_cast<const QListView*>(&control)) {
    const int edge = 2 * list->frameWidth();
    const int line = Line_Height(*list);
    const int lines = std::max(1, (list->height() - edge + line - 1) / line);
    return {0, lines * line + edge};
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(&control)) {
    return {fm.horizontalAdvance(Shown_Text(group->title())) + 2 * fm.height(), fm.height()};
  }
  if (const auto* tabs = qobject_cast<const QTabWidget*>(&control)) {
    return {tabs->tabBar()->sizeHint().width(), 0};
  }
  return {0, 0};
}

Anchor Text_Anchor(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    const Qt::Alignment horizontal = label->alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight) return Anchor::kRight;
    if (horizontal & Qt::AlignHCenter) return Anchor::kCentre;
    return Anchor::kLeft;
  }
  if (qobject_cast<const QPushButton*>(&control) != nullptr) return Anchor::kCentre;
  return Anchor::kLeft;
}

// The controls directly inside `container`: child widgets that are not
// windows of their own and show whenever the container does.
std::vector<QWidget*> Child_Controls(const QWidget& container) {
  std::vector<QWidget*> controls;
  for (QObject* child : container.children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow() && widget->isVisibleTo(&container)) {
      controls.push_back(widget);
    }
  }
  return controls;
}

QString Control_Name(const QWidget& control) {
  QString name = control.objectName();
  if (name.isEmpty()) name = QString::fromLatin1(control.metaObject()->className());
  QString text;
  if (const auto* label = qobject_cast<const QLabel*>(&control)) text = label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) text = button->text();
  if (const auto* group = qobject_cast<const QGroupBox*>(&control)) text = group->title();
  if (!text.isEmpty()) name += QStringLiteral(" \"%1\"").arg(Shown_Text(text));
  return name;
}

// The contents rectangle of a group box as its style draws it (the style's
// SC_GroupBoxContents), in the coordinates of the group box's parent.
QRect Group_Contents(const QGroupBox& group) {
  return group.contentsRect().translated(group.pos());
}

// The group box among `controls` that holds `control` (its centre lies
// inside), if any.
const QGroupBox* Holding_Group(const QWidget& control, const std::vector<QWidget*>& controls) {
  for (const QWidget* other : controls) {
    const auto* group = qobject_cast<const QGroupBox*>(other);
    if (group != nullptr && other != &control &&
        group->geometry().contains(control.geometry().center())) {
      return group;
    }
  }
  return nullptr;
}

// Maps `unit`, at a given fraction of the span [from, to) in dialog units,
// to the same fraction of [pixel_from, pixel_to).
int Map_Edge(int unit, int from, int to, int pixel_from, int pixel_to) {
  return pixel_from + Scale_Rounded(unit - from, pixel_to - pixel_from, to - from);
}

// The classic look draws a group box's title into the top line of its
// frame, so that below the title line the whole rectangle is inside; styles
// draw the title above the frame and keep margins within it. A control whose
// rectangle lies in a group box's rectangle (dialog units) is therefore
// mapped edge by edge from the classic inside onto the style's contents
// rectangle: an edge at some fraction of the one lands at that fraction of
// the other, so the order of edges, and controls that touch, are kept.
void Place_Group_Members(const std::vector<QWidget*>& controls) {
  for (const QWidget* widget : controls) {
    const auto* group = qobject_cast<const QGroupBox*>(widget);
    const QVariant group_units = widget->property(kDialogRectProperty);
    if (group == nullptr || !group_units.isValid()) continue;
    const QRect g = group_units.toRect();
    const int inside_top = g.y() + kTitleUnits;
    const int inside_bottom = g.y() + g.height();
    const int inside_right = g.x() + g.width();
    const QRect contents = Group_Contents(*group);
    for (QWidget* member : controls) {
      const QVariant member_units = member->property(kDialogRectProperty);
      if (qobject_cast<QGroupBox*>(member) != nullptr || !member_units.isValid()) continue;
      const QRect m = member_units.toRect();
      if (!g.contains(m)) continue;
      const int left =
          Map_Edge(m.x(), g.x(), inside_right, contents.x(), contents.x() + contents.width());
      const int right = Map_Edge(m.x() + m.width(), g.x(), inside_right, contents.x(),
                                 contents.x() + contents.width());
      const int top = Map_Edge(m.y(), inside_top, inside_bottom, contents.y(),
                               contents.y() + contents.height());
      const int bottom = Map_Edge(m.y() + m.height(), inside_top, inside_bottom, contents.y(),
                                  contents.y() + contents.height());
      member->setGeometry(left, top, right - left, bottom - top);
    }
  }
}

// Push buttons stacked one above the other with overlapping extents stand
// in one column.
bool In_One_Column(const QWidget& a, const QWidget& b) {
  const QRect ra = a.geometry();
  const QRect rb = b.geometry();
  const bool side_by_side = ra.top() <= rb.bottom() && rb.top() <= ra.bottom();
  const bool overlapping = ra.left() <= rb.right() && rb.left() <= ra.right();
  return overlapping && !side_by_side;
}

std::vector<QPushButton*> Push_Buttons(const std::vector<QWidget*>& controls) {
  std::vector<QPushButton*> buttons;
  for (QWidget* control : controls) {
    if (auto* button = qobject_cast<QPushButton*>(control)) buttons.push_back(button);
  }
  return buttons;
}

// Gives every push button of a column the extent of the whole column, so
// that a column grown for its longest text stays straight.
void Share_Column_Widths(const std::vector<QWidget*>& controls) {
  const std::vector<QPushButton*> buttons = Push_Buttons(controls);
  std::vector<QRect> fitted;
  for (const QPushButton* button : buttons) {
    QRect rect = button->geometry();
    for (const QPushButton* other : buttons) {
      if (other == button || !In_One_Column(*button, *other)) continue;
      rect.setLeft(std::min(rect.left(), other->geometry().left()));
      rect.setRight(std::max(rect.right(), other->geometry().right()));
    }
    fitted.push_back(rect);
  }
  for (size_t i = 0; i < buttons.size(); ++i) {
    buttons[i]->setGeometry(fitted[i]);
  }
}

}  // namespace

DialogBaseUnits Dialog_Base_Units(const QFont& font) {
  const QFontMetrics fm(font);
  const int letters =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, fm.height()};
}

QRect Dialog_Rect_To_Pixels(int x, int y, int width, int height) {
  const DialogBaseUnits units = Dialog_Base_Units(QApplication::font());
  const int left = Scale_Rounded(x, units.x, 4);
  const int top = Scale_Rounded(y, units.y, 8);
  const int right = Scale_Rounded(x + width, units.x, 4);
  const int bottom = Scale_Rounded(y + height, units.y, 8);
  return {left, top, right - left, bottom - top};
}

void Place_Control(QWidget& control, int x, int y, int width, int height) {
  control.setProperty(kDialogRectProperty, QRect(x, y, width, height));
  control.setGeometry(Dialog_Rect_To_Pixels(x, y, width, height));
}

void Fit_Controls(QWidget& container) {
  const std::vector<QWidget*> controls = Child_Controls(container);
  Place_Group_Members(controls);
  for (QWidget* control : controls) {
    if (qobject_cast<QGroupBox*>(control) != nullptr) continue;
    const QGroupBox* group = Holding_Group(*control, controls);
    const QRect region = group != nullptr ? Group_Contents(*group) : container.rect();
    QRect rect = control->geometry();
    const QSize needed = Needed_Size(*control);
    const int extra_height = needed.height() - rect.height();
    if (extra_height > 0) {
      rect.adjust(0, -(extra_height / 2), 0, extra_height - extra_height / 2);
      // Moved back inside its region where it would reach out of it.
      if (rect.bottom() > region.bottom()) rect.moveBottom(region.bottom());
      if (rect.top() < region.top()) rect.moveTop(region.top());
    }
    const int extra = needed.width() - rect.width();
    if (extra > 0) {
      // The room on either side along the control's row.
      int left_limit = region.left();
      int right_limit = region.right();
      for (const QWidget* other : controls) {
        if (other == control || other == group) continue;
        const QRect o = other->geometry();
        if (o.bottom() < rect.top() || o.top() > rect.bottom()) continue;
        if (o.right() < rect.left()) {
          left_limit = std::max(left_limit, o.right() + 1 + kGap);
        } else if (o.left() > rect.right()) {
          right_limit = std::min(right_limit, o.left() - 1 - kGap);
        }
      }
      const int free_left = std::max(0, rect.left() - left_limit);
      const int free_right = std::max(0, right_limit - rect.right());
      int grow_left = 0;
      int grow_right = 0;
      switch (Text_Anchor(*control)) {
        case Anchor::kLeft:
          grow_right = std::min(extra, free_right);
          grow_left = std::min(extra - grow_right, free_left);
          grow_right = extra - grow_left;
          break;
        case Anchor::kRight:
          grow_left = std::min(extra, free_left);
          grow_right = std::min(extra - grow_left, free_right);
          grow_left = extra - grow_right;
          break;
        case Anchor::kCentre:
          grow_left = std::min(extra / 2, free_left);
          grow_right = std::min(extra - grow_left, free_right);
          grow_left = extra - grow_right;
          break;
      }
      rect.adjust(-grow_left, 0, grow_right, 0);
    }
    control->setGeometry(rect);
  }
  Share_Column_Widths(controls);
}

QStringList Layout_Faults(const QWidget& container) {
  const std::vector<QWidget*> controls = Child_Controls(container);
  QStringList faults;
  const QRect bounds = container.rect();
  for (const QWidget* control : controls) {
    const QRect geometry = control->geometry();
    if (!bounds.contains(geometry)) {
      faults << QStringLiteral("%1 at (%2,%3 %4x%5) reaches outside its %6x%7 container")
                    .arg(Control_Name(*control))
                    .arg(geometry.x())
                    .arg(geometry.y())
                    .arg(geometry.width())
                    .arg(geometry.height())
                    .arg(bounds.width())
                    .arg(bounds.height());
    }
    const QSize needed = Needed_Size(*control);
    if (needed.width() > geometry.width() || needed.height() > geometry.height()) {
      faults << QStringLiteral("%1 is cut off: needs %2x%3, has %4x%5")
                    .arg(Control_Name(*control))
                    .arg(needed.width())
                    .arg(needed.height())
                    .arg(geometry.width())
                    .arg(geometry.height());
    }
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      const QWidget& a = *controls[i];
      const QWidget& b = *controls[j];
      if (!a.geometry().intersects(b.geometry())) continue;
      const QWidget* other = &b;
      const auto* group = qobject_cast<const QGroupBox*>(&a);
      if (group == nullptr) {
        other = &a;
        group = qobject_cast<const QGroupBox*>(&b);
      }
      // A group box holds the controls that lie within its contents; any
      // other control that meets it crosses its frame or its title.
      if (group != nullptr && qobject_cast<const QGroupBox*>(other) == nullptr) {
        if (!Group_Contents(*group).contains(other->geometry())) {
          faults << QStringLiteral("%1 crosses the frame or title of %2")
                        .arg(Control_Name(*other), Control_Name(*group));
        }
      } else {
        faults << QStringLiteral("%1 overlaps %2").arg(Control_Name(a), Control_Name(b));
      }
    }
  }
  const std::vector<QPushButton*> buttons = Push_Buttons(controls);
  for (size_t i = 0; i < buttons.size(); ++i) {
    for (size_t j = i + 1; j < buttons.size(); ++j) {
      const QRect a = buttons[i]->geometry();
      const QRect b = buttons[j]->geometry();
      if (In_One_Column(*buttons[i], *buttons[j]) &&
          (a.left() != b.left() || a.width() != b.width())) {
        faults << QStringLiteral("%1 and %2 stand in one column with different widths")
                      .arg(Control_Name(*buttons[i]), Control_Name(*buttons[j]));
      }
    }
  }
  return faults;
}
