// The compressor dialog: where the user picks the video compressor and its
// settings for a job. It is the AVI writer's choose-compressor hook while
// the main window exists.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <vector>

#include "platform/compressor.h"

class CompressorDialog : public QDialog {
  Q_OBJECT

 public:
  // Starts from `start` (all zero: "Full Frames (Uncompressed)" with the
  // compressor's defaults).
  CompressorDialog(const CompressOptions& start, QWidget* owner);

  // The choice as the controls stand. Settings the chosen compressor does
  // not honour are kept as they are (it ignores them), so that going back
  // to another compressor finds them again.
  CompressOptions Choice() const;

 private:
  void OnCompressorChanged(int index);

  std::vector<CompressorInfo> compressors_;
  QGridLayout layout_{this};
  QLabel compressor_label_{this};
  QComboBox compressor_{this};
  QLabel keyframe_label_{this};
  QSpinBox keyframe_every_{this};
  QLabel data_rate_label_{this};
  QSpinBox data_rate_{this};
  QLabel quality_label_{this};
  QSpinBox quality_{this};
  QDialogButtonBox buttons_{this};
};

// Runs the dialog modally over `owner`, starting from `options`. On OK the
// choice is written to `options` and the result is true; Cancel leaves
// `options` unchanged and returns false.
bool Choose_Compressor(QWidget* owner, CompressOptions& options);
