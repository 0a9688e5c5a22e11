#include "tools/synth/stream_writer.h"

#include <cstdio>
#include <cstdlib>

#include "tools/synth/motion_coding.h"

namespace synth {
namespace {

[[noreturn]] void Fail(const char* what, int a = 0, int b = 0) {
  std::fprintf(stderr, "synth: stream writer: %s (%d, %d)\n", what, a, b);
  std::abort();
}

void Require(bool condition, const char* what, int a = 0, int b = 0) {
  if (!condition) Fail(what, a, b);
}

constexpr uint8_t kPictureStartCode = 0x00;
constexpr uint8_t kUserDataStartCode = 0xB2;
constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr uint8_t kExtensionStartCode = 0xB5;
constexpr uint8_t kSequenceEndCode = 0xB7;
constexpr uint8_t kGroupStartCode = 0xB8;

constexpr int kSequenceExtensionId = 1;
constexpr int kSequenceDisplayExtensionId = 2;
constexpr int kQuantMatrixExtensionId = 3;
constexpr int kPictureCodingExtensionId = 8;

constexpr int kIntra = 1;
constexpr int kPattern = 2;
constexpr int kBackward = 4;
constexpr int kForward = 8;
constexpr int kQuant = 16;

Matrix DefaultIntraMatrix() {
  Matrix m;
  for (int i = 0; i < 64; ++i) m[i] = kDefaultIntraQuantiserMatrix[i];
  return m;
}

Matrix FlatMatrix() {
  Matrix m;
  m.fill(16);
  return m;
}

int BitLength(int magnitude) {
  int size = 0;
  while (magnitude >> size) ++size;
  return size;
}

// The settings, once they are known to describe a picture the writer and
// the reconstruction can hold.
const SequenceSettings& Checked(const SequenceSettings& s) {
  Require(s.horizontal_size > 0 && s.horizontal_size < (1 << 14), "horizontal_size",
          s.horizontal_size);
  Require(s.vertical_size > 0 && s.vertical_size < (1 << 14), "vertical_size", s.vertical_size);
  Require(s.mpeg2 || (s.horizontal_size < 4096 && s.vertical_size < 4096), "MPEG-1 picture size");
  Require(s.chroma_format >= 1 && s.chroma_format <= 3, "chroma_format", s.chroma_format);
  Require(s.mpeg2 || s.chroma_format == 1, "MPEG-1 is 4:2:0");
  return s;
}

}  // namespace

StreamWriter::StreamWriter(const SequenceSettings& settings)
    : sequence_(Checked(settings)),
      coded_width_(16 * ((settings.horizontal_size + 15) / 16)),
      coded_height_(settings.mpeg2 && !settings.progressive_sequence
                        ? 32 * ((settings.vertical_size + 31) / 32)
                        : 16 * ((settings.vertical_size + 15) / 16)),
      model_(settings.mpeg2 ? settings.chroma_format : 1, coded_width_, coded_height_) {}

int StreamWriter::mb_rows() const {
  return IsFieldPicture() ? coded_height_ / 32 : coded_height_ / 16;
}

void StreamWriter::SequenceHeader() {
  EndPicture();
  const SequenceSettings& s = sequence_;
  out_.StartCode(kSequenceHeaderCode);
  out_.Put(s.horizontal_size & 0xFFF, 12);
  out_.Put(s.vertical_size & 0xFFF, 12);
  out_.Put(s.aspect_ratio_information, 4);
  out_.Put(s.frame_rate_code, 4);
  out_.Put(s.mpeg2 ? 12500 : 0x3FFFF, 18);  // bit_rate_value (MPEG-1: variable)
  out_.PutBit(1);                           // marker_bit
  out_.Put(s.mpeg2 ? 112 : 20, 10);         // vbv_buffer_size_value
  out_.PutBit(0);                           // constrained_parameters_flag
  intra_matrix_ = s.intra_matrix ? *s.intra_matrix : DefaultIntraMatrix();
  non_intra_matrix_ = s.non_intra_matrix ? *s.non_intra_matrix : FlatMatrix();
  out_.PutBit(s.intra_matrix ? 1 : 0);
  if (s.intra_matrix) PutMatrix(*s.intra_matrix);
  out_.PutBit(s.non_intra_matrix ? 1 : 0);
  if (s.non_intra_matrix) PutMatrix(*s.non_intra_matrix);
  chroma_intra_matrix_ = intra_matrix_;
  chroma_non_intra_matrix_ = non_intra_matrix_;
  if (!s.mpeg2) return;

  out_.StartCode(kExtensionStartCode);
  out_.Put(kSequenceExtensionId, 4);
  out_.Put(s.profile_and_level_indication, 8);
  out_.PutBit(s.progressive_sequence ? 1 : 0);
  out_.Put(s.chroma_format, 2);
  out_.Put(s.horizontal_size >> 12, 2);
  out_.Put(s.vertical_size >> 12, 2);
  out_.Put(0, 12);  // bit_rate_extension
  out_.PutBit(1);   // marker_bit
  out_.Put(0, 8);   // vbv_buffer_size_extension
  out_.PutBit(0);   // low_delay
  out_.Put(0, 2);   // frame_rate_extension_n
  out_.Put(0, 5);   // frame_rate_extension_d

  if (s.display_extension) {
    out_.StartCode(kExtensionStartCode);
    out_.Put(kSequenceDisplayExtensionId, 4);
    out_.Put(5, 3);                      // video_format: none given
    out_.PutBit(1);                      // colour_description
    out_.Put(s.matrix_coefficients, 8);  // colour_primaries: the same family
    out_.Put(s.matrix_coefficients, 8);  // transfer_characteristics
    out_.Put(s.matrix_coefficients, 8);  // matrix_coefficients
    out_.Put(s.horizontal_size, 14);     // display_horizontal_size
    out_.PutBit(1);
    out_.Put(s.vertical_size, 14);  // display_vertical_size
  }
}

void StreamWriter::UserData(std::string_view text) {
  out_.StartCode(kUserDataStartCode);
  for (char c : text) out_.Put(static_cast<uint8_t>(c), 8);
}

void StreamWriter::GroupOfPictures(bool closed_gop, bool broken_link) {
  EndPicture();
  out_.StartCode(kGroupStartCode);
  out_.PutBit(0);  // drop_frame_flag
  out_.Put(0, 5);  // time_code_hours
  out_.Put(0, 6);  // time_code_minutes
  out_.PutBit(1);  // marker_bit
  out_.Put(0, 6);  // time_code_seconds
  out_.Put(0, 6);  // time_code_pictures
  out_.PutBit(closed_gop ? 1 : 0);
  out_.PutBit(broken_link ? 1 : 0);
}

void StreamWriter::Picture(const PictureSettings& p) {
  EndPicture();
  const bool mpeg2 = sequence_.mpeg2;
  const int type = p.picture_coding_type;
  Require(type >= 1 && type <= (mpeg2 ? 3 : 4), "picture_coding_type", type);
  Require(mpeg2 || p.picture_structure == 3, "MPEG-1 has frame pictures only");
  Require(p.picture_structure >= 1 && p.picture_structure <= 3, "picture_structure",
          p.picture_structure);
  Require(p.picture_structure == 3 || !sequence_.progressive_sequence,
          "field pictures in a progressive sequence");
  Require(p.picture_structure == 3 || !p.frame_pred_frame_dct,
          "field pictures have frame_pred_frame_dct 0");
  Require(p.intra_dc_precision >= 0 && p.intra_dc_precision <= 3, "intra_dc_precision");
  // f_code of a direction in use: 1..9 (MPEG-1: 1..7, one for both
  // components); MPEG-2 marks the others with 15.
  const bool used[2] = {type == 2 || type == 3 || (type == 1 && p.concealment_motion_vectors),
                        type == 3};
  for (int s = 0; s < 2; ++s) {
    for (int t = 0; t < 2; ++t) {
      const int f = p.f_code[s][t];
      if (!mpeg2) {
        if (used[s] && t == 0) Require(f >= 1 && f <= 7, "MPEG-1 f_code", s, f);
      } else if (used[s]) {
        Require(f >= 1 && f <= 9, "f_code", s, f);
      } else {
        Require(f == 15 || (f >= 1 && f <= 9), "f_code", s, f);
      }
    }
  }
  picture_ = p;
  picture_open_ = true;
  ++picture_count_;
  covered_.assign(static_cast<size_t>(mb_width() * mb_rows()), false);
  slice_ = SliceState();

  out_.StartCode(kPictureStartCode);
  out_.Put(p.temporal_reference & 1023, 10);
  out_.Put(type, 3);
  out_.Put(0xFFFF, 16);  // vbv_delay
  if (type == 2 || type == 3) {
    out_.PutBit(mpeg2 ? 0 : p.full_pel_forward_vector);
    out_.Put(mpeg2 ? 7 : p.f_code[0][0], 3);
  }
  if (type == 3) {
    out_.PutBit(mpeg2 ? 0 : p.full_pel_backward_vector);
    out_.Put(mpeg2 ? 7 : p.f_code[1][0], 3);
  }
  out_.PutBit(0);  // extra_bit_picture

  if (mpeg2) {
    out_.StartCode(kExtensionStartCode);
    out_.Put(kPictureCodingExtensionId, 4);
    for (int s = 0; s < 2; ++s) {
      for (int t = 0; t < 2; ++t) out_.Put(p.f_code[s][t], 4);
    }
    out_.Put(p.intra_dc_precision, 2);
    out_.Put(p.picture_structure, 2);
    out_.PutBit(p.top_field_first);
    out_.PutBit(p.frame_pred_frame_dct);
    out_.PutBit(p.concealment_motion_vectors);
    out_.PutBit(p.q_scale_type);
    out_.PutBit(p.intra_vlc_format);
    out_.PutBit(p.alternate_scan);
    out_.PutBit(p.repeat_first_field);
    out_.PutBit(sequence_.chroma_format == 1 ? p.progressive_frame : 0);  // chroma_420_type
    out_.PutBit(p.progressive_frame);
    out_.PutBit(0);  // composite_display_flag
    if (!p.quant_matrices.Empty()) PutQuantMatrixExtension(p.quant_matrices);
  } else {
    Require(p.quant_matrices.Empty(), "quant_matrix_extension in MPEG-1");
  }

  PictureInfo info;
  info.picture_coding_type = type;
  info.picture_structure = p.picture_structure;
  info.top_field_first = p.top_field_first;
  model_.BeginPicture(info);
}

void StreamWriter::PutMatrix(const Matrix& m) {
  for (int i = 0; i < 64; ++i) {
    const int v = m[kZigzagScan[i]];
    Require(v >= 1 && v <= 255, "quantiser matrix value", v);
    out_.Put(v, 8);
  }
}

void StreamWriter::PutQuantMatrixExtension(const QuantMatrixExtension& ext) {
  out_.StartCode(kExtensionStartCode);
  out_.Put(kQuantMatrixExtensionId, 4);
  // Loading a luminance matrix also sets the matching chrominance matrix.
  out_.PutBit(ext.intra ? 1 : 0);
  if (ext.intra) {
    PutMatrix(*ext.intra);
    intra_matrix_ = chroma_intra_matrix_ = *ext.intra;
  }
  out_.PutBit(ext.non_intra ? 1 : 0);
  if (ext.non_intra) {
    PutMatrix(*ext.non_intra);
    non_intra_matrix_ = chroma_non_intra_matrix_ = *ext.non_intra;
  }
  out_.PutBit(ext.chroma_intra ? 1 : 0);
  if (ext.chroma_intra) {
    PutMatrix(*ext.chroma_intra);
    chroma_intra_matrix_ = *ext.chroma_intra;
  }
  out_.PutBit(ext.chroma_non_intra ? 1 : 0);
  if (ext.chroma_non_intra) {
    PutMatrix(*ext.chroma_non_intra);
    chroma_non_intra_matrix_ = *ext.chroma_non_intra;
  }
}

void StreamWriter::EndPicture() {
  if (!picture_open_) return;
  for (size_t i = 0; i < covered_.size(); ++i) {
    Require(covered_[i], "macroblock not covered by any slice", static_cast<int>(i));
  }
  model_.EndPicture();
  picture_open_ = false;
  slice_ = SliceState();
}

void StreamWriter::ResetDcPredictors() {
  for (int& p : slice_.dc_pred) p = 1 << (7 + picture_.intra_dc_precision);
}

void StreamWriter::Slice(int mb_row, int quantiser_scale_code, const SliceOptions& options) {
  Require(picture_open_, "slice outside a picture");
  Require(mb_row >= 0 && mb_row < mb_rows(), "slice row", mb_row);
  Require(quantiser_scale_code >= 1 && quantiser_scale_code <= 31, "quantiser_scale_code",
          quantiser_scale_code);
  const bool extension = sequence_.mpeg2 && sequence_.vertical_size > 2800;
  const int position = extension ? (mb_row & 127) + 1 : mb_row + 1;
  Require(position <= 0xAF, "slice_vertical_position", position);
  out_.StartCode(static_cast<uint8_t>(position));
  if (extension) out_.Put(mb_row >> 7, 3);  // slice_vertical_position_extension
  out_.Put(quantiser_scale_code, 5);
  if (sequence_.mpeg2 && options.intra_slice_flag) {
    out_.PutBit(1);
    out_.PutBit(options.intra_slice);
    out_.Put(0, 7);  // reserved_bits
  } else {
    Require(!options.intra_slice_flag, "intra_slice_flag is MPEG-2 syntax");
    Require(sequence_.mpeg2 == false || options.extra_information.empty(),
            "MPEG-2 extra_information_slice needs intra_slice_flag");
  }
  for (uint8_t byte : options.extra_information) {
    out_.PutBit(1);  // extra_bit_slice
    out_.Put(byte, 8);
  }
  out_.PutBit(0);  // extra_bit_slice

  slice_ = SliceState();
  slice_.open = true;
  slice_.row = mb_row;
  slice_.previous_address = mb_row * mb_width() - 1;
  slice_.quantiser_scale_code = quantiser_scale_code;
  ResetDcPredictors();
}

QuantState StreamWriter::CurrentQuantState() const {
  QuantState q;
  q.mpeg2 = sequence_.mpeg2;
  q.chroma_format = sequence_.chroma_format;
  const int code = slice_.quantiser_scale_code;
  if (!sequence_.mpeg2) {
    q.quantiser_scale = code;
  } else {
    q.quantiser_scale = picture_.q_scale_type ? kNonLinearQuantiserScale[code] : 2 * code;
  }
  q.intra_dc_precision = sequence_.mpeg2 ? picture_.intra_dc_precision : 0;
  q.alternate_scan = picture_.alternate_scan;
  q.intra_matrix = intra_matrix_.data();
  q.non_intra_matrix = non_intra_matrix_.data();
  q.chroma_intra_matrix = chroma_intra_matrix_.data();
  q.chroma_non_intra_matrix = chroma_non_intra_matrix_.data();
  return q;
}

// Skipped macroblocks between the previous coded one and `address`.
void StreamWriter::SkipTo(int address) {
  // The first macroblock of a slice may start anywhere in its row.
  if (!slice_.have_previous || slice_.previous_address + 1 == address) return;
  CheckSkippable();
  for (int a = slice_.previous_address + 1; a < address; ++a) {
    Require(!covered_[a], "macroblock covered twice", a);
    covered_[a] = true;
    model_.SkippedMacroblock(a, slice_.previous);
    if (trace_ != nullptr) {
      MacroblockPlan skipped =
          picture_.picture_coding_type == 3 ? slice_.previous : MacroblockPlan();
      skipped.address = a;
      Trace(skipped, true);
    }
    ResetDcPredictors();
    if (picture_.picture_coding_type == 2) {
      for (auto& r : slice_.pmv) r[0][0] = r[0][1] = 0;
    }
  }
}

// Skipped macroblocks exist in P and B pictures. In B pictures they repeat
// the previous macroblock's prediction; decoders differ on what that means
// after field or 16x8 motion in a frame picture and on which field a field
// picture's skipped macroblock reads, so only the cases on which they all
// agree are written.
void StreamWriter::CheckSkippable() const {
  const int type = picture_.picture_coding_type;
  Require(type == 2 || type == 3, "skipped macroblocks in an I or D picture");
  if (type != 3) return;
  const MacroblockPlan& prev = slice_.previous;
  Require(!prev.intra, "skipped B macroblock after an intra macroblock", prev.address);
  if (!IsFieldPicture()) {
    Require(prev.motion == Motion::kFrame, "skipped B macroblock after non-frame motion",
            prev.address);
    return;
  }
  Require(prev.motion == Motion::kField, "skipped B macroblock after non-field motion",
          prev.address);
  const int parity = picture_.picture_structure == 2 ? 1 : 0;
  for (int s = 0; s < 2; ++s) {
    const bool used = s == 0 ? prev.forward : prev.backward;
    if (used) {
      Require(prev.field_select[0][s] == parity,
              "skipped B macroblock after a field vector of the other parity", prev.address);
    }
  }
}

void StreamWriter::PutAddressIncrement(int increment, int stuffing) {
  Require(stuffing == 0 || !sequence_.mpeg2, "macroblock_stuffing is MPEG-1 syntax");
  for (int i = 0; i < stuffing; ++i) out_.PutCode(kMacroblockStuffing);
  while (increment > 33) {
    out_.PutCode(kMacroblockEscape);
    increment -= 33;
  }
  out_.PutCode(CodeFor(MacroblockAddressIncrementCodes(), increment));
}

int StreamWriter::MacroblockTypeBits(const MacroblockPlan& mb) const {
  const int type = picture_.picture_coding_type;
  const bool quant = mb.quantiser_scale_code >= 0;
  if (type == 4) {
    Require(mb.intra && !quant, "D pictures hold intra macroblocks without quantiser changes");
    return kIntra;
  }
  if (mb.intra) return kIntra | (quant ? kQuant : 0);
  const bool pattern = mb.HasCoefficients();
  int bits = (pattern ? kPattern : 0) | (quant ? kQuant : 0);
  Require(!quant || pattern, "macroblock_quant needs coded blocks", mb.address);
  if (type == 1) Fail("non-intra macroblock in an I picture", mb.address);
  if (type == 2) {
    Require(!mb.backward, "backward motion in a P picture", mb.address);
    if (mb.no_motion_compensation) {
      Require(!mb.forward && pattern, "a macroblock without motion compensation must be coded",
              mb.address);
      return bits;
    }
    Require(mb.forward, "P macroblock without forward motion", mb.address);
    return bits | kForward;
  }
  Require(mb.forward || mb.backward, "B macroblock without a direction", mb.address);
  Require(!mb.no_motion_compensation, "no_motion_compensation outside P pictures");
  return bits | (mb.forward ? kForward : 0) | (mb.backward ? kBackward : 0);
}

void StreamWriter::PutVector(int pmv[2], const Vector& v, int s, bool field_in_frame,
                             bool dual_prime, const int dmvector[2]) {
  const int r_horizontal = picture_.f_code[s][0] - 1;
  const int r_vertical = picture_.f_code[s][1] - 1;
  PutMotionCode(out_, EncodeVectorComponent(pmv[0], v.x, r_horizontal), r_horizontal);
  pmv[0] = v.x;
  if (dual_prime) PutDmvector(out_, dmvector[0]);
  // Field vectors of frame pictures are predicted from, and kept as, frame
  // units; the halving rounds toward minus infinity.
  const int predictor = field_in_frame ? pmv[1] >> 1 : pmv[1];
  PutMotionCode(out_, EncodeVectorComponent(predictor, v.y, r_vertical), r_vertical);
  pmv[1] = field_in_frame ? v.y * 2 : v.y;
  if (dual_prime) PutDmvector(out_, dmvector[1]);
}

void StreamWriter::PutVectorMpeg1(int pmv[2], const Vector& v, int s) {
  const bool full_pel =
      s == 0 ? picture_.full_pel_forward_vector : picture_.full_pel_backward_vector;
  const int r_size = picture_.f_code[s][0] - 1;
  if (full_pel) {
    // Full-sample vectors are coded in whole samples; predictors are kept in
    // half samples.
    Require(v.x % 2 == 0 && v.y % 2 == 0, "odd vector with full_pel", v.x, v.y);
    PutMotionCode(out_, EncodeVectorComponent(pmv[0] / 2, v.x / 2, r_size), r_size);
    PutMotionCode(out_, EncodeVectorComponent(pmv[1] / 2, v.y / 2, r_size), r_size);
  } else {
    PutMotionCode(out_, EncodeVectorComponent(pmv[0], v.x, r_size), r_size);
    PutMotionCode(out_, EncodeVectorComponent(pmv[1], v.y, r_size), r_size);
  }
  pmv[0] = v.x;
  pmv[1] = v.y;
}

void StreamWriter::PutVectors(int s, const MacroblockPlan& mb) {
  auto& pmv = slice_.pmv;
  if (!sequence_.mpeg2) {
    PutVectorMpeg1(pmv[0][s], mb.vector[0][s], s);
    return;
  }
  const int none[2] = {0, 0};
  // Concealment vectors take the frame format in frame pictures and the
  // field format in field pictures.
  const Motion motion = mb.intra ? Motion::kAuto : mb.motion;
  if (!IsFieldPicture()) {
    switch (motion) {
      case Motion::kAuto:
      case Motion::kFrame:
        PutVector(pmv[0][s], mb.vector[0][s], s, false, false, none);
        pmv[1][s][0] = pmv[0][s][0];
        pmv[1][s][1] = pmv[0][s][1];
        return;
      case Motion::kField:
        for (int r = 0; r < 2; ++r) {
          out_.PutBit(mb.field_select[r][s]);
          PutVector(pmv[r][s], mb.vector[r][s], s, true, false, none);
        }
        return;
      case Motion::kDualPrime:
        PutVector(pmv[0][s], mb.vector[0][s], s, true, true, mb.dmvector);
        pmv[1][s][0] = pmv[0][s][0];
        pmv[1][s][1] = pmv[0][s][1];
        return;
      case Motion::k16x8:
        Fail("16x8 motion in a frame picture", mb.address);
    }
  }
  switch (motion) {
    case Motion::kAuto:
    case Motion::kField:
      out_.PutBit(mb.field_select[0][s]);
      PutVector(pmv[0][s], mb.vector[0][s], s, false, false, none);
      pmv[1][s][0] = pmv[0][s][0];
      pmv[1][s][1] = pmv[0][s][1];
      return;
    case Motion::k16x8:
      for (int r = 0; r < 2; ++r) {
        out_.PutBit(mb.field_select[r][s]);
        PutVector(pmv[r][s], mb.vector[r][s], s, false, false, none);
      }
      return;
    case Motion::kDualPrime:
      PutVector(pmv[0][s], mb.vector[0][s], s, false, true, mb.dmvector);
      pmv[1][s][0] = pmv[0][s][0];
      pmv[1][s][1] = pmv[0][s][1];
      return;
    case Motion::kFrame:
      Fail("frame motion in a field picture", mb.address);
  }
}

void StreamWriter::PutCodedBlockPattern(int cbp) {
  const int blocks = BlocksPerMacroblock(sequence_.chroma_format);
  const int extra = blocks - 6;
  const int cbp420 = cbp >> extra;
  Require(cbp420 != 0 || extra > 0, "coded_block_pattern 0 in 4:2:0");
  out_.PutCode(CodeFor(CodedBlockPatternCodes(), cbp420));
  if (extra > 0) out_.Put(cbp & ((1 << extra) - 1), extra);
}

void StreamWriter::PutCoefficient(DctTable table, const Coefficient& c, bool first) {
  const int magnitude = c.level < 0 ? -c.level : c.level;
  Require(c.run >= 0 && c.run <= 63 && magnitude > 0, "coefficient", c.run, c.level);
  if (!c.escape) {
    std::string_view code;
    if (first && c.run == 0 && magnitude == 1) {
      code = kFirstCoefficientRun0Level1;
    } else {
      code = DctCoefficientCode(table, c.run, magnitude);
    }
    if (!code.empty()) {
      out_.PutCode(code);
      out_.PutBit(c.level < 0 ? 1 : 0);
      return;
    }
  }
  out_.PutCode(kDctEscape);
  out_.Put(c.run, 6);
  if (sequence_.mpeg2) {
    Require(magnitude <= 2047, "MPEG-2 escape level", c.level);
    out_.Put(static_cast<uint32_t>(c.level) & 0xFFF, 12);
  } else if (magnitude <= 127) {
    out_.Put(static_cast<uint32_t>(c.level) & 0xFF, 8);
  } else {
    Require(magnitude <= 255, "MPEG-1 escape level", c.level);
    out_.Put(c.level < 0 ? 0x80 : 0x00, 8);
    out_.Put(static_cast<uint32_t>(c.level) & 0xFF, 8);
  }
}

void StreamWriter::PutIntraBlock(int block_index, const Block& block) {
  const int component = block_index < 4 ? 0 : 1 + (block_index & 1);
  const int precision = sequence_.mpeg2 ? picture_.intra_dc_precision : 0;
  Require(block.dc >= 0 && block.dc < (256 << precision), "intra DC level", block.dc);
  const int differential = block.dc - slice_.dc_pred[component];
  slice_.dc_pred[component] = block.dc;
  const int size = BitLength(differential < 0 ? -differential : differential);
  out_.PutCode(CodeFor(component == 0 ? DcSizeLuminanceCodes() : DcSizeChrominanceCodes(), size));
  if (size > 0) {
    // Negative differentials are sent as differential + 2^size - 1, which
    // has a 0 as its top bit.
    const int bits = differential > 0 ? differential : differential + (1 << size) - 1;
    out_.Put(static_cast<uint32_t>(bits), size);
  }
  if (picture_.picture_coding_type == 4) {
    Require(block.coefficients.empty(), "AC coefficients in a D picture");
    return;
  }
  const DctTable table =
      sequence_.mpeg2 && picture_.intra_vlc_format ? DctTable::kB15 : DctTable::kB14;
  int position = 1;
  for (const Coefficient& c : block.coefficients) {
    position += c.run + 1;
    Require(position <= 64, "intra block overflows", position);
    PutCoefficient(table, c, false);
  }
  out_.PutCode(table == DctTable::kB15 ? kEndOfBlockB15 : kEndOfBlockB14);
}

void StreamWriter::PutNonIntraBlock(const Block& block) {
  int position = 0;
  bool first = true;
  for (const Coefficient& c : block.coefficients) {
    position += c.run + 1;
    Require(position <= 64, "non-intra block overflows", position);
    PutCoefficient(DctTable::kB14, c, first);
    first = false;
  }
  out_.PutCode(kEndOfBlockB14);
}

void StreamWriter::Macroblock(const MacroblockPlan& plan) {
  Require(slice_.open, "macroblock outside a slice");
  MacroblockPlan mb = plan;
  if (mb.motion == Motion::kAuto) mb.motion = IsFieldPicture() ? Motion::kField : Motion::kFrame;
  const int address = mb.address;
  Require(address > slice_.previous_address, "macroblock addresses must increase", address);
  Require(address < static_cast<int>(covered_.size()), "macroblock beyond the picture", address);
  Require(!covered_[address], "macroblock covered twice", address);
  if (sequence_.mpeg2) {
    Require(address / mb_width() == slice_.row, "MPEG-2 slices stay within one row", address);
  }
  SkipTo(address);
  PutAddressIncrement(address - slice_.previous_address, mb.stuffing);

  const int type_bits = MacroblockTypeBits(mb);
  out_.PutCode(CodeFor(MacroblockTypeCodes(picture_.picture_coding_type), type_bits));

  const bool frame_picture = !IsFieldPicture();
  const bool motion = (type_bits & (kForward | kBackward)) != 0;
  const bool concealment = mb.intra && picture_.concealment_motion_vectors && sequence_.mpeg2;
  if (sequence_.mpeg2 && motion && !(frame_picture && picture_.frame_pred_frame_dct)) {
    int code = 0;
    switch (mb.motion) {
      case Motion::kField:
        code = 1;
        break;
      case Motion::kFrame:
      case Motion::k16x8:
        code = 2;
        break;
      case Motion::kDualPrime:
        code = 3;
        break;
      case Motion::kAuto:
        break;
    }
    out_.Put(code, 2);  // frame_motion_type / field_motion_type
  } else if (motion) {
    Require(mb.motion == (frame_picture ? Motion::kFrame : Motion::kField),
            "motion type not signalled with frame_pred_frame_dct", mb.address);
  }
  if (mb.motion == Motion::kDualPrime) {
    Require(picture_.picture_coding_type == 2 && mb.forward, "dual prime outside P forward");
    Require(!sequence_.progressive_sequence, "dual prime in a progressive sequence");
  }
  if (mb.motion == Motion::k16x8 || mb.motion == Motion::kDualPrime ||
      (frame_picture && mb.motion == Motion::kField)) {
    Require(sequence_.mpeg2, "MPEG-1 has frame motion only");
  }
  const bool pattern = (type_bits & kPattern) != 0;
  if (frame_picture && !picture_.frame_pred_frame_dct && (mb.intra || pattern)) {
    out_.PutBit(mb.dct_type);
  } else {
    Require(mb.dct_type == 0, "dct_type not signalled here", mb.address);
  }
  if (type_bits & kQuant) {
    Require(mb.quantiser_scale_code >= 1 && mb.quantiser_scale_code <= 31, "quantiser_scale_code",
            mb.quantiser_scale_code);
    out_.Put(mb.quantiser_scale_code, 5);
    slice_.quantiser_scale_code = mb.quantiser_scale_code;
  }
  if ((type_bits & kForward) || concealment) PutVectors(0, mb);
  if (type_bits & kBackward) PutVectors(1, mb);
  if (concealment) out_.PutBit(1);  // marker_bit

  const int blocks = BlocksPerMacroblock(sequence_.mpeg2 ? sequence_.chroma_format : 1);
  if (pattern) {
    int cbp = 0;
    for (int b = 0; b < blocks; ++b) {
      if (!mb.blocks[b].coefficients.empty()) cbp |= 1 << (blocks - 1 - b);
    }
    for (int b = blocks; b < 12; ++b) {
      Require(mb.blocks[b].coefficients.empty(), "coefficients beyond the macroblock's blocks");
    }
    PutCodedBlockPattern(cbp);
  }
  for (int b = 0; b < blocks; ++b) {
    if (mb.intra) {
      PutIntraBlock(b, mb.blocks[b]);
    } else if (!mb.blocks[b].coefficients.empty()) {
      PutNonIntraBlock(mb.blocks[b]);
    }
  }
  if (picture_.picture_coding_type == 4) out_.PutBit(1);  // end_of_macroblock

  // Predictor resets after the macroblock.
  if (!mb.intra) ResetDcPredictors();
  if (mb.intra && !concealment) {
    for (auto& r : slice_.pmv) {
      for (auto& s : r) s[0] = s[1] = 0;
    }
  }
  if (picture_.picture_coding_type == 2 && !mb.intra && !mb.forward) {
    for (auto& r : slice_.pmv) r[0][0] = r[0][1] = 0;
  }

  model_.CodedMacroblock(mb, CurrentQuantState());
  if (trace_ != nullptr) Trace(mb, false);
  covered_[address] = true;
  slice_.previous = mb;
  slice_.previous_address = address;
  slice_.have_previous = true;
}

void StreamWriter::Trace(const MacroblockPlan& mb, bool skipped) const {
  static const char* const kMotion[] = {"auto", "frame", "field", "16x8", "dual-prime"};
  std::fprintf(trace_, "picture %d type %d structure %d mb %d (%d,%d)%s", picture_count_ - 1,
               picture_.picture_coding_type, picture_.picture_structure, mb.address,
               mb.address % mb_width(), mb.address / mb_width(), skipped ? " skipped" : "");
  if (mb.intra) {
    std::fprintf(trace_, " intra dct_type %d", mb.dct_type);
  } else if (picture_.picture_coding_type == 2 && !mb.forward) {
    std::fprintf(trace_, " no-mc");
  } else {
    std::fprintf(trace_, " %s", kMotion[static_cast<int>(mb.motion)]);
    for (int s = 0; s < 2; ++s) {
      if (!(s == 0 ? mb.forward : mb.backward)) continue;
      std::fprintf(trace_, " %s", s == 0 ? "fwd" : "bwd");
      for (int r = 0; r < 2; ++r) {
        std::fprintf(trace_, " [%d](%d,%d)", mb.field_select[r][s], mb.vector[r][s].x,
                     mb.vector[r][s].y);
      }
    }
    if (mb.motion == Motion::kDualPrime) {
      std::fprintf(trace_, " dmv(%d,%d)", mb.dmvector[0], mb.dmvector[1]);
    }
  }
  std::fprintf(trace_, "%s\n", mb.HasCoefficients() ? " coded" : "");
}

std::vector<uint8_t> StreamWriter::Finish() {
  EndPicture();
  out_.StartCode(kSequenceEndCode);
  model_.EndSequence();
  return out_.Bytes();
}

}  // namespace synth
