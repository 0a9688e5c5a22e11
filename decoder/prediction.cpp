#include "decoder/prediction.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "decoder/diagnostics.h"
#include "decoder/motion_vectors.h"

namespace {

// ---------------------------------------------------------------------------
// Row kernels. Each row is gathered into small local arrays first: the fixed
// widths let the compiler turn the loops into whole-vector operations, and
// the copies remove any doubt about the destination aliasing the source.

template <int kCase, bool kAverage, int kWidth>
struct Predict_Rows {
  static void Run(uint8_t* destination, const uint8_t* source, int pitch, int h);
};

template <int kCase, bool kAverage, int kWidth>
void Predict_Rows<kCase, kAverage, kWidth>::Run(uint8_t* destination, const uint8_t* source,
                                                int pitch, int h) {
  constexpr bool kHorizontal = (kCase & 1) != 0;
  constexpr bool kVertical = (kCase & 2) != 0;
  constexpr int kRead = kWidth + (kHorizontal ? 1 : 0);
  for (int row = 0; row < h; ++row) {
    const uint8_t* src = source + static_cast<std::ptrdiff_t>(row) * pitch;
    uint8_t* dst = destination + static_cast<std::ptrdiff_t>(row) * pitch;
    uint8_t a[kWidth + 1];
    uint8_t b[kWidth + 1];
    uint8_t p[kWidth];
    std::memcpy(a, src, kRead);
    if constexpr (kVertical) std::memcpy(b, src + pitch, kRead);
    for (int i = 0; i < kWidth; ++i) {
      if constexpr (kCase == 0) {
        p[i] = a[i];
      } else if constexpr (kCase == 1) {
        p[i] = static_cast<uint8_t>((a[i] + a[i + 1] + 1) >> 1);
      } else if constexpr (kCase == 2) {
        p[i] = static_cast<uint8_t>((a[i] + b[i] + 1) >> 1);
      } else {
        p[i] = static_cast<uint8_t>((a[i] + a[i + 1] + b[i] + b[i + 1] + 2) >> 2);
      }
    }
    if constexpr (kAverage) {
      uint8_t d[kWidth];
      std::memcpy(d, dst, kWidth);
      for (int i = 0; i < kWidth; ++i) p[i] = static_cast<uint8_t>((d[i] + p[i] + 1) >> 1);
    }
    std::memcpy(dst, p, kWidth);
  }
}

// ---------------------------------------------------------------------------
// One rectangle of one plane.

// Larger than any vector a stream can code (r_size 8 gives +-4096 half
// samples, dual prime at most triples a field vector); keeps the coordinate
// arithmetic of damaged values far from overflow.
constexpr int kVectorLimit = 1 << 16;

// Edge-path buffers: up to 17 columns and 17 lines (16 rows plus the
// vertical neighbour).
constexpr int kEdgeStride = 32;
constexpr int kEdgeLines = 17;

// The lines of a plane that one prediction walks: frame lines, or the lines
// of one field (every second frame line).
struct PlaneLines {
  int pitch;  // bytes from one line to the next
  int width;  // samples per line
  int lines;  // lines of the reference
};

// One block of one plane geometry, to be predicted in each plane of that
// geometry (the two chroma planes share theirs).
struct BlockJob {
  PredictFunction kernel;
  int w, h;            // 8 or 16 samples, h lines
  int x, y;            // destination column and line
  int column0, line0;  // first source sample, full-sample part of the vector applied
  int xh, yh;          // half-sample parts
  bool inside;         // the source samples lie inside the reference
};

// The w x h block at column x, line y, predicted from the reference
// displaced by the half-sample vector (dx, dy).
[[gnu::always_inline]] inline BlockJob Plan_Block(const PlaneLines& plane, int w, int h, int x,
                                                  int y, int dx, int dy, bool average) {
  BlockJob job;
  job.w = w;
  job.h = h;
  job.x = x;
  job.y = y;
  job.xh = dx & 1;
  job.yh = dy & 1;
  job.column0 = x + (dx >> 1);
  job.line0 = y + (dy >> 1);
  job.inside = job.column0 >= 0 && job.column0 + w + job.xh <= plane.width && job.line0 >= 0 &&
               job.line0 + h + job.yh <= plane.lines;
  const PredictionKernels& kernels = prediction_kernels;
  job.kernel = (average ? kernels.average
                        : kernels.put)[w == 16 ? PREDICT_16 : PREDICT_8][job.xh + 2 * job.yh];
  return job;
}

// A job whose source samples reach outside the reference, predicted from a
// copy made with clamped coordinates: edge samples repeat, and a field
// reference repeats its own edge lines. Only damaged or non-conforming
// streams get here.
[[gnu::noinline]] void Predict_Block_At_Edge(const BlockJob& job, const PlaneLines& plane,
                                             const uint8_t* source, uint8_t* destination) {
  const int lines = job.h + job.yh;
  const int columns = job.w + job.xh;
  if (lines > kEdgeLines || columns > kEdgeStride) return;  // never asked for
  const std::ptrdiff_t pitch = plane.pitch;
  uint8_t edge[kEdgeLines * kEdgeStride] = {};
  for (int j = 0; j < lines; ++j) {
    const uint8_t* row = source + pitch * std::clamp(job.line0 + j, 0, plane.lines - 1);
    for (int c = 0; c < columns; ++c) {
      edge[j * kEdgeStride + c] = row[std::clamp(job.column0 + c, 0, plane.width - 1)];
    }
  }
  // The kernels step source and destination alike: the destination rows go
  // through a buffer of the copy's pitch.
  uint8_t* dst = destination + pitch * job.y + job.x;
  const size_t w = static_cast<size_t>(job.w);
  uint8_t block[kEdgeLines * kEdgeStride] = {};
  for (int j = 0; j < job.h; ++j) std::memcpy(block + j * kEdgeStride, dst + pitch * j, w);
  job.kernel(block, edge, kEdgeStride, job.h);
  for (int j = 0; j < job.h; ++j) std::memcpy(dst + pitch * j, block + j * kEdgeStride, w);
}

// Runs the job in one plane: `source` and `destination` point at line 0 of
// the reference and the destination.
[[gnu::always_inline]] inline void Predict_Block(const BlockJob& job, const PlaneLines& plane,
                                                 const uint8_t* source, uint8_t* destination) {
  const std::ptrdiff_t pitch = plane.pitch;
  if (job.inside) [[likely]] {
    job.kernel(destination + pitch * job.y + job.x, source + pitch * job.line0 + job.column0,
               plane.pitch, job.h);
  } else {
    Predict_Block_At_Edge(job, plane, source, destination);
  }
}

// ---------------------------------------------------------------------------
// One luma rectangle and the matching chroma rectangles.

// The 16 x h luma area at (x, y) in lines of the walk (frame lines, or with
// `field_lines` the lines of one field) and its chroma areas, predicted from
// `source` with the luma vector (dx, dy). The reference's lines start on
// line `source_field` of the frame, the destination's on line
// `destination_field`.
void Predict_Area(const FrameStore& source, int source_field, int destination_field,
                  bool field_lines, int h, int x, int y, int dx, int dy, bool average) {
  const DecoderState& d = decoder_state;
  const FrameStore& target = d.decode_target;
  dx = std::clamp(dx, -kVectorLimit, kVectorLimit);
  dy = std::clamp(dy, -kVectorLimit, kVectorLimit);
  const int shift = field_lines ? 1 : 0;

  const int width = d.coded_width;
  const PlaneLines luma{width << shift, width, (d.coded_height - source_field + shift) >> shift};
  const std::ptrdiff_t luma_source = static_cast<std::ptrdiff_t>(width) * source_field;
  const std::ptrdiff_t luma_destination = static_cast<std::ptrdiff_t>(width) * destination_field;
  Predict_Block(Plan_Block(luma, 16, h, x, y, dx, dy, average), luma, source.plane[0] + luma_source,
                target.plane[0] + luma_destination);

  // The chroma rules follow the plane sizes, which are those of the chroma
  // format the stores were laid out for: halved horizontally unless 4:4:4,
  // vertically for 4:2:0. Vector components halve toward zero.
  const int chroma_width = d.chroma_width;
  int w = 16;
  if (chroma_width < width) {
    w = 8;
    x >>= 1;
    dx /= 2;
  }
  if (d.chroma_height < d.coded_height) {
    h >>= 1;
    y >>= 1;
    dy /= 2;
  }
  const PlaneLines chroma{chroma_width << shift, chroma_width,
                          (d.chroma_height - source_field + shift) >> shift};
  const BlockJob job = Plan_Block(chroma, w, h, x, y, dx, dy, average);
  const std::ptrdiff_t chroma_source = static_cast<std::ptrdiff_t>(chroma_width) * source_field;
  const std::ptrdiff_t chroma_destination =
      static_cast<std::ptrdiff_t>(chroma_width) * destination_field;
  for (int p = 1; p <= 2; ++p) {
    Predict_Block(job, chroma, source.plane[p] + chroma_source,
                  target.plane[p] + chroma_destination);
  }
}

// ---------------------------------------------------------------------------
// The motion types.

void Report_Invalid_Motion_Type() {
  Decoder_Message_Always("invalid motion_type\n");
}

// Frame prediction in a frame picture: the vertical half-sample neighbour is
// the next frame line. (The even and the odd lines predicted as two
// interleaved halves give the same samples; one area of 16 frame lines is
// the same work in half the calls.)
void Predict_Frame(const FrameStore& source, int bx, int by, const int vector[2], bool average) {
  Predict_Area(source, 0, 0, false, 16, bx, by, vector[0], vector[1], average);
}

// Field prediction in a frame picture: each field of the macroblock from the
// field its select names; vectors are kept in frame units.
void Predict_Fields_Of_Frame(const FrameStore& source, int bx, int by, const int vectors[2][2][2],
                             const int selects[2][2], int s, bool average) {
  for (int field = 0; field < 2; ++field) {
    Predict_Area(source, selects[field][s], field, true, 8, bx, by / 2, vectors[field][s][0],
                 vectors[field][s][1] >> 1, average);
  }
}

void Predict_Dual_Prime_Frame(const FrameStore& source, int bx, int by,
                              const MacroblockContext& ctx) {
  const int mvx = std::clamp(ctx.PMV[0][0][0], -kVectorLimit, kVectorLimit);
  const int mvy = std::clamp(ctx.PMV[0][0][1], -kVectorLimit, kVectorLimit) >> 1;
  int dual_prime_vectors[2][2];
  Derive_Dual_Prime_Vectors(dual_prime_vectors, ctx.dmvector, mvx, mvy);
  // Each field: the same-parity prediction, then the opposite parity
  // averaged in ([0] predicts the top field, [1] the bottom field).
  for (int field = 0; field < 2; ++field) {
    Predict_Area(source, field, field, true, 8, bx, by / 2, mvx, mvy, false);
    Predict_Area(source, 1 - field, field, true, 8, bx, by / 2, dual_prime_vectors[field][0],
                 dual_prime_vectors[field][1], true);
  }
}

// Field pictures: the reference of a forward vector that selects field f.
// In the second field of a P picture the field of the other parity is the
// first field of this very frame, which lives in newer_reference.
const FrameStore& Forward_Field_Reference(int select) {
  const DecoderState& d = decoder_state;
  const int current_field = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
  if (d.picture_coding_type == P_PICTURE && d.in_second_field && select != current_field) {
    return d.newer_reference;
  }
  return d.older_reference;
}

void Predict_Forward_Frame_Picture(int bx, int by, const MacroblockContext& ctx) {
  const FrameStore& reference = decoder_state.older_reference;
  const bool forward = (ctx.macroblock_type & MACROBLOCK_MOTION_FORWARD) != 0;
  if (ctx.motion_type == MC_FRAME || !forward) {
    Predict_Frame(reference, bx, by, ctx.PMV[0][0], false);
  } else if (ctx.motion_type == MC_FIELD) {
    Predict_Fields_Of_Frame(reference, bx, by, ctx.PMV, ctx.motion_vertical_field_select, 0, false);
  } else if (ctx.motion_type == MC_DMV) {
    Predict_Dual_Prime_Frame(reference, bx, by, ctx);
  } else {
    Report_Invalid_Motion_Type();
  }
}

void Predict_Forward_Field_Picture(int bx, int by, const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  const bool forward = (ctx.macroblock_type & MACROBLOCK_MOTION_FORWARD) != 0;
  const auto& select = ctx.motion_vertical_field_select;
  if (ctx.motion_type == MC_FIELD || !forward) {
    Predict_Area(Forward_Field_Reference(select[0][0]), select[0][0], 0, true, 16, bx, by,
                 ctx.PMV[0][0][0], ctx.PMV[0][0][1], false);
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area(Forward_Field_Reference(select[half][0]), select[half][0], 0, true, 8, bx,
                   by + 8 * half, ctx.PMV[half][0][0], ctx.PMV[half][0][1], false);
    }
  } else if (ctx.motion_type == MC_DMV) {
    const int current_field = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
    const int mvx = std::clamp(ctx.PMV[0][0][0], -kVectorLimit, kVectorLimit);
    const int mvy = std::clamp(ctx.PMV[0][0][1], -kVectorLimit, kVectorLimit);
    int dual_prime_vectors[2][2];
    Derive_Dual_Prime_Vectors(dual_prime_vectors, ctx.dmvector, mvx, mvy);
    Predict_Area(d.older_reference, current_field, 0, true, 16, bx, by, mvx, mvy, false);
    const FrameStore& opposite = d.in_second_field ? d.newer_reference : d.older_reference;
    Predict_Area(opposite, 1 - current_field, 0, true, 16, bx, by, dual_prime_vectors[0][0],
                 dual_prime_vectors[0][1], true);
  } else {
    Report_Invalid_Motion_Type();
  }
}

void Predict_Backward(int bx, int by, const MacroblockContext& ctx, bool average) {
  const DecoderState& d = decoder_state;
  const FrameStore& reference = d.newer_reference;
  const auto& select = ctx.motion_vertical_field_select;
  if (d.picture_structure == FRAME_PICTURE) {
    if (ctx.motion_type == MC_FRAME) {
      Predict_Frame(reference, bx, by, ctx.PMV[0][1], average);
    } else {
      Predict_Fields_Of_Frame(reference, bx, by, ctx.PMV, select, 1, average);
    }
  } else if (ctx.motion_type == MC_FIELD) {
    Predict_Area(reference, select[0][1], 0, true, 16, bx, by, ctx.PMV[0][1][0], ctx.PMV[0][1][1],
                 average);
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area(reference, select[half][1], 0, true, 8, bx, by + 8 * half, ctx.PMV[half][1][0],
                   ctx.PMV[half][1][1], average);
    }
  } else {
    Report_Invalid_Motion_Type();
  }
}

}  // namespace

namespace {

constexpr PredictionKernels kPortablePredictionKernels = Make_Prediction_Kernels<Predict_Rows>();

}  // namespace

const PredictionKernels portable_prediction_kernels = kPortablePredictionKernels;
// Constant-initialised, so it is ready before any static constructor runs.
constinit PredictionKernels prediction_kernels = kPortablePredictionKernels;

void Predict_Macroblock(int bx, int by, const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  // A P picture always predicts forward: macroblocks without motion
  // compensation carry zero vectors set by the macroblock layer.
  const bool forward =
      (ctx.macroblock_type & MACROBLOCK_MOTION_FORWARD) != 0 || d.picture_coding_type == P_PICTURE;
  if (forward) {
    if (d.picture_structure == FRAME_PICTURE) {
      Predict_Forward_Frame_Picture(bx, by, ctx);
    } else {
      Predict_Forward_Field_Picture(bx, by, ctx);
    }
  }
  if (ctx.macroblock_type & MACROBLOCK_MOTION_BACKWARD) {
    Predict_Backward(bx, by, ctx, forward);
  }
}
