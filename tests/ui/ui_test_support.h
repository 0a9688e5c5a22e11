// Test support for the desktop application: small composed MPEG streams,
// a log that catches message boxes, and a helper that acts on a modal dialog
// once it is up.
#pragma once

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "tests/support/stream_builder.h"
#include "ui/converter_app.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"

namespace ui_test {

// Every program built on this support keeps the settings it writes in a
// temporary directory of its own, so that the user's are never read or
// written; it is set up before main, ahead of any settings object.
inline const bool kPrivateSettings = [] {
  static QTemporaryDir dir;
  for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
    QSettings::setPath(QSettings::NativeFormat, scope, dir.path());
    QSettings::setPath(QSettings::IniFormat, scope, dir.path());
  }
  return true;
}();

struct StreamParams {
  int width = 48;
  int height = 32;
  int aspect_ratio_information = 2;
  int frame_rate_code = 3;
  bool mpeg2 = true;
  int progressive_sequence = 1;
  int pictures = 3;
  bool pulldown = false;  // progressive frames, every other one repeating a field
};

// A video elementary stream of flat intra frame pictures ending in a
// sequence end code.
inline std::vector<uint8_t> Compose_Stream(const StreamParams& p) {
  BitWriter w;
  SequenceParams sequence;
  sequence.horizontal_size = p.width;
  sequence.vertical_size = p.height;
  sequence.aspect_ratio_information = p.aspect_ratio_information;
  sequence.frame_rate_code = p.frame_rate_code;
  Write_Sequence_Header(w, sequence);
  if (p.mpeg2) {
    SequenceExtensionParams extension;
    extension.progressive_sequence = p.progressive_sequence;
    Write_Sequence_Extension(w, extension);
  }
  const int mb_width = (p.width + 15) / 16;
  const bool field_coded = p.mpeg2 && p.progressive_sequence == 0;
  const int mb_height = field_coded ? 2 * ((p.height + 31) / 32) : (p.height + 15) / 16;
  Write_Group_Header(w);
  for (int i = 0; i < p.pictures; ++i) {
    Write_Picture_Header(w, 1);
    if (p.mpeg2) {
      PictureCodingParams coding;
      coding.progressive_frame = p.progressive_sequence || p.pulldown;
      coding.repeat_first_field = p.pulldown && i % 2 == 1;
      Write_Picture_Coding_Extension(w, coding);
    }
    for (int row = 0; row < mb_height; ++row) {
      Write_Flat_Intra_Slice(w, row, mb_width, 1, 40 + 20 * (i % 8));
    }
  }
  Write_Sequence_End(w);
  return w.Bytes();
}

// A sequence header followed at once by the end of the sequence: the stream
// ends before its first picture.
inline std::vector<uint8_t> Compose_Stream_Without_Pictures() {
  BitWriter w;
  Write_Sequence_Header(w, SequenceParams{});
  Write_Sequence_End(w);
  return w.Bytes();
}

// Catches every message box while it exists.
class MessageLog {
 public:
  struct Entry {
    QPointer<QWidget> owner;
    QString caption;
    QString text;
  };

  MessageLog() {
    previous_ =
        Set_Message_Handler([this](QWidget* owner, const QString& caption, const QString& text) {
          entries.push_back({owner, caption, text});
          if (on_message) on_message();
        });
  }
  ~MessageLog() { Set_Message_Handler(std::move(previous_)); }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  QStringList Texts() const {
    QStringList texts;
    for (const Entry& e : entries) texts << e.text;
    return texts;
  }

  std::vector<Entry> entries;
  std::function<void()> on_message;  // runs while the "box" is up

 private:
  MessageHandler previous_;
};

// Calls `act` once with the first modal dialog of type T that comes up,
// from within the dialog's own event loop. Keep it alive until the dialog
// has been handled. A check that fails inside `act` closes the dialog, so
// that the test goes on to report it.
template <class T>
class WhenModal {
 public:
  explicit WhenModal(std::function<void(T*)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
        timer_.stop();
        ++calls_;
        act_(dialog);
        if (QTest::currentTestFailed() && dialog->isVisible()) dialog->reject();
      }
    });
    timer_.start(5);
  }
  int calls() const { return calls_; }

 private:
  std::function<void(T*)> act_;
  QTimer timer_;
  int calls_ = 0;
};

// As the user goes to the directory of `path` (when it has one) in the file
// dialog and types its name into the file name field.
inline void Type_File_Name(QFileDialog* dialog, const QString& path) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit != nullptr);
  const QFileInfo info(path);
  if (info.isAbsolute()) dialog->setDirectory(info.absolutePath());
  edit->setText(info.fileName());
}

// Confirms the file dialog as its own button does.
inline void Accept(QFileDialog* dialog) {
  static_cast<QDialog*>(dialog)->accept();
}

// Clicks `button` and chooses `path` in the file dialog it brings up.
inline void Choose_File(QPushButton* button, const QString& path) {
  WhenModal<QFileDialog> choose([&path](QFileDialog* dialog) {
    Type_File_Name(dialog, path);
    Accept(dialog);
  });
  button->click();
}

// The text a control shows: "&x" marks a mnemonic, "&&" is an ampersand.
inline QString Shown(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// The control with the id `id` among the descendants of `root`.
template <class T>
T* Control(const QWidget& root, const char* id) {
  return root.findChild<T*>(QString::fromLatin1(id));
}

// Files for one test, removed with their directory.
class TempFiles {
 public:
  QString Write(const QString& name, const std::vector<uint8_t>& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    return path;
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

// The application with its main window up, as the user finds it at start.
struct AppWindow {
  ConverterApp app;
  MainDialog dialog{app};

  AppWindow() { dialog.show(); }

  QTabWidget& tabs() { return *Control<QTabWidget>(dialog, "1073"); }
  QPushButton& start() { return *Control<QPushButton>(dialog, "1084"); }
  QPushButton& exit() { return *Control<QPushButton>(dialog, "2"); }
  QListWidget& input_list() { return *Control<QListWidget>(app.input_page, "1005"); }

  void List(const QStringList& paths) {
    for (const QString& path : paths) input_list().addItem(path);
  }
  void Select(int page) { tabs().setCurrentIndex(page); }
  // Lists `paths` and leaves the Input page for the Processing page.
  void Open(const QStringList& paths) {
    List(paths);
    Select(MainDialog::kProcessingPage);
  }
};

}  // namespace ui_test
