// The main window: start-up, the two states (stream open or not) and the
// tab changes that move between them, Exit, the keyboard, and the layout of
// every window in the platform's font.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QtTest>

#include "convert/messages.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog_units.h"
#include "ui/progress_dialog.h"

using namespace ui_test;

namespace {

const char* const kProcessingOptionIds[] = {"1010", "1060", "1074", "1054", "1059", "1031", "1036",
                                            "1037", "1038", "1039", "1032", "1075", "1052", "1057"};
const char* const kOutputOptionIds[] = {"1015", "1016", "1017", "1033", "1034",
                                        "1035", "1021", "1023", "1022", "1039"};

// Whether every option control of the Processing and Output pages is
// enabled (`enabled` true) or every one disabled, group boxes always enabled.
bool Options_Are(const ConverterApp& app, bool enabled) {
  for (const char* id : kProcessingOptionIds) {
    if (Control<QWidget>(app.processing_page, id)->isEnabled() != enabled) return false;
  }
  for (const char* id : kOutputOptionIds) {
    if (Control<QWidget>(app.output_page, id)->isEnabled() != enabled) return false;
  }
  for (const QGroupBox* group : app.processing_page.findChildren<QGroupBox*>()) {
    if (!group->isEnabled()) return false;
  }
  return app.output_page.findChild<QGroupBox*>()->isEnabled();
}

bool Table_Is_Empty(const InputFileNames& names) {
  for (int i = 0; i < InputFileNames::kSlots; ++i) {
    if (names.Table()[i] != nullptr) return false;
  }
  return true;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  TempFiles files_;
  QString good_;
  QString interlaced_;

 private slots:
  void initTestCase() {
    good_ = files_.Write(QStringLiteral("good.m2v"), Compose_Stream({}));
    StreamParams interlaced;
    interlaced.progressive_sequence = 0;
    interlaced_ = files_.Write(QStringLiteral("interlaced.m2v"), Compose_Stream(interlaced));
  }

  void withoutMmxOneMessageAndNoWindow() {
    ConverterApp app;
    MessageLog log;
    bool window_seen = false;
    log.on_message = [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<MainDialog*>(w) != nullptr && w->isVisible()) window_seen = true;
      }
    };
    QCOMPARE(app.Run(false), 1);
    QCOMPARE(log.entries.size(), size_t{1});
    QCOMPARE(log.entries[0].text, QString::fromLatin1(messages::kNeedsMmx));
    QCOMPARE(log.entries[0].caption, QCoreApplication::applicationName());
    QVERIFY(log.entries[0].owner.isNull());
    QVERIFY(!window_seen);
  }

  void startUpShowsTheInputPageWithEverythingDisabled() {
    ConverterApp app;
    MessageLog log;
    bool checked = false;
    WhenModal<MainDialog> check([&](MainDialog* dialog) {
      QCOMPARE(dialog->windowTitle(), QStringLiteral("Vidorlan MPEG"));
      auto* tabs = Control<QTabWidget>(*dialog, "1073");
      QCOMPARE(tabs->count(), 4);
      const QStringList expected = {"Input", "Processing", "Output", "About"};
      for (int i = 0; i < 4; ++i) QCOMPARE(Shown(tabs->tabText(i)), expected[i]);
      QCOMPARE(tabs->currentIndex(), 0);
      QVERIFY(app.input_page.isVisible());
      auto* start = Control<QPushButton>(*dialog, "1084");
      QCOMPARE(Shown(start->text()), QStringLiteral("Start Conversion..."));
      QVERIFY(!start->isEnabled());
      QCOMPARE(Shown(Control<QPushButton>(*dialog, "2")->text()), QStringLiteral("Exit"));
      QVERIFY(Options_Are(app, false));
      const QList<QSize> icon_sizes = dialog->windowIcon().availableSizes();
      QVERIFY(icon_sizes.contains(QSize(16, 16)) && icon_sizes.contains(QSize(32, 32)));
      checked = true;
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(app.Run(true), 0);
    QVERIFY(checked);
    QVERIFY(log.entries.empty());
  }

  void leavingInputWithAnEmptyListIsSilent() {
    MessageLog log;
    AppWindow w;
    w.Select(MainDialog::kProcessingPage);
    QVERIFY(log.entries.empty());
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(!w.start().isEnabled());
    QVERIFY(Options_Are(w.app, false));
  }

  void leavingInputWithSeventeenEntriesRefuses() {
    MessageLog log;
    AppWindow w;
    w.Open(QStringList(17, good_));
    QCOMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kTooManyFiles)});
    QCOMPARE(log.entries[0].owner.data(), &w.dialog);
    QCOMPARE(log.entries[0].caption, QStringLiteral("Vidorlan Message"));
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(Table_Is_Empty(w.app.input_file_names));
    QVERIFY(!w.start().isEnabled());
    QVERIFY(Options_Are(w.app, false));
  }

  void sixteenEntriesAreOpenedAsOneStream() {
    MessageLog log;
    AppWindow w;
    w.Open(QStringList(16, good_));
    QVERIFY(log.entries.empty());
    QVERIFY(w.app.frame_source.is_open);
    for (int i = 0; i < 16; ++i)
      QCOMPARE(QString::fromLocal8Bit(w.app.input_file_names.At(i)), good_);
    QVERIFY(w.app.input_file_names.At(16) == nullptr);
  }

  void leavingInputWithABadFileReportsAndStaysClosed() {
    MessageLog log;
    AppWindow w;
    w.Open({files_.Path(QStringLiteral("missing.mpg")), good_});
    QCOMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kFileError)});
    QCOMPARE(log.entries[0].owner.data(), &w.dialog);
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(Table_Is_Empty(w.app.input_file_names));
    QVERIFY(!w.start().isEnabled());
    QVERIFY(Options_Are(w.app, false));
    QCOMPARE(w.input_list().count(), 2);  // the list itself is kept
  }

  void leavingInputWithAGoodFileOpensTheStream() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    QVERIFY(log.entries.empty());
    QVERIFY(w.app.frame_source.is_open);
    QVERIFY(w.start().isEnabled());
    QVERIFY(w.app.processing_page.isVisible());
    QCOMPARE(QString::fromLocal8Bit(w.app.input_file_names.At(0)), good_);
    QVERIFY(w.app.input_file_names.At(1) == nullptr);
    // All enabled but Deinterlacing, which a progressive stream greys out.
    for (const char* id : kProcessingOptionIds) {
      QCOMPARE(Control<QWidget>(w.app.processing_page, id)->isEnabled(), QByteArray(id) != "1060");
    }
    for (const char* id : kOutputOptionIds) {
      QVERIFY(Control<QWidget>(w.app.output_page, id)->isEnabled());
    }
  }

  void movingAmongTheOtherPagesNeitherProbesNorCloses() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    // A probe would reset the output path and the crop edits.
    Control<QLineEdit>(w.app.output_page, "1015")->setText(QStringLiteral("/tmp/kept.avi"));
    Control<QLineEdit>(w.app.processing_page, "1054")->setText(QStringLiteral("16"));
    for (int page : {MainDialog::kOutputPage, MainDialog::kAboutPage, MainDialog::kProcessingPage,
                     MainDialog::kAboutPage, MainDialog::kOutputPage}) {
      w.Select(page);
      QVERIFY(w.app.frame_source.is_open);
      QVERIFY(w.start().isEnabled());
    }
    QCOMPARE(Control<QLineEdit>(w.app.output_page, "1015")->text(),
             QStringLiteral("/tmp/kept.avi"));
    QCOMPARE(Control<QLineEdit>(w.app.processing_page, "1054")->text(), QStringLiteral("16"));
    QVERIFY(log.entries.empty());
  }

  void returningToInputClosesAtOnce() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    w.Select(MainDialog::kAboutPage);
    w.Select(MainDialog::kInputPage);
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(!w.start().isEnabled());
    QVERIFY(Options_Are(w.app, false));
    QVERIFY(Table_Is_Empty(w.app.input_file_names));
    // The old properties stay visible, greyed.
    QCOMPARE(Control<QListWidget>(w.app.processing_page, "1010")->count(), 5);
    // Leaving again probes the same list again.
    w.Select(MainDialog::kOutputPage);
    QVERIFY(w.app.frame_source.is_open);
    QVERIFY(w.start().isEnabled());
    QVERIFY(log.entries.empty());
  }

  void exitClosesAnOpenStream() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    w.exit().click();
    QVERIFY(!w.dialog.isVisible());
    QCOMPARE(w.dialog.result(), 2);
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(Table_Is_Empty(w.app.input_file_names));
  }

  void escapeInsideAPageIsExit() {
    MessageLog log;
    AppWindow w;
    w.Open({good_});
    QLineEdit* crop = Control<QLineEdit>(w.app.processing_page, "1054");
    crop->setFocus();
    QTest::keyClick(crop, Qt::Key_Escape);
    QVERIFY(!w.dialog.isVisible());
    QVERIFY(!w.app.frame_source.is_open);
  }

  void enterInsideAPageDoesNothing() {
    MessageLog log;
    AppWindow w;
    WhenModal<ProgressDialog> no_progress([](ProgressDialog* d) { d->reject(); });
    w.Open({good_});
    // With no output path a start would say so; nothing may happen at all.
    const struct {
      QWidget* page;
      int tab;
      const char* id;
    } kTargets[] = {{&w.app.input_page, MainDialog::kInputPage, "1005"},
                    {&w.app.input_page, MainDialog::kInputPage, "1006"},
                    {&w.app.processing_page, MainDialog::kProcessingPage, "1038"},
                    {&w.app.processing_page, MainDialog::kProcessingPage, "1074"},
                    {&w.app.output_page, MainDialog::kOutputPage, "1015"},
                    {&w.app.output_page, MainDialog::kOutputPage, "1017"}};
    for (const auto& target : kTargets) {
      w.Select(target.tab);
      QWidget* control = Control<QWidget>(*target.page, target.id);
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Return);
      QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
      QVERIFY2(w.dialog.isVisible(), target.id);
      QCOMPARE(w.tabs().currentIndex(), target.tab);
    }
    QVERIFY(log.entries.empty());
    QCOMPARE(no_progress.calls(), 0);
  }

  void theKeyboardReachesEveryControlInOrder() {
    MessageLog log;
    AppWindow w;
    w.Open({interlaced_});  // every Processing control enabled
    w.dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.dialog));
    w.tabs().tabBar()->setFocus();
    QStringList order;
    for (int i = 0; i < 20; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const QString name = QApplication::focusWidget()->objectName();
      if (name == QStringLiteral("2")) break;
      order << name;
    }
    const QStringList expected = {"1010", "1060", "1074", "1054", "1059",
                                  "1031", "1036", "1038", "1084"};
    QCOMPARE(order, expected);
    // Mnemonics: Alt+O shows the Output page, Alt+S starts (refused for want
    // of an output path).
    QTest::keyClick(&w.dialog, Qt::Key_O, Qt::AltModifier);
    QCOMPARE(w.tabs().currentIndex(), int{MainDialog::kOutputPage});
    QTest::keyClick(&w.dialog, Qt::Key_S, Qt::AltModifier);
    // A mnemonic presses its button visibly, which takes a moment.
    QTRY_COMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kNoOutputFile)});
  }

  void everyControlIsPlacedUncutAndWithoutOverlap() {
    MessageLog log;
    AppWindow w;
    w.Open({interlaced_});
    QCOMPARE(w.dialog.size(), Dialog_Rect_To_Pixels(0, 0, 238, 236).size());
    QCOMPARE(w.tabs().geometry(), Dialog_Rect_To_Pixels(7, 7, 224, 202));
    QCOMPARE(w.exit().geometry(), Dialog_Rect_To_Pixels(181, 215, 50, 14));
    QCOMPARE(Layout_Faults(w.dialog), QStringList());
    for (int page = 0; page < 4; ++page) {
      w.Select(page);
      QWidget* shown = w.tabs().currentWidget();
      QCOMPARE(Layout_Faults(*shown), QStringList());
    }
    ConversionSettings settings;
    ConversionProgress progress;
    ConversionJob job(w.app.frame_source, w.app.avi_writer, settings, progress);
    ProgressDialog dialog(job, progress, settings, w.app.input_file_names, &w.dialog);
    dialog.show();
    QCOMPARE(dialog.size(), Dialog_Rect_To_Pixels(0, 0, 240, 95).size());
    QCOMPARE(Layout_Faults(dialog), QStringList());
    dialog.reject();
  }

  void theLayoutCheckCatchesCrossedGroupBoxesAndRaggedColumns() {
    QWidget page;
    page.resize(Dialog_Rect_To_Pixels(0, 0, 220, 180).size());
    QGroupBox group(QStringLiteral("Group"), &page);
    QLineEdit edit(&page);
    QPushButton upper(&page);
    QPushButton lower(&page);
    group.setObjectName(QStringLiteral("group"));
    edit.setObjectName(QStringLiteral("edit"));
    upper.setObjectName(QStringLiteral("upper"));
    lower.setObjectName(QStringLiteral("lower"));
    Place_Control(group, 7, 7, 120, 60);
    Place_Control(edit, 12, 16, 60, 12);  // nine units down: below a title drawn in the frame
    Place_Control(upper, 140, 7, 44, 14);
    Place_Control(lower, 140, 25, 44, 14);
    const QString crossing = QStringLiteral("edit crosses the frame or title of group \"Group\"");
    QCOMPARE(Layout_Faults(page), QStringList{crossing});  // where the style draws its title
    Fit_Controls(page);
    QCOMPARE(Layout_Faults(page), QStringList());

    const QRect inside = group.contentsRect().translated(group.pos());
    const QRect apart(inside.x(), inside.bottom() + 20, 60, 24);
    const QRect below = upper.geometry().translated(0, 40);
    const QRect beside(upper.geometry().right() + 5, upper.y(), 30, upper.height());
    const QString ragged =
        QStringLiteral("upper and lower stand in one column with different widths");
    const struct {
      QRect edit;
      QRect lower;
      QStringList faults;
    } kCases[] = {
        {inside, below, {}},
        {inside.adjusted(0, -1, 0, 0), below, {crossing}},  // into the title
        {inside.adjusted(0, 0, 1, 0), below, {crossing}},   // across the frame
        {apart, below, {}},
        {inside, below.adjusted(0, 0, 1, 0), {ragged}},
        {inside, below.translated(-1, 0), {ragged}},
        {inside, beside, {}},  // a row, not a column
    };
    for (const auto& c : kCases) {
      edit.setGeometry(c.edit);
      lower.setGeometry(c.lower);
      QCOMPARE(Layout_Faults(page), c.faults);
    }
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
