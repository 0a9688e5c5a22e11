#include "ui/about_page.h"

#include "ui/dialog_units.h"
#include "ui/ui_resources.h"

AboutPage::AboutPage() {
  logo_.setObjectName(QStringLiteral("logo"));
  logo_.setPixmap(Logo_Pixmap());  // shown at its own size
  logo_.setAlignment(Qt::AlignCenter);
  logo_.setFrameStyle(QFrame::Box | QFrame::Plain);
  name_.setObjectName(QStringLiteral("name"));
  name_.setText(QStringLiteral("Vidorlan MPEG " VIDORLAN_VERSION));
  name_.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  name_.setWordWrap(false);
  disclaimer_.setObjectName(QStringLiteral("disclaimer"));
  disclaimer_.setText(
      QStringLiteral("This program is free of charge. You use it at your own risk: no "
                     "responsibility is taken for any damage it may cause."));
  disclaimer_.setAlignment(Qt::AlignCenter);
  disclaimer_.setWordWrap(true);
  disclaimer_.setFrameStyle(QFrame::Panel | QFrame::Sunken);

  Place_Control(logo_, 7, 7, 206, 113);
  Place_Control(name_, 75, 125, 69, 8);
  Place_Control(disclaimer_, 7, 139, 206, 34);
  resize(Dialog_Rect_To_Pixels(0, 0, 220, 188).size());  // until the tab control sizes it
  Fit_Controls(*this);
}
