// The four pages: the input list and its file dialog, the probe's messages,
// the Processing page filled from the stream, the Output page reset by every
// probe and its file dialog, and the About page.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

#include "convert/messages.h"
#include "tests/ui/ui_test_support.h"

using namespace ui_test;

namespace {

QStringList Items(const QListWidget& list) {
  QStringList items;
  for (int i = 0; i < list.count(); ++i) items << list.item(i)->text();
  return items;
}

QStringList Items(const QComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
  return items;
}

// Drags `urls` from a file manager over `target` in `window`, with Shift
// held (which asks for a move), and drops them there, through the window as
// the platform delivers a drag; returns the actions shown while moving and
// taken at the drop (IgnoreAction: refused).
Qt::DropActions Drop(QWidget& window, const QWidget& target, const QList<QUrl>& urls,
                     Qt::DropActions offered) {
  QMimeData data;
  data.setUrls(urls);
  const QPoint at = target.mapTo(&window, target.rect().center());
  QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.windowHandle(), &enter);
  if (!enter.isAccepted()) {
    QDragLeaveEvent leave;
    QApplication::sendEvent(window.windowHandle(), &leave);
    return Qt::IgnoreAction;
  }
  QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(window.windowHandle(), &move);
  QDropEvent drop(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(window.windowHandle(), &drop);
  return drop.isAccepted() ? move.dropAction() | drop.dropAction() : Qt::IgnoreAction;
}

// The folder a file dialog opens in, when `button` brings it up.
QString Folder_Shown_By(QPushButton* button) {
  QString folder;
  WhenModal<QFileDialog> look([&folder](QFileDialog* dialog) {
    folder = dialog->directory().absolutePath();
    dialog->reject();
  });
  button->click();
  return folder;
}

}  // namespace

class PagesTest : public QObject {
  Q_OBJECT

 private:
  TempFiles files_;
  QString good_;

 private slots:
  void initTestCase() { good_ = files_.Write(QStringLiteral("good.m2v"), Compose_Stream({})); }

  // --- Input page ---

  void addAppendsTheChosenFileAndReopensAtTheLastChoice() {
    AppWindow w;
    const QString second = files_.Write(QStringLiteral("second.mpg"), Compose_Stream({}));
    QFileDialog* first_dialog = nullptr;
    {
      WhenModal<QFileDialog> choose([&](QFileDialog* dialog) {
        first_dialog = dialog;
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(
            dialog->nameFilters(),
            QStringList({"MPEG Video Files (*.vob *.mpg *.m1v *.m2v *.mpeg)", "All Files (*)"}));
        Type_File_Name(dialog, good_);
        Accept(dialog);
      });
      Control<QPushButton>(w.app.input_page, "1006")->click();
      QCOMPARE(choose.calls(), 1);
    }
    {
      WhenModal<QFileDialog> choose([&](QFileDialog* dialog) {
        QCOMPARE(dialog, first_dialog);  // the same dialog, where it was left
        QCOMPARE(QFileInfo(dialog->directory().path()), QFileInfo(QFileInfo(good_).absolutePath()));
        Type_File_Name(dialog, second);
        Accept(dialog);
      });
      Control<QPushButton>(w.app.input_page, "1006")->click();
    }
    {
      WhenModal<QFileDialog> cancel([](QFileDialog* dialog) { dialog->reject(); });
      Control<QPushButton>(w.app.input_page, "1006")->click();
      QCOMPARE(cancel.calls(), 1);
    }
    QCOMPARE(Items(w.input_list()), QStringList({good_, second}));
  }

  void removeTakesTheSelectedEntryAndRemoveAllEmptiesTheList() {
    AppWindow w;
    w.List({"a.mpg", "b.mpg", "c.mpg", "a.mpg"});
    auto* remove = Control<QPushButton>(w.app.input_page, "1008");
    w.input_list().clearSelection();
    remove->click();  // no selection: nothing
    QCOMPARE(Items(w.input_list()), QStringList({"a.mpg", "b.mpg", "c.mpg", "a.mpg"}));
    w.input_list().setCurrentRow(1);
    remove->click();
    QCOMPARE(Items(w.input_list()), QStringList({"a.mpg", "c.mpg", "a.mpg"}));
    Control<QPushButton>(w.app.input_page, "1009")->click();
    QCOMPARE(w.input_list().count(), 0);
  }

  void droppedFilesAreAddedAsAddWouldInTheDroppedOrder() {
    MessageLog log;
    AppWindow w;
    QVERIFY(QTest::qWaitForWindowExposed(&w.dialog));
    const QString other = files_.Write(QStringLiteral("other.vob"), Compose_Stream({}));
    const QList<QUrl> urls = {QUrl::fromLocalFile(other),
                              QUrl::fromLocalFile(QFileInfo(good_).absolutePath()),  // a folder
                              QUrl(QStringLiteral("https://example.com/clip.mpg")),
                              QUrl::fromLocalFile(files_.Path(QStringLiteral("missing.mpg"))),
                              QUrl::fromLocalFile(good_)};
    // Onto the list, and onto the page beside it. Taken as a copy even where
    // a move is asked for, so that the file manager keeps the files.
    const QWidget& list = *w.input_list().viewport();
    for (const QWidget* target : {&list, Control<const QWidget>(w.app.input_page, "1009")}) {
      QCOMPARE(Drop(w.dialog, *target, urls, Qt::CopyAction | Qt::MoveAction), Qt::CopyAction);
    }
    QCOMPARE(Items(w.input_list()), QStringList({other, good_, other, good_}));
    // Nothing Add... could have chosen, or only a move offered: refused.
    QCOMPARE(Drop(w.dialog, list, urls.mid(1, 3), Qt::CopyAction), Qt::IgnoreAction);
    QCOMPARE(Drop(w.dialog, list, {urls[0]}, Qt::MoveAction), Qt::IgnoreAction);
    QVERIFY(log.entries.empty());
    // The list is checked when the page is left, as after Add...
    QCOMPARE(Drop(w.dialog, list, QList<QUrl>(13, urls[0]), Qt::LinkAction), Qt::LinkAction);
    w.Select(MainDialog::kProcessingPage);
    QCOMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kTooManyFiles)});
  }

  void fileDialogsOpenWhereTheLastRunLeftThem() {
    TempFiles input_folder;
    TempFiles output_folder;
    const QString input = input_folder.Write(QStringLiteral("in.m2v"), Compose_Stream({}));
    const QString output = output_folder.Path(QStringLiteral("out.avi"));
    MessageLog log;
    {
      AppWindow run;
      Choose_File(Control<QPushButton>(run.app.input_page, "1006"), input);
      run.Select(MainDialog::kOutputPage);
      Choose_File(Control<QPushButton>(run.app.output_page, "1017"), output);
    }
    // Kept in the settings file, which tests keep in a directory of their own.
    const QSettings settings(QStringLiteral("Vidorlan"), QStringLiteral("Vidorlan MPEG"));
    QFile stored(settings.fileName());
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll().contains(QFile::encodeName(QFileInfo(input).absolutePath())));
    AppWindow next_run;
    QCOMPARE(QFileInfo(Folder_Shown_By(Control<QPushButton>(next_run.app.input_page, "1006"))),
             QFileInfo(QFileInfo(input).absolutePath()));
    next_run.Open({input});
    QCOMPARE(QFileInfo(Folder_Shown_By(Control<QPushButton>(next_run.app.output_page, "1017"))),
             QFileInfo(QFileInfo(output).absolutePath()));
    QVERIFY(log.entries.empty());
  }

  void inputControlsAreNeverDisabled() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    w.Select(MainDialog::kInputPage);
    w.Open({files_.Path(QStringLiteral("missing"))});
    for (const char* id : {"1004", "1005", "1006", "1008", "1009"}) {
      QVERIFY2(Control<QWidget>(w.app.input_page, id)->isEnabled(), id);
    }
    QCOMPARE(Shown(Control<QGroupBox>(w.app.input_page, "1004")->title()),
             QStringLiteral("Input file(s)"));
  }

  void probeReportsEachKindOfFailure_data() {
    QTest::addColumn<QByteArray>("bytes");  // empty: a path with no file
    QTest::addColumn<QString>("message");
    QByteArray transport(188, '\0');
    transport[0] = 0x47;
    transport[1] = 0x40;
    transport[3] = 0x10;
    QTest::newRow("transport stream") << transport << messages::kStreamTypeNotSupported;
    const char unknown[] = {0, 0, 1, char(0xB2), 'x', 'y', 'z', 0, 0, 1, char(0xB7)};
    QTest::newRow("unknown stream")
        << QByteArray(unknown, sizeof unknown) << messages::kStreamTypeNotSupported;
    QTest::newRow("missing file") << QByteArray() << messages::kFileError;
    const std::vector<uint8_t> no_picture = Compose_Stream_Without_Pictures();
    QTest::newRow("ends before a picture")
        << QByteArray(reinterpret_cast<const char*>(no_picture.data()),
                      static_cast<qsizetype>(no_picture.size()))
        << messages::kOpenFailed;
  }

  void probeReportsEachKindOfFailure() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    MessageLog log;
    AppWindow w;
    QString path = files_.Path(QStringLiteral("absent.mpg"));
    if (!bytes.isEmpty()) {
      path = files_.Write(QStringLiteral("probe.mpg"),
                          std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    w.Open({path, good_});
    QCOMPARE(log.Texts(), QStringList{message});
    QCOMPARE(log.entries[0].caption, QStringLiteral("Vidorlan Message"));
    QCOMPARE(log.entries[0].owner.data(), &w.dialog);
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(w.app.input_file_names.Empty());
    QVERIFY(!w.start().isEnabled());
  }

  // --- Processing page ---

  void processingPageShowsTheStream_data() {
    QTest::addColumn<int>("mpeg");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("progressive");
    QTest::addColumn<int>("aspect_code");
    QTest::addColumn<int>("rate_code");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("aspect_index");
    QTest::addColumn<int>("rate_index");
    QTest::addColumn<bool>("pulldown");

    QTest::newRow("progressive MPEG-2")
        << 2 << 32 << 1 << 3 << 5
        << QStringList{"Width: 48", "Height: 32", "Sequence is not interlaced",
                       "Aspect Ratio: 16:9", "Framerate: 30 fps"}
        << 2 << 4 << false;
    QTest::newRow("MPEG-1 counts as progressive")
        << 1 << 32 << 1 << 1 << 1
        << QStringList{"Width: 48", "Height: 32", "Sequence is not interlaced", "Aspect Ratio: 1:1",
                       "Framerate: 23.976 fps"}
        << 0 << 0 << false;
    // 40 lines of an interlaced sequence are coded as 64.
    QTest::newRow("interlaced, height rounded up")
        << 2 << 40 << 0 << 4 << 8
        << QStringList{"Width: 48", "Height: 64", "Sequence may contain interlaced frames",
                       "Aspect Ratio: 2.21:1", "Framerate: 60 fps"}
        << 3 << 7 << false;
    QTest::newRow("unknown aspect ratio")
        << 2 << 40 << 1 << 9 << 3
        << QStringList{"Width: 48", "Height: 48", "Sequence is not interlaced",
                       "Aspect Ratio: unknown", "Framerate: 25 fps"}
        << 1 << 2 << false;
    QTest::newRow("unknown frame rate")
        << 2 << 32 << 1 << 2 << 11
        << QStringList{"Width: 48", "Height: 32", "Sequence is not interlaced", "Aspect Ratio: 4:3",
                       "Framerate: unknown"}
        << 1 << 2 << false;
    QTest::newRow("film with 3:2 pulldown: 23.976 fps")
        << 2 << 32 << 0 << 2 << 4 << QStringList{"Width: 48",
                                                 "Height: 32",
                                                 "Sequence may contain interlaced frames",
                                                 "Aspect Ratio: 4:3",
                                                 "Framerate: 29.97 fps",
                                                 "3:2 pulldown: film at 23.976 fps"}
        << 1 << 0 << true;
  }

  void processingPageShowsTheStream() {
    QFETCH(int, mpeg);
    QFETCH(int, height);
    QFETCH(int, progressive);
    QFETCH(int, aspect_code);
    QFETCH(int, rate_code);
    QFETCH(QStringList, lines);
    QFETCH(int, aspect_index);
    QFETCH(int, rate_index);
    QFETCH(bool, pulldown);
    StreamParams params;
    params.pulldown = pulldown;
    if (pulldown) params.pictures = 16;
    params.mpeg2 = mpeg == 2;
    params.height = height;
    params.progressive_sequence = progressive;
    params.aspect_ratio_information = aspect_code;
    params.frame_rate_code = rate_code;
    const QString path = files_.Write(QStringLiteral("shown.mpg"), Compose_Stream(params));

    MessageLog log;
    AppWindow w;
    const QWidget& page = w.app.processing_page;
    Control<QLineEdit>(page, "1038")->setText(QStringLiteral("123"));
    w.Open({path});
    QVERIFY2(log.entries.empty(), qPrintable(log.Texts().join(QStringLiteral("; "))));
    QCOMPARE(Items(*Control<QListWidget>(page, "1010")), lines);
    const QString coded_height = lines[1].mid(8);
    QCOMPARE(Control<QLineEdit>(page, "1054")->text(), QStringLiteral("0"));
    QCOMPARE(Control<QLineEdit>(page, "1059")->text(), coded_height);
    auto* deinterlace = Control<QCheckBox>(page, "1060");
    QCOMPARE(deinterlace->isChecked(), progressive == 0);
    QCOMPARE(deinterlace->isEnabled(), progressive == 0);
    QCOMPARE(Control<QComboBox>(page, "1074")->currentIndex(), aspect_index);
    QCOMPARE(Control<QComboBox>(page, "1031")->currentIndex(), rate_index);
    QVERIFY(Control<QRadioButton>(page, "1036")->isChecked());
    QVERIFY(!Control<QRadioButton>(page, "1037")->isChecked());
    QCOMPARE(Control<QLineEdit>(page, "1038")->text(), QStringLiteral("123"));  // kept
  }

  void propertyListShowsItsFocusButNeverARow() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    auto* list = Control<QListWidget>(w.app.processing_page, "1010");
    w.dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.dialog));
    const QImage unfocused = list->grab().toImage();
    list->setFocus(Qt::TabFocusReason);
    QTest::keyClick(list, Qt::Key_Down);  // a current entry, which item views highlight
    QVERIFY(list->hasFocus() && list->currentRow() >= 0);
    const QImage focused = list->grab().toImage();
    QVERIFY(focused != unfocused);
    for (int row = 0; row < list->count(); ++row) {
      const QRect line = list->visualItemRect(list->item(row)).translated(list->viewport()->pos());
      const QRect inside_outline = line.adjusted(1, 1, -1, -1);
      QCOMPARE(focused.copy(inside_outline), unfocused.copy(inside_outline));
    }
    QVERIFY(list->selectedItems().isEmpty());
  }

  void aLaterProbeOverwritesTheUsersChoices() {
    StreamParams interlaced;
    interlaced.progressive_sequence = 0;
    const QString first = files_.Write(QStringLiteral("first.m2v"), Compose_Stream(interlaced));
    MessageLog log;
    AppWindow w;
    const QWidget& page = w.app.processing_page;
    w.Open({first});
    Control<QCheckBox>(page, "1060")->setChecked(false);
    Control<QComboBox>(page, "1074")->setCurrentIndex(3);
    Control<QComboBox>(page, "1031")->setCurrentIndex(7);
    Control<QLineEdit>(page, "1054")->setText(QStringLiteral("8"));
    Control<QLineEdit>(page, "1059")->setText(QStringLiteral("16"));
    Control<QRadioButton>(page, "1037")->setChecked(true);
    Control<QLineEdit>(page, "1038")->setText(QStringLiteral("77"));
    w.Select(MainDialog::kInputPage);
    w.input_list().clear();
    w.Open({good_});  // progressive, 4:3, 25 fps
    QVERIFY(!Control<QCheckBox>(page, "1060")->isChecked());
    QCOMPARE(Control<QComboBox>(page, "1074")->currentIndex(), 1);
    QCOMPARE(Control<QComboBox>(page, "1031")->currentIndex(), 2);
    QCOMPARE(Control<QLineEdit>(page, "1054")->text(), QStringLiteral("0"));
    QCOMPARE(Control<QLineEdit>(page, "1059")->text(), QStringLiteral("32"));
    QVERIFY(Control<QRadioButton>(page, "1036")->isChecked());
    QCOMPARE(Control<QLineEdit>(page, "1038")->text(), QStringLiteral("77"));
  }

  void processingControlsHaveTheirTextsItemsAndLimits() {
    AppWindow w;
    const QWidget& page = w.app.processing_page;
    QCOMPARE(Items(*Control<QComboBox>(page, "1074")),
             QStringList({"1:1", "4:3", "16:9", "2.21:1"}));
    QCOMPARE(Items(*Control<QComboBox>(page, "1031")),
             QStringList({"23.976 fps", "24 fps", "25 fps", "29.97 fps", "30 fps", "50 fps",
                          "59.94 fps", "60 fps"}));
    const struct {
      const char* id;
      const char* text;
    } kTexts[] = {{"1060", "Deinterlacing"},    {"1075", "Aspect Ratio:"},
                  {"1052", "Crop top offset:"}, {"1057", "Crop height:"},
                  {"1032", "Frame rate:"},      {"1036", "Process all frames"},
                  {"1037", "Process"},          {"1039", "frames"}};
    for (const auto& t : kTexts) {
      const QWidget* control = Control<QWidget>(page, t.id);
      QString text;
      if (auto* label = qobject_cast<const QLabel*>(control)) text = label->text();
      if (auto* button = qobject_cast<const QAbstractButton*>(control)) text = button->text();
      QCOMPARE(Shown(text), QString::fromLatin1(t.text));
    }
    const struct {
      const char* id;
      const char* title;
    } kGroups[] = {{"1030", "Input Stream Properties"},
                   {"1055", "Spatial Options"},
                   {"1026", "Temporal Options"}};
    for (const auto& g : kGroups) {
      QCOMPARE(Control<QGroupBox>(page, g.id)->title(), QString::fromLatin1(g.title));
    }
    // Digits only; the frame count takes 8 of them, the crop edits 10.
    w.Open({good_});
    for (const auto& [id, limit] : {std::pair{"1038", 8}, {"1054", 10}, {"1059", 10}}) {
      auto* edit = Control<QLineEdit>(page, id);
      edit->clear();
      QTest::keyClicks(edit, QStringLiteral("1a2-3 4x567890123"));
      QCOMPARE(edit->text(), QStringLiteral("1234567890123").left(limit));
      QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }
  }

  // --- Output page ---

  void everyProbeResetsTheOutputPage() {
    MessageLog log;
    AppWindow w;
    const QWidget& page = w.app.output_page;
    w.Open({good_});
    QVERIFY(Control<QLineEdit>(page, "1015")->text().isEmpty());
    QVERIFY(Control<QRadioButton>(page, "1033")->isChecked());
    Control<QLineEdit>(page, "1015")->setText(QStringLiteral("/tmp/x.avi"));
    Control<QRadioButton>(page, "1035")->setChecked(true);
    Control<QLineEdit>(page, "1021")->setText(QStringLiteral("650"));
    Control<QLineEdit>(page, "1023")->setText(QStringLiteral("1000"));
    w.Select(MainDialog::kInputPage);
    // Closed: greyed, contents as they were.
    for (const char* id :
         {"1015", "1016", "1017", "1033", "1034", "1035", "1021", "1023", "1022", "1039"}) {
      QVERIFY2(!Control<QWidget>(page, id)->isEnabled(), id);
    }
    QVERIFY(Control<QGroupBox>(page, "1014")->isEnabled());
    QCOMPARE(Control<QLineEdit>(page, "1015")->text(), QStringLiteral("/tmp/x.avi"));
    QVERIFY(Control<QRadioButton>(page, "1035")->isChecked());
    w.Select(MainDialog::kOutputPage);
    QVERIFY(Control<QLineEdit>(page, "1015")->text().isEmpty());
    QVERIFY(Control<QRadioButton>(page, "1033")->isChecked());
    QCOMPARE(Control<QLineEdit>(page, "1021")->text(), QStringLiteral("650"));
    QCOMPARE(Control<QLineEdit>(page, "1023")->text(), QStringLiteral("1000"));
    for (const char* id :
         {"1015", "1016", "1017", "1033", "1034", "1035", "1021", "1023", "1022", "1039"}) {
      QVERIFY2(Control<QWidget>(page, id)->isEnabled(), id);
    }
    QVERIFY(log.entries.empty());
  }

  // "No audio" or one of the input's audio streams, decoded or copied: reset
  // by every probe, greyed out without audio, read into the start form;
  // audio at a frame rate other than the stream's own is refused.
  void audioChoiceFollowsTheStream() {
    MessageLog log;
    AppWindow w;
    const QWidget& page = w.app.output_page;
    auto* stream = Control<QComboBox>(page, "1042");
    auto* format = Control<QComboBox>(page, "1044");
    const char* const kAudioControls[] = {"1041", "1042", "1043", "1044"};
    w.Open({QStringLiteral(VIDORLAN_SOURCE_DIR "/samples/sample.mpg")});
    QCOMPARE(Control<QGroupBox>(page, "1040")->title(), QStringLiteral("Audio"));
    QCOMPARE(Shown(Control<QLabel>(page, "1041")->text()), QStringLiteral("Audio:"));
    QCOMPARE(Shown(Control<QLabel>(page, "1043")->text()), QStringLiteral("Format:"));
    QCOMPARE(Items(*stream), QStringList({"No audio", "1: mp2 48000 Hz 1 ch (0xc0)"}));
    QCOMPARE(Items(*format), QStringList({"Decoded PCM", "As it is (copy)"}));
    for (const char* id : kAudioControls) QVERIFY2(Control<QWidget>(page, id)->isEnabled(), id);
    QCOMPARE(stream->currentIndex(), 0);
    QCOMPARE(format->currentIndex(), 0);
    StartForm form;
    w.app.output_page.ReadStartForm(&form);
    QCOMPARE(form.audio.selection, -1);
    stream->setCurrentIndex(1);
    format->setCurrentIndex(1);
    w.app.output_page.ReadStartForm(&form);
    QCOMPARE(form.audio.selection, 0);
    QVERIFY(form.audio.output == AudioOutput::kCopy);

    Control<QLineEdit>(page, "1015")->setText(files_.Path(QStringLiteral("drift.avi")));
    Control<QComboBox>(w.app.processing_page, "1031")->setCurrentIndex(3);  // 29.97, not 25
    w.start().click();
    QCOMPARE(log.Texts(), QStringList{messages::kAudioWouldDrift});
    QVERIFY(!QFile::exists(files_.Path(QStringLiteral("drift.avi"))));

    w.Select(MainDialog::kInputPage);  // closed: greyed, the choice kept
    for (const char* id : kAudioControls) QVERIFY2(!Control<QWidget>(page, id)->isEnabled(), id);
    QCOMPARE(stream->currentIndex(), 1);
    w.Select(MainDialog::kOutputPage);
    QCOMPARE(stream->currentIndex(), 0);
    QCOMPARE(format->currentIndex(), 0);
    // An elementary video stream has no audio to choose.
    w.Select(MainDialog::kInputPage);
    Control<QPushButton>(w.app.input_page, "1009")->click();
    w.Open({good_});
    QCOMPARE(Items(*stream), QStringList({"No audio"}));
    for (const char* id : kAudioControls) QVERIFY2(!Control<QWidget>(page, id)->isEnabled(), id);
  }

  void chooseAppendsAviToATypedNameAndReopensAtTheLastChoice() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    const QWidget& page = w.app.output_page;
    auto* path = Control<QLineEdit>(page, "1015");
    QFileDialog* first_dialog = nullptr;
    {
      WhenModal<QFileDialog> choose([&](QFileDialog* dialog) {
        first_dialog = dialog;
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("avi"));
        QCOMPARE(dialog->nameFilters(), QStringList({"AVI Files (*.avi)", "All Files (*)"}));
        dialog->setDirectory(QFileInfo(good_).absolutePath());
        Type_File_Name(dialog, QStringLiteral("movie"));
        Accept(dialog);
      });
      Control<QPushButton>(page, "1017")->click();
      QCOMPARE(choose.calls(), 1);
    }
    QCOMPARE(QFileInfo(path->text()), QFileInfo(QFileInfo(good_).absolutePath() + "/movie.avi"));
    {
      WhenModal<QFileDialog> cancel([&](QFileDialog* dialog) {
        QCOMPARE(dialog, first_dialog);
        dialog->reject();
      });
      Control<QPushButton>(page, "1017")->click();
      QCOMPARE(cancel.calls(), 1);
    }
    QVERIFY(path->text().endsWith(QStringLiteral("/movie.avi")));  // unchanged
  }

  void outputControlsHaveTheirTextsAndLimits() {
    AppWindow w;
    const QWidget& page = w.app.output_page;
    const struct {
      const char* id;
      const char* text;
    } kTexts[] = {
        {"1016", "Output file:"}, {"1017", "Choose..."}, {"1033", "Don't split output file"},
        {"1034", "Split every"},  {"1022", "MBytes"},    {"1035", "Split every"},
        {"1039", "frames"}};
    for (const auto& t : kTexts) {
      const QWidget* control = Control<QWidget>(page, t.id);
      QString text;
      if (auto* label = qobject_cast<const QLabel*>(control)) text = label->text();
      if (auto* button = qobject_cast<const QAbstractButton*>(control)) text = button->text();
      QCOMPARE(Shown(text), QString::fromLatin1(t.text));
    }
    QCOMPARE(Control<QGroupBox>(page, "1014")->title(), QStringLiteral("Output file(s)"));
    // A path longer than 254 characters cannot be entered at all.
    QCOMPARE(Control<QLineEdit>(page, "1015")->maxLength(), 254);
    w.Open({good_});
    for (const char* id : {"1021", "1023"}) {
      auto* edit = Control<QLineEdit>(page, id);
      QTest::keyClicks(edit, QStringLiteral("9x87654321"));
      QCOMPARE(edit->text(), QStringLiteral("98765432"));
    }
  }

  // --- About page ---

  void aboutPageShowsLogoVersionAndTerms() {
    AppWindow w;
    w.Select(MainDialog::kAboutPage);
    const QList<QLabel*> labels = w.app.about_page.findChildren<QLabel*>();
    QCOMPARE(labels.size(), 3);
    const QLabel* logo = w.app.about_page.findChild<QLabel*>(QStringLiteral("logo"));
    QCOMPARE(logo->pixmap().size(), QSize(261, 177));
    QCOMPARE(logo->alignment(), Qt::AlignCenter);
    QCOMPARE(w.app.about_page.findChild<QLabel*>(QStringLiteral("name"))->text(),
             QStringLiteral("Vidorlan MPEG 0.67"));
    const QLabel* terms = w.app.about_page.findChild<QLabel*>(QStringLiteral("disclaimer"));
    QVERIFY(terms->text().contains(QStringLiteral("free of charge")));
    QVERIFY(terms->text().contains(QStringLiteral("own risk")));
    QCOMPARE(terms->frameShadow(), QFrame::Sunken);
  }
};

QTEST_MAIN(PagesTest)
#include "test_pages.moc"
