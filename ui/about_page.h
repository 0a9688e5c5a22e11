// The About page: the logo, the program's name and version, and the terms
// of use. It has no behaviour of its own.
#pragma once

#include <QLabel>
#include <QWidget>

class AboutPage : public QWidget {
  Q_OBJECT

 public:
  AboutPage();

 private:
  QLabel logo_{this};
  QLabel name_{this};
  QLabel disclaimer_{this};
};
