// The Processing page: the opened stream's properties and the picture
// options of a job (crop band, deinterlacing, display shape, frame rate,
// number of frames).
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QWidget>

#include "convert/conversion_job.h"
#include "ui/read_only_list.h"

class ConverterApp;

class ProcessingPage : public QWidget {
  Q_OBJECT

 public:
  explicit ProcessingPage(ConverterApp& app);

  // Greys out the option controls (not the group boxes), leaving their
  // contents as they are.
  void DisableProcessingControls();

  // For an open stream: the five property lines, the crop band of the whole
  // coded picture, deinterlacing on exactly when the sequence may be
  // interlaced, the stream's display shape and frame rate as defaults, all
  // frames; the frame count text is kept. Nothing when no stream is open.
  void ShowStreamProperties();

  // The page's part of the start form, as the controls stand.
  void ReadStartForm(StartForm* form) const;

 private:
  ConverterApp& app_;
  // Shared by the number edits, which take digits only.
  QRegularExpressionValidator digits_only_{QRegularExpression(QStringLiteral("[0-9]*")), this};
  // Controls in their tab order.
  QGroupBox properties_group_{this};
  ReadOnlyList property_list_{this};
  QGroupBox spatial_group_{this};
  QCheckBox deinterlace_{this};
  QLabel aspect_label_{this};
  QComboBox aspect_list_{this};
  QLabel crop_top_label_{this};
  QLineEdit crop_top_{this};
  QLabel crop_height_label_{this};
  QLineEdit crop_height_{this};
  QGroupBox temporal_group_{this};
  QLabel frame_rate_label_{this};
  QComboBox frame_rate_list_{this};
  QRadioButton all_frames_{this};
  QRadioButton some_frames_{this};
  QLineEdit frame_count_{this};
  QLabel frames_label_{this};
  QButtonGroup frames_choice_{this};
};
