#include "ui/compressor_dialog.h"

#include <QPushButton>

namespace {

void Make_Setting(QLabel& label, const char* label_text, QSpinBox& box, const char* id, int maximum,
                  const char* zero_text, const char* suffix) {
  label.setText(QString::fromLatin1(label_text));
  label.setBuddy(&box);
  box.setObjectName(QString::fromLatin1(id));
  box.setRange(0, maximum);
  box.setSpecialValueText(QString::fromLatin1(zero_text));  // shown for 0
  box.setSuffix(QString::fromLatin1(suffix));
}

}  // namespace

CompressorDialog::CompressorDialog(const CompressOptions& start, QWidget* owner)
    : QDialog(owner), compressors_(AvailableCompressors()) {
  setWindowTitle(QStringLiteral("Video Compression"));
  setModal(true);

  compressor_label_.setText(QStringLiteral("&Compressor:"));
  compressor_label_.setBuddy(&compressor_);
  compressor_.setObjectName(QStringLiteral("compressor"));
  int selected = 0;
  for (size_t i = 0; i < compressors_.size(); ++i) {
    const CompressorInfo& info = compressors_[i];
    compressor_.addItem(QString::fromStdString(info.display_name));
    const bool is_start =
        start.compressor.empty() ? info.name == "uncompressed" : info.name == start.compressor;
    if (is_start) selected = static_cast<int>(i);
  }
  Make_Setting(keyframe_label_, "&Key frame every:", keyframe_every_, "keyframe_every", 100000,
               "Default", " frames");
  Make_Setting(data_rate_label_, "&Data rate:", data_rate_, "data_rate", 1000000, "None", " KB/s");
  Make_Setting(quality_label_, "&Quality:", quality_, "quality", 100, "Default", "");
  keyframe_every_.setValue(start.keyframe_every);
  data_rate_.setValue(start.data_rate);
  quality_.setValue(start.quality);

  buttons_.setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons_.button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
  buttons_.button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));

  layout_.addWidget(&compressor_label_, 0, 0);
  layout_.addWidget(&compressor_, 0, 1);
  layout_.addWidget(&keyframe_label_, 1, 0);
  layout_.addWidget(&keyframe_every_, 1, 1);
  layout_.addWidget(&data_rate_label_, 2, 0);
  layout_.addWidget(&data_rate_, 2, 1);
  layout_.addWidget(&quality_label_, 3, 0);
  layout_.addWidget(&quality_, 3, 1);
  layout_.addWidget(&buttons_, 4, 0, 1, 2);
  layout_.setSizeConstraint(QLayout::SetFixedSize);

  connect(&compressor_, &QComboBox::currentIndexChanged, this,
          &CompressorDialog::OnCompressorChanged);
  connect(&buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(&buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  compressor_.setCurrentIndex(selected);
  OnCompressorChanged(selected);
}

void CompressorDialog::OnCompressorChanged(int index) {
  const bool valid = index >= 0 && index < static_cast<int>(compressors_.size());
  const CompressorInfo none;
  const CompressorInfo& info = valid ? compressors_[static_cast<size_t>(index)] : none;
  keyframe_label_.setEnabled(info.honours_keyframe_every);
  keyframe_every_.setEnabled(info.honours_keyframe_every);
  data_rate_label_.setEnabled(info.honours_data_rate);
  data_rate_.setEnabled(info.honours_data_rate);
  quality_label_.setEnabled(info.honours_quality);
  quality_.setEnabled(info.honours_quality);
}

CompressOptions CompressorDialog::Choice() const {
  CompressOptions choice;
  const int index = compressor_.currentIndex();
  if (index >= 0 && index < static_cast<int>(compressors_.size())) {
    const std::string& name = compressors_[static_cast<size_t>(index)].name;
    choice.compressor = name == "uncompressed" ? std::string() : name;
  }
  choice.keyframe_every = keyframe_every_.value();
  choice.data_rate = data_rate_.value();
  choice.quality = quality_.value();
  return choice;
}

bool Choose_Compressor(QWidget* owner, CompressOptions& options) {
  CompressorDialog dialog(options, owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  options = dialog.Choice();
  return true;
}
