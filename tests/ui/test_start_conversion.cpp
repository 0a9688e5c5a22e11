// "Start Conversion...": every refusal and its message, the compressor
// dialog, whole jobs through the dialogs (read back with ffprobe), a job
// that fails, a worker that cannot be started, and cancelling.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QtTest>
#include <chrono>
#include <thread>

#include "convert/messages.h"
#include "tests/platform/avi_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/compressor_dialog.h"
#include "ui/progress_dialog.h"

using namespace ui_test;

namespace {

bool Have_Ffprobe() {
  return !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

std::map<std::string, std::string> Probe(const QString& path) {
  return avi_test::ProbeVideoStream(QFile::encodeName(path).toStdString());
}

int Index_Of_Compressor(const std::string& name) {
  const std::vector<CompressorInfo> all = AvailableCompressors();
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

void Set_Text(const QWidget& page, const char* id, const QString& text) {
  Control<QLineEdit>(page, id)->setText(text);
}

void Check(const QWidget& page, const char* id) {
  Control<QRadioButton>(page, id)->setChecked(true);
}

}  // namespace

class StartConversionTest : public QObject {
  Q_OBJECT

 private:
  TempFiles files_;
  QString good_;  // 48 x 32, 4:3, 25 fps, 3 pictures

 private slots:
  void initTestCase() { good_ = files_.Write(QStringLiteral("good.m2v"), Compose_Stream({})); }

  void withoutAStreamNothingHappens() {
    MessageLog log;
    AppWindow w;
    w.dialog.OnStartConversion();
    QVERIFY(log.entries.empty());
  }

  void eachRefusalHasItsMessageAndChangesNothing_data() {
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("message");
    QTest::newRow("no output path") << "no output path" << messages::kNoOutputFile;
    QTest::newRow("no frame count") << "no frame count" << messages::kNoFrameCount;
    QTest::newRow("no MBytes value") << "no MBytes value" << messages::kNoSplitValue;
    QTest::newRow("no frames value") << "no frames value" << messages::kNoSplitValue;
    QTest::newRow("crop below the picture") << "crop below" << messages::kIllegalCropping;
    QTest::newRow("no output row") << "no output row" << messages::kIllegalCropping;
    QTest::newRow("output is the input") << "output is input" << messages::kOutputIsInput;
    QTest::newRow("input gone") << "input gone" << messages::kInputSizeFileError;
    QTest::newRow("output cannot be made") << "bad output" << messages::kCreateAviFailed;
  }

  void eachRefusalHasItsMessageAndChangesNothing() {
    QFETCH(QString, refusal);
    QFETCH(QString, message);
    TempFiles job_files;
    const QString input = job_files.Write(QStringLiteral("in.m2v"), Compose_Stream({}));
    const QString output = job_files.Path(QStringLiteral("out.avi"));
    MessageLog log;
    AppWindow w;
    WhenModal<CompressorDialog> compressor([](CompressorDialog* d) { d->reject(); });
    w.Open({input});
    const QWidget& processing = w.app.processing_page;
    const QWidget& out = w.app.output_page;
    Set_Text(out, "1015", output);
    if (refusal == "no output path") {
      Set_Text(out, "1015", QString());
      Check(processing, "1037");  // the first failure is the one reported
    } else if (refusal == "no frame count") {
      Check(processing, "1037");
      Check(out, "1034");
    } else if (refusal == "no MBytes value") {
      Check(out, "1034");
      Set_Text(out, "1023", QStringLiteral("10"));
    } else if (refusal == "no frames value") {
      Check(out, "1035");
      Set_Text(out, "1021", QStringLiteral("10"));  // the other value is not looked at
    } else if (refusal == "crop below") {
      Set_Text(processing, "1054", QStringLiteral("1"));  // 1 + 32 rows of 32
    } else if (refusal == "no output row") {
      Set_Text(processing, "1059", QStringLiteral("1"));  // one row of 48 x 32 at 16:9
      Control<QComboBox>(processing, "1074")->setCurrentIndex(2);
    } else if (refusal == "output is input") {
      Set_Text(out, "1015", input);
    } else if (refusal == "input gone") {
      QVERIFY(QFile::remove(input));
    } else if (refusal == "bad output") {
      Set_Text(out, "1015", job_files.Path(QStringLiteral("no/such/dir/out.avi")));
    }
    w.start().click();
    QCOMPARE(log.Texts(), QStringList{message});
    QCOMPARE(log.entries[0].owner.data(), &w.dialog);
    QCOMPARE(log.entries[0].caption, QStringLiteral("Vidorlan Message"));
    QCOMPARE(compressor.calls(), 0);
    QVERIFY(w.app.frame_source.is_open);
    QVERIFY(w.start().isEnabled());
    QVERIFY(!QFile::exists(output));
    if (refusal != "input gone")
      QCOMPARE(QFileInfo(input).size(), qint64(Compose_Stream({}).size()));
  }

  void cropToTheLastRowIsAcceptedAndACancelledCompressorIsSilent() {
    TempFiles job_files;
    const QString output = job_files.Path(QStringLiteral("out.avi"));
    MessageLog log;
    AppWindow w;
    WhenModal<CompressorDialog> compressor(
        [](CompressorDialog* d) { Control<QPushButton>(*d, "cancel")->click(); });
    w.Open({good_});
    Set_Text(w.app.processing_page, "1054", QStringLiteral("16"));
    Set_Text(w.app.processing_page, "1059", QStringLiteral("16"));
    Set_Text(w.app.output_page, "1015", output);
    w.start().click();
    QCOMPARE(compressor.calls(), 1);
    QVERIFY(log.entries.empty());
    QVERIFY(w.app.frame_source.is_open);  // nothing was consumed
    QVERIFY(w.start().isEnabled());
    QVERIFY(!QFile::exists(output));  // nor left behind
  }

  void compressorDialogOffersWhatEachCompressorHonours() {
    const std::vector<CompressorInfo> all = AvailableCompressors();
    QVERIFY(!all.empty());
    CompressorDialog dialog(CompressOptions{}, nullptr);
    auto* list = Control<QComboBox>(dialog, "compressor");
    QCOMPARE(list->count(), static_cast<int>(all.size()));
    QCOMPARE(list->currentText(), QStringLiteral("Full Frames (Uncompressed)"));
    for (size_t i = 0; i < all.size(); ++i) {
      list->setCurrentIndex(static_cast<int>(i));
      QCOMPARE(list->currentText(), QString::fromStdString(all[i].display_name));
      QCOMPARE(Control<QSpinBox>(dialog, "keyframe_every")->isEnabled(),
               all[i].honours_keyframe_every);
      QCOMPARE(Control<QSpinBox>(dialog, "data_rate")->isEnabled(), all[i].honours_data_rate);
      QCOMPARE(Control<QSpinBox>(dialog, "quality")->isEnabled(), all[i].honours_quality);
    }
    list->setCurrentIndex(0);
    QCOMPARE(dialog.Choice(), CompressOptions{});  // uncompressed is the all-zero record
  }

  void compressorDialogStartsFromThePreviousChoice() {
    if (Index_Of_Compressor("mjpeg") < 0) QSKIP("no MJPEG encoder");
    CompressOptions options;
    options.compressor = "mjpeg";
    options.quality = 70;
    options.keyframe_every = 5;
    {
      WhenModal<CompressorDialog> check([](CompressorDialog* d) {
        QCOMPARE(Control<QComboBox>(*d, "compressor")->currentText(),
                 QStringLiteral("Motion JPEG"));
        QCOMPARE(Control<QSpinBox>(*d, "quality")->value(), 70);
        Control<QSpinBox>(*d, "quality")->setValue(40);
        Control<QPushButton>(*d, "cancel")->click();
      });
      QVERIFY(!Choose_Compressor(nullptr, options));
    }
    QCOMPARE(options.quality, 70);  // a cancelled dialog changes nothing
    {
      WhenModal<CompressorDialog> choose([](CompressorDialog* d) {
        Control<QSpinBox>(*d, "quality")->setValue(40);
        Control<QPushButton>(*d, "ok")->click();
      });
      QVERIFY(Choose_Compressor(nullptr, options));
    }
    QCOMPARE(options.compressor, std::string("mjpeg"));
    QCOMPARE(options.quality, 40);
    QCOMPARE(options.keyframe_every, 5);
  }

  void wholeJobsThroughTheDialogs() {
    if (!Have_Ffprobe()) QSKIP("ffprobe/ffmpeg not installed");
    const int ffv1 = Index_Of_Compressor("ffv1");
    if (ffv1 < 0) QSKIP("no FFV1 encoder");
    TempFiles job_files;
    MessageLog log;
    AppWindow w;

    // Input through the file dialog, then the probe.
    Choose_File(Control<QPushButton>(w.app.input_page, "1006"), good_);
    w.Select(MainDialog::kOutputPage);
    QVERIFY(w.app.frame_source.is_open);
    // Output through the file dialog: "avi" is added to a bare name.
    Choose_File(Control<QPushButton>(w.app.output_page, "1017"),
                job_files.Path(QStringLiteral("movie")));
    const QString movie = job_files.Path(QStringLiteral("movie.avi"));
    QCOMPARE(QFileInfo(Control<QLineEdit>(w.app.output_page, "1015")->text()), QFileInfo(movie));

    QElapsedTimer clock;
    {
      WhenModal<CompressorDialog> compressor([&](CompressorDialog* d) {
        // The first job of the run starts from the all-zero choice.
        QCOMPARE(Control<QComboBox>(*d, "compressor")->currentIndex(), 0);
        Control<QComboBox>(*d, "compressor")->setCurrentIndex(ffv1);
        Control<QPushButton>(*d, "ok")->click();
        clock.start();
      });
      WhenModal<ProgressDialog> progress([](ProgressDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Vidorlan MPEG Progress"));
      });
      w.start().click();
      QCOMPARE(compressor.calls(), 1);
      QCOMPARE(progress.calls(), 1);
    }
    // The dialog closed on its first tick after the worker had finished.
    QVERIFY(clock.elapsed() < 2 * ProgressDialog::kTickMilliseconds);
    QVERIFY2(log.entries.empty(), qPrintable(log.Texts().join(QStringLiteral("; "))));
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(!w.start().isEnabled());
    QVERIFY(w.app.input_file_names.Empty());
    QVERIFY(!Control<QWidget>(w.app.output_page, "1015")->isEnabled());
    auto probe = Probe(movie);
    QCOMPARE(probe["codec_name"], std::string("ffv1"));
    QCOMPARE(probe["width"], std::string("48"));
    QCOMPARE(probe["height"], std::string("48"));  // 32 rows at 4:3, rounded up to 16
    QCOMPARE(probe["r_frame_rate"], std::string("25/1"));
    QCOMPARE(avi_test::CountFrames(QFile::encodeName(movie).toStdString()), int64_t{3});

    // A second job on a fresh probe of the same list: split every frame,
    // 2 frames, and the compressor dialog starts from the first job's choice.
    w.Select(MainDialog::kInputPage);
    w.Select(MainDialog::kProcessingPage);
    QVERIFY(w.app.frame_source.is_open);
    Check(w.app.processing_page, "1037");
    Set_Text(w.app.processing_page, "1038", QStringLiteral("2"));
    Set_Text(w.app.output_page, "1015", job_files.Path(QStringLiteral("part.avi")));
    Check(w.app.output_page, "1035");
    Set_Text(w.app.output_page, "1023", QStringLiteral("1"));
    {
      WhenModal<CompressorDialog> compressor([&](CompressorDialog* d) {
        QCOMPARE(Control<QComboBox>(*d, "compressor")->currentIndex(), ffv1);
        Control<QPushButton>(*d, "ok")->click();
      });
      w.start().click();
      QCOMPARE(compressor.calls(), 1);
    }
    QVERIFY(log.entries.empty());
    QVERIFY(!w.app.frame_source.is_open);
    for (const char* name : {"part0.avi", "part1.avi"}) {
      QCOMPARE(avi_test::CountFrames(QFile::encodeName(job_files.Path(name)).toStdString()),
               int64_t{1});
    }
    QVERIFY(!QFile::exists(job_files.Path(QStringLiteral("part2.avi"))));
  }

  void aFailingJobIsReportedOnceByTheProgressDialog() {
    TempFiles job_files;
    StreamParams long_stream;
    long_stream.pictures = 40;
    const QString input = job_files.Write(QStringLiteral("long.m2v"), Compose_Stream(long_stream));
    MessageLog log;
    bool owned_by_progress = false;
    bool timer_stopped = false;
    log.on_message = [&] {
      // While the message is up: owned by the progress dialog, whose clock
      // no longer runs, so no second message can come.
      auto* owner = qobject_cast<ProgressDialog*>(log.entries.back().owner.data());
      owned_by_progress = owner != nullptr && owner->isVisible();
      if (owner != nullptr) {
        timer_stopped = !owner->findChild<QTimer*>(QStringLiteral("tick"))->isActive();
      }
    };
    AppWindow w;
    WhenModal<CompressorDialog> compressor([](CompressorDialog* d) { d->accept(); });
    w.Open({input});
    Set_Text(w.app.output_page, "1015", job_files.Path(QStringLiteral("full.avi")));
    {
      // As a disk that fills up after a few frames.
      avi_test::FileSizeLimit limit(100 * 1024);  // headers and a few frames
      w.start().click();
    }
    QCOMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kWriteError)});
    QVERIFY(owned_by_progress);
    QCOMPARE(log.entries[0].caption, QStringLiteral("Vidorlan Message"));
    QVERIFY(timer_stopped);
    QCOMPARE(w.app.conversion_progress.worker_finished.load(), 1);
    QCOMPARE(w.app.conversion_progress.job_state.load(), int32_t{JOB_WRITE_ERROR});
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(!w.start().isEnabled());
  }

  void aWorkerThatCannotStartIsReportedWithoutTheProgressDialog() {
    TempFiles job_files;
    MessageLog log;
    bool progress_seen = false;
    log.on_message = [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<ProgressDialog*>(widget) != nullptr) progress_seen = true;
      }
    };
    AppWindow w;
    WhenModal<CompressorDialog> compressor([](CompressorDialog* d) { d->accept(); });
    WhenModal<ProgressDialog> progress([](ProgressDialog* d) { d->reject(); });
    w.dialog.SetJobLauncher([](std::function<void()>, std::thread*) { return false; });
    w.Open({good_});
    Set_Text(w.app.output_page, "1015", job_files.Path(QStringLiteral("never.avi")));
    w.start().click();
    QCOMPARE(log.Texts(), QStringList{QString::fromLatin1(messages::kWriteError)});
    QCOMPARE(log.entries[0].owner.data(), &w.dialog);
    QVERIFY(!progress_seen);
    QCOMPARE(progress.calls(), 0);
    // Nothing was read: the stream is still there for another try.
    QVERIFY(w.app.frame_source.is_open);
    QVERIFY(w.start().isEnabled());
  }

  void cancelWaitsForTheWorker_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
  }

  void cancelWaitsForTheWorker() {
    QFETCH(QString, how);
    if (!Have_Ffprobe()) QSKIP("ffprobe/ffmpeg not installed");
    TempFiles job_files;
    MessageLog log;
    AppWindow w;
    ConversionProgress& record = w.app.conversion_progress;
    // A worker that blocks until it is asked to stop, then writes the frame
    // in progress and ends.
    w.dialog.SetJobLauncher([&record](std::function<void()> work, std::thread* thread) {
      *thread = std::thread([&record, work = std::move(work)] {
        while (record.cancel_requested.load() == 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        work();
      });
      return true;
    });
    WhenModal<CompressorDialog> compressor([](CompressorDialog* d) { d->accept(); });
    int32_t finished_before = -1;
    int32_t finished_after = -1;
    WhenModal<ProgressDialog> cancel([&](ProgressDialog* d) {
      finished_before = record.worker_finished.load();
      if (how == "button") {
        Control<QPushButton>(*d, "2")->click();
      } else if (how == "escape") {
        QTest::keyClick(d, Qt::Key_Escape);
      } else {
        d->close();
      }
      finished_after = record.worker_finished.load();
    });
    w.Open({good_});
    const QString output = job_files.Path(QStringLiteral("cancelled.avi"));
    Set_Text(w.app.output_page, "1015", output);
    w.start().click();
    QCOMPARE(cancel.calls(), 1);
    QCOMPARE(finished_before, 0);
    QCOMPARE(finished_after, 1);  // the dialog returned only after the worker
    QVERIFY(log.entries.empty());
    QCOMPARE(record.job_state.load(), int32_t{JOB_OK});
    QVERIFY(!w.app.frame_source.is_open);
    QVERIFY(!w.start().isEnabled());
    // The frame in progress was written and the file closed properly.
    QCOMPARE(avi_test::CountFrames(QFile::encodeName(output).toStdString()), int64_t{1});
  }
};

QTEST_MAIN(StartConversionTest)
#include "test_start_conversion.moc"
