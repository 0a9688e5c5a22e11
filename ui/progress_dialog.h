// The progress window "Vidorlan MPEG Progress", shown modally while a job's
// worker runs.
//
// It shows the elapsed time, the input file being read, the frames and
// KBytes written, a bar and an estimate of the remaining time, all from the
// record the worker publishes: the starting figures as soon as it opens,
// then once a second. It closes by itself on the first tick after the worker
// has finished, reporting a failed job once; Cancel (also Escape and the
// close box) asks the worker to stop and waits for it. It never closes while
// the worker runs.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "convert/conversion_job.h"
#include "ui/input_file_names.h"

class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // The bar runs from 0 to kBarRange; one tick every kTickMilliseconds.
  static constexpr int kBarRange = 1000;
  static constexpr int kTickMilliseconds = 1000;

  // `job` has been started (or failed to start, in which case nothing is
  // waited for); the others are what it publishes and reads.
  ProgressDialog(ConversionJob& job, const ConversionProgress& progress,
                 const ConversionSettings& settings, const InputFileNames& input_file_names,
                 QWidget* owner);

  // One timer tick: the figures, then the end of the job if it is over.
  void Tick();

  int elapsed_seconds() const { return elapsed_seconds_; }

  // The cancel command: stop the timer, ask the worker to stop, wait for it
  // to finish, close.
  void reject() override;

 private:
  // The figures for `elapsed_seconds_` from the record as it stands.
  void ShowFigures();
  void ShowCurrentFile(const char* path);

  ConversionJob& job_;
  const ConversionProgress& progress_;
  const ConversionSettings& settings_;
  const InputFileNames& input_file_names_;
  int elapsed_seconds_ = 0;
  QTimer timer_{this};
  // Controls in their tab order.
  QProgressBar bar_{this};
  QLabel current_file_label_{this};
  QLabel current_file_{this};
  QLabel frames_label_{this};
  QLabel frames_{this};
  QLabel kbytes_label_{this};
  QLabel kbytes_{this};
  QLabel elapsed_label_{this};
  QLabel elapsed_{this};
  QLabel remaining_label_{this};
  QLabel remaining_{this};
  QPushButton cancel_{this};
};
