#include "ui/dialog_units.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {

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
  if (!text.isEmpty()) name += QStringLiteral(" \"%1\"").arg(Shown_Text(text));
  return name;
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
  control.setGeometry(Dialog_Rect_To_Pixels(x, y, width, height));
}

void Fit_Controls(QWidget& container) {
  const std::vector<QWidget*> controls = Child_Controls(container);
  // Kept free between a grown control and its neighbours, and between it
  // and the frame of the group box it sits in.
  constexpr int kGap = 2;
  const int group_margin = Dialog_Rect_To_Pixels(0, 0, 2, 0).width();
  for (QWidget* control : controls) {
    if (qobject_cast<QGroupBox*>(control) != nullptr) continue;
    QRect rect = control->geometry();
    const QSize needed = Needed_Size(*control);
    const int extra_height = needed.height() - rect.height();
    if (extra_height > 0) {
      rect.setTop(rect.top() - extra_height / 2);
      rect.setBottom(rect.bottom() + extra_height - extra_height / 2);
    }
    const int extra = needed.width() - rect.width();
    if (extra > 0) {
      // The room on either side along the control's row.
      int left_limit = 0;
      int right_limit = container.width() - 1;
      for (const QWidget* other : controls) {
        if (other == control) continue;
        const QRect o = other->geometry();
        if (o.bottom() < rect.top() || o.top() > rect.bottom()) continue;
        if (qobject_cast<const QGroupBox*>(other) != nullptr) {
          if (o.left() <= rect.left() && o.right() >= rect.right()) {
            left_limit = std::max(left_limit, o.left() + group_margin);
            right_limit = std::min(right_limit, o.right() - group_margin);
          }
        } else if (o.right() < rect.left()) {
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
      if (qobject_cast<const QGroupBox*>(&a) || qobject_cast<const QGroupBox*>(&b)) continue;
      if (a.geometry().intersects(b.geometry())) {
        faults << QStringLiteral("%1 overlaps %2").arg(Control_Name(a), Control_Name(b));
      }
    }
  }
  return faults;
}
