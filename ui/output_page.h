// The Output page: the path of the AVI file, the choice of splitting the
// output into numbered files every N MBytes or N frames, and the audio: no
// audio or one of the input's audio streams, decoded to PCM or as it is.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QWidget>
#include <array>
#include <memory>

#include "convert/conversion_job.h"

class QFileDialog;

class OutputPage : public QWidget {
  Q_OBJECT

 public:
  // Longest output path the edit takes.
  static constexpr int kMaxPathLength = 254;

  OutputPage();
  ~OutputPage() override;

  // Greys out everything but the group box, leaving contents and the split
  // choice as they are.
  void DisableOutputControls();

  // After a successful open of `stream`: no output path, no splitting, all
  // enabled; the audio list holds "No audio" (chosen) and the stream's
  // audio streams, decoded PCM chosen, and is greyed out when there is no
  // audio stream (an elementary video stream has none). The two split
  // values keep what the user typed.
  void ResetOutputControls(const StreamInfo& stream);

  // The page's part of the start form, as the controls stand.
  void ReadStartForm(StartForm* form) const;

 private:
  void OnChoose();
  // The controls that DisableOutputControls greys out.
  std::array<QWidget*, 14> OutputControls();

  // Shared by the two split values, which take digits only.
  QRegularExpressionValidator digits_only_{QRegularExpression(QStringLiteral("[0-9]*")), this};
  // Controls in their tab order.
  QGroupBox output_group_{this};
  QLabel path_label_{this};
  QLineEdit path_{this};
  QPushButton choose_{this};
  QRadioButton no_split_{this};
  QRadioButton split_by_size_{this};
  QLineEdit split_mbytes_{this};
  QLabel mbytes_label_{this};
  QRadioButton split_by_frames_{this};
  QLineEdit split_frames_{this};
  QLabel frames_label_{this};
  QButtonGroup split_choice_{this};
  QGroupBox audio_group_{this};
  QLabel audio_label_{this};
  QComboBox audio_stream_{this};
  QLabel audio_format_label_{this};
  QComboBox audio_format_{this};
  // Made at the first Choose... (opening in the folder remembered from
  // earlier runs) and kept, so that it reopens at the last choice.
  std::unique_ptr<QFileDialog> file_dialog_;
};
