// Reference reconstruction of synthesized streams: the decoding process of
// ISO/IEC 13818-2 clause 7 applied to the macroblock descriptions the stream
// writer was given (not to the bits), so that the pictures every conforming
// decoder must produce are known in advance.
//
// Prediction is exact integer arithmetic. The inverse DCT is the ideal one
// in double precision, so pictures with AC coefficients are only close to a
// real decoder's; pictures whose blocks carry a DC coefficient alone (at
// intra_dc_precision 0) or no residual at all are exact.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/synth/macroblock_plan.h"

namespace synth {

struct Plane {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> samples;

  uint8_t At(int x, int y) const { return samples[static_cast<size_t>(y) * width + x]; }
  uint8_t& At(int x, int y) { return samples[static_cast<size_t>(y) * width + x]; }
};

// One frame in the stream's chroma format: Y, Cb, Cr.
struct Frame {
  std::array<Plane, 3> planes;
};

Frame MakeFrame(int chroma_format, int width, int height);

// Blocks per macroblock: 6, 8, 12 for chroma_format 1, 2, 3.
inline int BlocksPerMacroblock(int chroma_format) {
  return 4 + (2 << (chroma_format - 1));
}

// How the coefficients of the current macroblock are dequantised.
struct QuantState {
  bool mpeg2 = true;
  int chroma_format = 1;
  int quantiser_scale = 2;  // the value, not the code
  int intra_dc_precision = 0;
  bool alternate_scan = false;
  const int* intra_matrix = nullptr;  // natural order
  const int* non_intra_matrix = nullptr;
  const int* chroma_intra_matrix = nullptr;
  const int* chroma_non_intra_matrix = nullptr;
};

// The 64 reconstructed coefficients of one block in raster order
// (dequantised, saturated, with mismatch control for MPEG-2).
std::array<int, 64> DequantiseBlock(const Block& block, bool intra, int block_index,
                                    const QuantState& q);

// Ideal inverse DCT, rounded to the nearest integer and saturated to
// -256..255.
std::array<int, 64> InverseDct(const std::array<int, 64>& coefficients);

struct PictureInfo {
  int picture_coding_type = 1;
  int picture_structure = 3;  // 1 top field, 2 bottom field, 3 frame
  bool top_field_first = false;
};

class PictureModel {
 public:
  PictureModel(int chroma_format, int coded_width, int coded_height);

  // Pictures in coded order. The second field of a pair follows its first
  // field directly.
  void BeginPicture(const PictureInfo& info);
  void CodedMacroblock(const MacroblockPlan& mb, const QuantState& q);
  // `previous` is the macroblock coded before it in the slice (B pictures
  // repeat its prediction).
  void SkippedMacroblock(int address, const MacroblockPlan& previous);
  void EndPicture();
  // The last reference frame is shown at the end of the sequence.
  void EndSequence();

  // Frames in display order.
  const std::vector<Frame>& Output() const { return output_; }

 private:
  struct MacroblockSamples {
    std::array<std::vector<int>, 3> plane;
  };
  struct Part;

  bool IsFieldPicture() const { return info_.picture_structure != 3; }
  int CurrentParity() const { return info_.picture_structure == 2 ? 1 : 0; }
  const Frame& ForwardReference() const;
  const Frame& FieldReference(int s, int field_select) const;
  MacroblockSamples EmptySamples() const;
  void PredictPart(const Part& part, MacroblockSamples& out) const;
  void Predict(int s, const MacroblockPlan& mb, int bx, int by, MacroblockSamples& out) const;
  void FormPrediction(const MacroblockPlan& mb, MacroblockSamples& out) const;
  void AddBlock(const std::array<int, 64>& residual, int block_index, int dct_type,
                MacroblockSamples& samples) const;
  void Store(int address, const MacroblockSamples& samples);

  int chroma_format_;
  int width_;
  int height_;
  int mb_width_;
  PictureInfo info_;
  bool in_second_field_ = false;
  bool newer_valid_ = false;
  bool older_valid_ = false;
  Frame older_;
  Frame newer_;
  Frame current_;
  std::vector<Frame> output_;
};

}  // namespace synth
