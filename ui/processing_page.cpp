#include "ui/processing_page.h"

#include <string>

#include "convert/stream_properties.h"
#include "ui/converter_app.h"
#include "ui/dialog_units.h"

namespace {

// A centred edit of at most `max_digits` characters.
void Make_Number_Edit(QLineEdit& edit, int max_digits, const QValidator& digits_only) {
  edit.setMaxLength(max_digits);
  edit.setAlignment(Qt::AlignCenter);
  edit.setValidator(&digits_only);
}

void Make_Label(QLabel& label, const char* id, const char* text, Qt::Alignment alignment,
                QWidget* buddy) {
  label.setObjectName(QString::fromLatin1(id));
  label.setText(QString::fromLatin1(text));
  label.setAlignment(alignment | Qt::AlignVCenter);
  label.setWordWrap(false);
  if (buddy != nullptr) label.setBuddy(buddy);
}

}  // namespace

ProcessingPage::ProcessingPage(ConverterApp& app) : app_(app) {
  properties_group_.setObjectName(QStringLiteral("1030"));
  properties_group_.setTitle(QStringLiteral("Input Stream Properties"));
  property_list_.setObjectName(QStringLiteral("1010"));
  property_list_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  spatial_group_.setObjectName(QStringLiteral("1055"));
  spatial_group_.setTitle(QStringLiteral("Spatial Options"));
  deinterlace_.setObjectName(QStringLiteral("1060"));
  deinterlace_.setText(QStringLiteral("&Deinterlacing"));
  Make_Label(aspect_label_, "1075", "Aspect &Ratio:", Qt::AlignRight, &aspect_list_);
  aspect_list_.setObjectName(QStringLiteral("1074"));
  for (const char* item : kAspectRatioItems) aspect_list_.addItem(QString::fromLatin1(item));
  aspect_list_.setCurrentIndex(-1);
  Make_Label(crop_top_label_, "1052", "Crop &top offset:", Qt::AlignRight, &crop_top_);
  crop_top_.setObjectName(QStringLiteral("1054"));
  Make_Number_Edit(crop_top_, 10, digits_only_);
  Make_Label(crop_height_label_, "1057", "Crop &height:", Qt::AlignRight, &crop_height_);
  crop_height_.setObjectName(QStringLiteral("1059"));
  Make_Number_Edit(crop_height_, 10, digits_only_);
  temporal_group_.setObjectName(QStringLiteral("1026"));
  temporal_group_.setTitle(QStringLiteral("Temporal Options"));
  Make_Label(frame_rate_label_, "1032", "&Frame rate:", Qt::AlignRight, &frame_rate_list_);
  frame_rate_list_.setObjectName(QStringLiteral("1031"));
  for (const char* item : kFrameRateItems) frame_rate_list_.addItem(QString::fromLatin1(item));
  frame_rate_list_.setCurrentIndex(-1);
  all_frames_.setObjectName(QStringLiteral("1036"));
  all_frames_.setText(QStringLiteral("Process a&ll frames"));
  some_frames_.setObjectName(QStringLiteral("1037"));
  some_frames_.setText(QStringLiteral("Pro&cess"));
  frame_count_.setObjectName(QStringLiteral("1038"));
  Make_Number_Edit(frame_count_, 8, digits_only_);
  Make_Label(frames_label_, "1039", "frames", Qt::AlignLeft, nullptr);
  frames_choice_.addButton(&all_frames_);
  frames_choice_.addButton(&some_frames_);

  Place_Control(properties_group_, 7, 7, 206, 65);
  Place_Control(property_list_, 12, 17, 195, 51);
  Place_Control(spatial_group_, 7, 75, 206, 44);
  Place_Control(deinterlace_, 15, 88, 57, 10);
  Place_Control(aspect_label_, 19, 102, 44, 12);
  Place_Control(aspect_list_, 65, 102, 48, 12);
  Place_Control(crop_top_label_, 118, 84, 49, 12);
  Place_Control(crop_top_, 170, 84, 37, 12);
  Place_Control(crop_height_label_, 128, 102, 39, 12);
  Place_Control(crop_height_, 170, 102, 37, 12);
  Place_Control(temporal_group_, 7, 125, 118, 56);
  Place_Control(frame_rate_label_, 25, 135, 38, 12);
  Place_Control(frame_rate_list_, 65, 135, 48, 12);
  Place_Control(all_frames_, 14, 152, 73, 10);
  Place_Control(some_frames_, 14, 165, 40, 10);
  Place_Control(frame_count_, 57, 163, 37, 12);
  Place_Control(frames_label_, 98, 164, 22, 10);
  resize(Dialog_Rect_To_Pixels(0, 0, 220, 188).size());  // until the tab control sizes it
  Fit_Controls(*this);
}

void ProcessingPage::DisableProcessingControls() {
  for (QWidget* control : std::initializer_list<QWidget*>{
           &property_list_, &deinterlace_, &aspect_list_, &crop_top_, &crop_height_,
           &frame_rate_list_, &all_frames_, &some_frames_, &frame_count_, &frames_label_,
           &frame_rate_label_, &aspect_label_, &crop_top_label_, &crop_height_label_}) {
    control->setEnabled(false);
  }
}

void ProcessingPage::ShowStreamProperties() {
  const FrameSource& source = app_.frame_source;
  if (!source.is_open) return;
  const StreamInfo& info = source.stream_info;

  property_list_.clear();
  for (const std::string& line : Stream_Property_Lines(info)) {
    property_list_.addItem(QString::fromStdString(line));
  }
  crop_top_.setText(QStringLiteral("0"));
  crop_height_.setText(QString::number(static_cast<unsigned>(info.coded_height)));
  const bool may_be_interlaced = info.progressive_sequence == 0;
  deinterlace_.setChecked(may_be_interlaced);
  deinterlace_.setEnabled(may_be_interlaced);
  aspect_list_.setCurrentIndex(Default_Aspect_Index(info.aspect_ratio_information));
  frame_rate_list_.setCurrentIndex(Default_Frame_Rate_Index(info));
  all_frames_.setChecked(true);

  for (QWidget* control : std::initializer_list<QWidget*>{
           &property_list_, &aspect_list_, &crop_top_, &crop_height_, &frame_rate_list_,
           &frame_rate_label_, &all_frames_, &some_frames_, &frame_count_, &frames_label_,
           &aspect_label_, &crop_top_label_, &crop_height_label_}) {
    control->setEnabled(true);
  }
}

void ProcessingPage::ReadStartForm(StartForm* form) const {
  form->deinterlace = deinterlace_.isChecked();
  form->process_all_frames = all_frames_.isChecked();
  form->frame_count = Read_Number_Edit(frame_count_.text().toStdString());
  form->aspect_selection = aspect_list_.currentIndex();
  form->crop_top = Read_Unsigned_Edit(crop_top_.text().toStdString());
  form->crop_height = Read_Unsigned_Edit(crop_height_.text().toStdString());
  form->frame_rate_selection = frame_rate_list_.currentIndex();
}
