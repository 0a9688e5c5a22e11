// The progress dialog driven tick by tick from a progress record the test
// fills in (the job behind it is never started, so nothing is waited for):
// its figures, when it closes, and the one message of a failed job.
#include <QLabel>
#include <QProgressBar>
#include <QtTest>

#include "convert/messages.h"
#include "tests/ui/ui_test_support.h"
#include "ui/progress_dialog.h"

using namespace ui_test;

namespace {

// A dialog over a job that never runs, with its record and settings.
struct Fixture {
  FrameSource source;
  AviWriter writer;
  ConversionSettings settings;
  ConversionProgress progress;
  InputFileNames names;
  ConversionJob job{source, writer, settings, progress};
  std::unique_ptr<ProgressDialog> dialog;

  explicit Fixture(bool all_frames, int32_t frame_limit = 0, int64_t total_kbytes = 0,
                   bool size_known = true) {
    settings.convert_all_frames = all_frames;
    settings.frame_limit = frame_limit;
    settings.total_input_kbytes = total_kbytes;
    settings.input_size_known = size_known;
    dialog = std::make_unique<ProgressDialog>(job, progress, settings, names, nullptr);
    dialog->show();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) dialog->Tick();
  }
  QString Field(const char* id) const { return Control<QLabel>(*dialog, id)->text(); }
  int Bar() const { return Control<QProgressBar>(*dialog, "1085")->value(); }
};

}  // namespace

class ProgressDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheStartingFiguresAndItsClockRunning() {
    Fixture f(false, 100);
    // Shown at once, not only from the first tick on.
    const struct {
      const char* id;
      const char* text;
    } kFigures[] = {{"1099", "00:00:00"}, {"1097", "0"}, {"1098", "0"}, {"1100", "00:00:00"}};
    for (const auto& figure : kFigures)
      QCOMPARE(f.Field(figure.id), QString::fromLatin1(figure.text));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Vidorlan MPEG Progress"));
    auto* bar = Control<QProgressBar>(*f.dialog, "1085");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 0);
    const auto* timer = f.dialog->findChild<QTimer*>(QStringLiteral("tick"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(Shown(Control<QPushButton>(*f.dialog, "2")->text()), QStringLiteral("Cancel"));
    QStringList labels;
    for (const QLabel* label : f.dialog->findChildren<QLabel*>()) {
      if (label->objectName().isEmpty()) labels << label->text();
    }
    QCOMPARE(labels, QStringList({"Current file:", "Current frame:", "KBytes written:",
                                  "Time elapsed:", "Time remaining:"}));
  }

  void inputFromAPipeShowsTheKBytesReadInsteadOfAShare() {
    Fixture f(true, 0, 0, /*size_known=*/false);
    f.progress.input_kbytes_read = 4096;
    f.Ticks(2);
    QCOMPARE(f.Field("1100"), QStringLiteral("4096"));
    QCOMPARE(Control<QProgressBar>(*f.dialog, "1085")->maximum(), 0);  // busy
    bool labelled = false;
    for (const QLabel* label : f.dialog->findChildren<QLabel*>())
      labelled |= label->text() == QStringLiteral("KBytes read:");
    QVERIFY(labelled);
  }

  void beforeTheFirstFrameNothingIsEstimated() {
    Fixture f(false, 100);
    f.Ticks(3);
    QCOMPARE(f.Field("1099"), QStringLiteral("00:00:03"));
    QCOMPARE(f.Field("1100"), QStringLiteral("00:00:00"));
    QCOMPARE(f.Field("1097"), QStringLiteral("0"));
    QCOMPARE(f.Bar(), 0);
    Fixture empty_input(true, 0, 0);  // nothing to read: the bar stays empty
    empty_input.progress.input_kbytes_read = 10;
    empty_input.Ticks(1);
    QCOMPARE(empty_input.Bar(), 0);
  }

  void aFrameLimitedJobAtAQuarterAfterTenSeconds() {
    Fixture f(false, 100);
    f.progress.frames_written = 25;
    f.progress.kbytes_written = 4321;
    f.Ticks(10);
    QCOMPARE(f.Bar(), 250);
    QCOMPARE(f.Field("1100"), QStringLiteral("00:00:30"));
    QCOMPARE(f.Field("1099"), QStringLiteral("00:00:10"));
    QCOMPARE(f.Field("1097"), QStringLiteral("25"));
    QCOMPARE(f.Field("1098"), QStringLiteral("4321"));
  }

  void aJobOfAllFramesFollowsTheInputRead() {
    Fixture f(true, 0, 1200);
    f.progress.frames_written = 999;  // not what the bar follows here
    f.progress.input_kbytes_read = 300;
    f.Ticks(6);
    QCOMPARE(f.Bar(), 250);
    QCOMPARE(f.Field("1100"), QStringLiteral("00:00:18"));
  }

  void longTimesAndOvershoot() {
    Fixture f(false, 100);
    f.Ticks(3725);
    QCOMPARE(f.Field("1099"), QStringLiteral("01:02:05"));
    f.progress.frames_written = 150;  // past the limit: a full bar
    f.Ticks(1);
    QCOMPARE(f.Bar(), 1000);
  }

  void currentFileFollowsTheIndexAndIsEmptyPastTheLast() {
    Fixture f(true, 0, 100);
    f.names.Fill({"/videos/one.mpg", "/videos/two.vob"});
    f.progress.current_file_index = 1;
    f.Ticks(1);
    QCOMPARE(f.Field("1102"), QStringLiteral("/videos/two.vob"));
    QCOMPARE(Control<QLabel>(*f.dialog, "1102")->toolTip(), QStringLiteral("/videos/two.vob"));
    f.progress.current_file_index = 2;  // the null slot after the last path
    f.Ticks(1);
    QVERIFY(f.Field("1102").isEmpty());
  }

  void aLongPathKeepsBothEnds() {
    Fixture f(true, 0, 100);
    const std::string path = "/start/" + std::string(300, 'd') + "/end.mpg";
    f.names.Fill({path});
    f.Ticks(1);
    const QString shown = f.Field("1102");
    QVERIFY(shown.startsWith(QStringLiteral("/start/")));
    QVERIFY(shown.endsWith(QStringLiteral("/end.mpg")));
    QCOMPARE(Control<QLabel>(*f.dialog, "1102")->toolTip(), QString::fromStdString(path));
  }

  void closesOnTheFirstTickAfterTheWorkerFinished() {
    MessageLog log;
    Fixture f(false, 10);
    f.progress.frames_written = 10;
    f.Ticks(2);
    QVERIFY(f.dialog->isVisible());
    f.progress.worker_finished = 1;
    QVERIFY(f.dialog->isVisible());  // not before the next tick
    f.Ticks(1);
    QVERIFY(!f.dialog->isVisible());
    QVERIFY(log.entries.empty());
  }

  void aFailedJobIsReportedOnceAndCloses_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("write error") << int{JOB_WRITE_ERROR} << messages::kWriteError;
    QTest::newRow("read error") << int{JOB_READ_ERROR} << messages::kReadError;
    QTest::newRow("any other state") << 7 << messages::kReadError;
  }

  void aFailedJobIsReportedOnceAndCloses() {
    QFETCH(int, state);
    QFETCH(QString, message);
    MessageLog log;
    Fixture f(false, 10);
    f.progress.job_state = state;
    f.progress.worker_finished = 1;
    f.Ticks(1);
    QCOMPARE(log.Texts(), QStringList{message});
    QCOMPARE(log.entries[0].owner.data(), f.dialog.get());
    QCOMPARE(log.entries[0].caption, QStringLiteral("Vidorlan Message"));
    QVERIFY(!f.dialog->isVisible());
    QVERIFY(!f.dialog->findChild<QTimer*>(QStringLiteral("tick"))->isActive());
  }

  void cancelAsksTheWorkerToStopAndNeverWaitsForOneThatDidNotRun() {
    MessageLog log;
    Fixture f(false, 10);
    Control<QPushButton>(*f.dialog, "2")->click();
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.progress.cancel_requested.load(), 1);
    QVERIFY(log.entries.empty());
  }
};

QTEST_MAIN(ProgressDialogTest)
#include "test_progress_dialog.moc"
