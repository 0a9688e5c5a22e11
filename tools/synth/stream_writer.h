// Composes MPEG-1 and MPEG-2 video elementary streams from descriptions of
// their headers and macroblocks, tracking the motion vector and DC
// predictors exactly as a decoder does, and reconstructs the pictures a
// conforming decoder must show (PictureModel).
//
// Misuse (a value the syntax cannot carry, a vector that leaves the
// reference picture, a skipped macroblock whose meaning decoders disagree
// on) is a fault in the caller: it is reported on standard error and the
// process aborts.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "tools/synth/bit_writer.h"
#include "tools/synth/code_tables.h"
#include "tools/synth/macroblock_plan.h"
#include "tools/synth/picture_model.h"

namespace synth {

using Matrix = std::array<int, 64>;  // natural (raster) order

struct SequenceSettings {
  bool mpeg2 = true;
  int horizontal_size = 96;
  int vertical_size = 64;
  int aspect_ratio_information = 1;
  int frame_rate_code = 3;  // 25 frames per second
  // MPEG-2 only (sequence_extension); MPEG-1 is progressive 4:2:0.
  int chroma_format = 1;
  bool progressive_sequence = true;
  int profile_and_level_indication = 0x48;
  // Loaded in the sequence header when set.
  std::optional<Matrix> intra_matrix;
  std::optional<Matrix> non_intra_matrix;
  // sequence_display_extension with colour description (MPEG-2 only).
  bool display_extension = false;
  int matrix_coefficients = 1;
};

// quant_matrix_extension: each set matrix is loaded.
struct QuantMatrixExtension {
  std::optional<Matrix> intra;
  std::optional<Matrix> non_intra;
  std::optional<Matrix> chroma_intra;
  std::optional<Matrix> chroma_non_intra;
  bool Empty() const { return !intra && !non_intra && !chroma_intra && !chroma_non_intra; }
};

struct PictureSettings {
  int picture_coding_type = 1;  // 1 I, 2 P, 3 B, 4 D (MPEG-1)
  int temporal_reference = 0;
  int picture_structure = 3;  // 1 top field, 2 bottom field, 3 frame
  // [s forward/backward][t horizontal/vertical]; 15 marks an unused
  // direction in MPEG-2. MPEG-1 uses f_code[s][0] as forward_f_code /
  // backward_f_code for both components.
  int f_code[2][2] = {{15, 15}, {15, 15}};
  bool full_pel_forward_vector = false;  // MPEG-1
  bool full_pel_backward_vector = false;
  int intra_dc_precision = 0;
  bool top_field_first = false;
  bool frame_pred_frame_dct = true;
  bool concealment_motion_vectors = false;
  int q_scale_type = 0;
  int intra_vlc_format = 0;
  bool alternate_scan = false;
  bool repeat_first_field = false;
  bool progressive_frame = true;
  QuantMatrixExtension quant_matrices;
};

struct SliceOptions {
  // MPEG-2: intra_slice_flag with intra_slice; both syntaxes: extra
  // information bytes after it.
  bool intra_slice_flag = false;
  bool intra_slice = false;
  std::vector<uint8_t> extra_information;
};

class StreamWriter {
 public:
  explicit StreamWriter(const SequenceSettings& settings);

  // Sequence header with its extensions; resets the quantiser matrices.
  void SequenceHeader();
  void UserData(std::string_view text);
  void GroupOfPictures(bool closed_gop, bool broken_link = false);
  // Ends the previous picture (all its macroblocks must be covered) and
  // writes the picture header with its extensions.
  void Picture(const PictureSettings& picture);
  // Starts a slice in macroblock row `mb_row` of the picture (of the field
  // in field pictures).
  void Slice(int mb_row, int quantiser_scale_code, const SliceOptions& options = {});
  // Writes a coded macroblock; addresses between the previous coded
  // macroblock of the slice and this one are skipped macroblocks.
  void Macroblock(const MacroblockPlan& mb);
  // Ends the last picture, writes sequence_end_code and returns the stream.
  std::vector<uint8_t> Finish();

  // Writes one line per macroblock (coded or skipped) to `trace`, for
  // finding where two decoders part ways; nullptr stops it.
  void SetTrace(std::FILE* trace) { trace_ = trace; }
  // The trace every writer constructed afterwards starts with (the
  // command line's --trace; scenarios build their writers themselves).
  static void SetDefaultTrace(std::FILE* trace) { default_trace_ = trace; }

  // Frames a conforming decoder shows, in display order (after Finish).
  const std::vector<Frame>& ExpectedFrames() const { return model_.Output(); }

  const SequenceSettings& sequence() const { return sequence_; }
  const PictureSettings& picture() const { return picture_; }
  int mb_width() const { return coded_width_ / 16; }
  // Macroblock rows of the current picture (of one field for field pictures).
  int mb_rows() const;
  int coded_width() const { return coded_width_; }
  int coded_height() const { return coded_height_; }

 private:
  struct SliceState {
    bool open = false;
    int row = 0;
    int previous_address = -1;
    bool have_previous = false;
    MacroblockPlan previous;
    int pmv[2][2][2] = {};  // [r][s][t]; frame units for field vectors of frame pictures
    int dc_pred[3] = {};
    int quantiser_scale_code = 1;
  };

  bool IsFieldPicture() const { return picture_.picture_structure != 3; }
  void EndPicture();
  void ResetDcPredictors();
  QuantState CurrentQuantState() const;
  int MacroblockTypeBits(const MacroblockPlan& mb) const;
  void SkipTo(int address);
  void CheckSkippable() const;
  void PutAddressIncrement(int increment, int stuffing);
  void PutVectors(int s, const MacroblockPlan& mb);
  void PutVector(int pmv[2], const Vector& v, int s, bool field_in_frame, bool dual_prime,
                 const int dmvector[2]);
  void PutVectorMpeg1(int pmv[2], const Vector& v, int s);
  void PutCodedBlockPattern(int cbp);
  void PutIntraBlock(int block_index, const Block& block);
  void PutNonIntraBlock(const Block& block);
  void PutCoefficient(DctTable table, const Coefficient& c, bool first);
  void PutMatrix(const Matrix& m);
  void PutQuantMatrixExtension(const QuantMatrixExtension& ext);
  void Trace(const MacroblockPlan& mb, bool skipped) const;

  SequenceSettings sequence_;
  PictureSettings picture_;
  bool picture_open_ = false;
  int coded_width_;
  int coded_height_;
  BitWriter out_;
  PictureModel model_;
  SliceState slice_;
  std::vector<bool> covered_;
  std::FILE* trace_ = default_trace_;
  static inline std::FILE* default_trace_ = nullptr;
  int picture_count_ = 0;
  Matrix intra_matrix_{};
  Matrix non_intra_matrix_{};
  Matrix chroma_intra_matrix_{};
  Matrix chroma_non_intra_matrix_{};
};

}  // namespace synth
