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
void Predict_Rows_Fixed(uint8_t* destination, const uint8_t* source, int neighbour, int row_step,
                        int h) {
  constexpr bool kHorizontal = (kCase & 1) != 0;
  constexpr bool kVertical = (kCase & 2) != 0;
  constexpr int kRead = kWidth + (kHorizontal ? 1 : 0);
  for (int row = 0; row < h; ++row) {
    const uint8_t* src = source + static_cast<std::ptrdiff_t>(row) * row_step;
    uint8_t* dst = destination + static_cast<std::ptrdiff_t>(row) * row_step;
    uint8_t a[kWidth + 1];
    uint8_t b[kWidth + 1];
    uint8_t p[kWidth];
    std::memcpy(a, src, kRead);
    if constexpr (kVertical) std::memcpy(b, src + neighbour, kRead);
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

// Any width, for completeness of the kernel contract; the decoder only asks
// for 8 and 16.
template <int kCase, bool kAverage>
void Predict_Rows_Any(uint8_t* destination, const uint8_t* source, int neighbour, int row_step,
                      int w, int h) {
  for (int row = 0; row < h; ++row) {
    const uint8_t* src = source + static_cast<std::ptrdiff_t>(row) * row_step;
    uint8_t* dst = destination + static_cast<std::ptrdiff_t>(row) * row_step;
    for (int i = 0; i < w; ++i) {
      int p;
      if constexpr (kCase == 0) {
        p = src[i];
      } else if constexpr (kCase == 1) {
        p = (src[i] + src[i + 1] + 1) >> 1;
      } else if constexpr (kCase == 2) {
        p = (src[i] + src[i + neighbour] + 1) >> 1;
      } else {
        p = (src[i] + src[i + 1] + src[i + neighbour] + src[i + neighbour + 1] + 2) >> 2;
      }
      if constexpr (kAverage) p = (dst[i] + p + 1) >> 1;
      dst[i] = static_cast<uint8_t>(p);
    }
  }
}

template <int kCase, bool kAverage>
void Predict_Rows(uint8_t* dst, const uint8_t* src, int neighbour, int row_step, int w, int h) {
  if (w == 16) {
    Predict_Rows_Fixed<kCase, kAverage, 16>(dst, src, neighbour, row_step, h);
  } else if (w == 8) {
    Predict_Rows_Fixed<kCase, kAverage, 8>(dst, src, neighbour, row_step, h);
  } else {
    Predict_Rows_Any<kCase, kAverage>(dst, src, neighbour, row_step, w, h);
  }
}

// ---------------------------------------------------------------------------
// One rectangle of one plane.

// A plane of a frame store: `width` is also its line stride.
struct Plane {
  const uint8_t* data;
  int width;
  int height;
};

// Larger than any vector a stream can code (r_size 8 gives +-4096 half
// samples, dual prime at most triples a field vector); keeps the coordinate
// arithmetic of damaged values far from overflow.
constexpr int kVectorLimit = 1 << 16;

// Clamped-path buffer: up to 17 columns and 32 lines (a 16-row area whose
// rows are two lines apart, plus the vertical neighbour).
constexpr int kEdgeStride = 32;
constexpr int kEdgeLines = 32;

// Predicts h rows of w samples at (x, y) of the destination from the
// reference plane displaced by the half-sample vector (dx, dy).
//
// Every plane holds two interleaved fields, and every call steps rows by
// lx2 = twice the plane width. lx is the plane width when frame lines are
// read (the vertical neighbour is the next frame line) and lx2 when the lines
// of one field are read; source_field starts the reference one frame line
// down.
//
// Areas that lie inside the reference take the direct path. Others (only
// damaged or non-conforming streams produce them) are first copied with
// clamped coordinates: edge samples repeat, and a field reference repeats its
// own edge lines.
void Predict_Plane_Area(const Plane& source, int source_field, uint8_t* destination, int lx,
                        int lx2, int w, int h, int x, int y, int dx, int dy, int average) {
  dx = std::clamp(dx, -kVectorLimit, kVectorLimit);
  dy = std::clamp(dy, -kVectorLimit, kVectorLimit);
  const int xi = dx >> 1, xh = dx & 1;
  const int yi = dy >> 1, yh = dy & 1;
  const int kernel_index = xh + 2 * yh;
  const PredictFunction kernel =
      average ? prediction_kernels.average[kernel_index] : prediction_kernels.put[kernel_index];
  uint8_t* dst = destination + static_cast<std::ptrdiff_t>(lx) * y + x;

  // Reference line n is frame row first_row + line_rows * n; source rows are
  // line_step lines apart.
  const bool field_lines = lx != source.width;
  const int line_rows = field_lines ? 2 : 1;
  const int line_step = lx2 / lx;  // lines from one predicted row to the next
  const int first_row = source_field;
  // The lines that lie inside the plane.
  const int lowest_line = field_lines ? 0 : -first_row;
  const int highest_line = (source.height - 1 - first_row) >> (field_lines ? 1 : 0);
  const int line0 = y + yi;
  const int last_line = line0 + (h - 1) * line_step + yh;
  const int column0 = x + xi;
  const int last_column = column0 + w - 1 + xh;

  if (line0 >= lowest_line && last_line <= highest_line && column0 >= 0 &&
      last_column < source.width) {
    const uint8_t* src = source.data + static_cast<std::ptrdiff_t>(source.width) * first_row +
                         static_cast<std::ptrdiff_t>(lx) * line0 + column0;
    kernel(dst, src, lx, lx2, w, h);
    return;
  }

  const int lines = last_line - line0 + 1;
  const int columns = w + xh;
  if (lines > kEdgeLines || columns > kEdgeStride) return;  // never asked for
  uint8_t edge[kEdgeLines * kEdgeStride];
  for (int j = 0; j < lines; ++j) {
    const int line = std::clamp(line0 + j, lowest_line, highest_line);
    const uint8_t* row =
        source.data + static_cast<std::ptrdiff_t>(source.width) * (first_row + line_rows * line);
    for (int c = 0; c < columns; ++c) {
      edge[j * kEdgeStride + c] = row[std::clamp(column0 + c, 0, source.width - 1)];
    }
  }
  // The kernels step source and destination alike, so the copy, whose lines
  // are packed, is predicted one row at a time.
  for (int row = 0; row < h; ++row) {
    kernel(dst + static_cast<std::ptrdiff_t>(row) * lx2, edge + row * line_step * kEdgeStride,
           kEdgeStride, lx2, w, 1);
  }
}

// ---------------------------------------------------------------------------
// One luma rectangle and the matching chroma rectangles.

struct PredictionCall {
  const FrameStore* source;
  int source_field;
  int destination_field;
  int lx;  // in luma bytes
  int lx2;
  int w, h;
  int x, y;
  int dx, dy;
  int average;
};

void Predict_Area(const PredictionCall& call) {
  const DecoderState& d = decoder_state;
  const FrameStore& target = d.decode_target;

  Plane luma{call.source->plane[0], d.coded_width, d.coded_height};
  Predict_Plane_Area(luma, call.source_field,
                     target.plane[0] + (call.destination_field ? call.lx2 / 2 : 0), call.lx,
                     call.lx2, call.w, call.h, call.x, call.y, call.dx, call.dy, call.average);

  // The chroma rules follow the plane sizes, which are those of the chroma
  // format the stores were laid out for: halved horizontally unless 4:4:4,
  // vertically for 4:2:0. Vector components halve toward zero.
  int lx = call.lx, lx2 = call.lx2, w = call.w, h = call.h;
  int x = call.x, y = call.y, dx = call.dx, dy = call.dy;
  if (d.chroma_width < d.coded_width) {
    lx >>= 1;
    lx2 >>= 1;
    w >>= 1;
    x >>= 1;
    dx /= 2;
  }
  if (d.chroma_height < d.coded_height) {
    h >>= 1;
    y >>= 1;
    dy /= 2;
  }
  for (int p = 1; p <= 2; ++p) {
    Plane chroma{call.source->plane[p], d.chroma_width, d.chroma_height};
    Predict_Plane_Area(chroma, call.source_field,
                       target.plane[p] + (call.destination_field ? lx2 / 2 : 0), lx, lx2, w, h, x,
                       y, dx, dy, call.average);
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
void Predict_Frame(const FrameStore& source, int bx, int by, const int vector[2], int average) {
  const int W = decoder_state.coded_width;
  Predict_Area({&source, 0, 0, W, W, 16, 16, bx, by, vector[0], vector[1], average});
}

// Field prediction in a frame picture: each field of the macroblock from the
// field its select names; vectors are kept in frame units.
void Predict_Fields_Of_Frame(const FrameStore& source, int bx, int by, const int vectors[2][2][2],
                             const int selects[2][2], int s, int average) {
  const int W = decoder_state.coded_width;
  for (int field = 0; field < 2; ++field) {
    Predict_Area({&source, selects[field][s], field, 2 * W, 2 * W, 16, 8, bx, by / 2,
                  vectors[field][s][0], vectors[field][s][1] >> 1, average});
  }
}

void Predict_Dual_Prime_Frame(const FrameStore& source, int bx, int by,
                              const MacroblockContext& ctx) {
  const int W = decoder_state.coded_width;
  const int mvx = std::clamp(ctx.PMV[0][0][0], -kVectorLimit, kVectorLimit);
  const int mvy = std::clamp(ctx.PMV[0][0][1], -kVectorLimit, kVectorLimit) >> 1;
  int dual_prime_vectors[2][2];
  Derive_Dual_Prime_Vectors(dual_prime_vectors, ctx.dmvector, mvx, mvy);
  // Each field: the same-parity prediction, then the opposite parity
  // averaged in ([0] predicts the top field, [1] the bottom field).
  for (int field = 0; field < 2; ++field) {
    Predict_Area({&source, field, field, 2 * W, 2 * W, 16, 8, bx, by / 2, mvx, mvy, 0});
    Predict_Area({&source, 1 - field, field, 2 * W, 2 * W, 16, 8, bx, by / 2,
                  dual_prime_vectors[field][0], dual_prime_vectors[field][1], 1});
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
    Predict_Frame(reference, bx, by, ctx.PMV[0][0], 0);
  } else if (ctx.motion_type == MC_FIELD) {
    Predict_Fields_Of_Frame(reference, bx, by, ctx.PMV, ctx.motion_vertical_field_select, 0, 0);
  } else if (ctx.motion_type == MC_DMV) {
    Predict_Dual_Prime_Frame(reference, bx, by, ctx);
  } else {
    Report_Invalid_Motion_Type();
  }
}

void Predict_Forward_Field_Picture(int bx, int by, const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  const int W = d.coded_width;
  const bool forward = (ctx.macroblock_type & MACROBLOCK_MOTION_FORWARD) != 0;
  const auto& select = ctx.motion_vertical_field_select;
  if (ctx.motion_type == MC_FIELD || !forward) {
    Predict_Area({&Forward_Field_Reference(select[0][0]), select[0][0], 0, 2 * W, 2 * W, 16, 16, bx,
                  by, ctx.PMV[0][0][0], ctx.PMV[0][0][1], 0});
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area({&Forward_Field_Reference(select[half][0]), select[half][0], 0, 2 * W, 2 * W, 16,
                    8, bx, by + 8 * half, ctx.PMV[half][0][0], ctx.PMV[half][0][1], 0});
    }
  } else if (ctx.motion_type == MC_DMV) {
    const int current_field = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
    const int mvx = std::clamp(ctx.PMV[0][0][0], -kVectorLimit, kVectorLimit);
    const int mvy = std::clamp(ctx.PMV[0][0][1], -kVectorLimit, kVectorLimit);
    int dual_prime_vectors[2][2];
    Derive_Dual_Prime_Vectors(dual_prime_vectors, ctx.dmvector, mvx, mvy);
    Predict_Area({&d.older_reference, current_field, 0, 2 * W, 2 * W, 16, 16, bx, by, mvx, mvy, 0});
    const FrameStore& opposite = d.in_second_field ? d.newer_reference : d.older_reference;
    Predict_Area({&opposite, 1 - current_field, 0, 2 * W, 2 * W, 16, 16, bx, by,
                  dual_prime_vectors[0][0], dual_prime_vectors[0][1], 1});
  } else {
    Report_Invalid_Motion_Type();
  }
}

void Predict_Backward(int bx, int by, const MacroblockContext& ctx, int average) {
  const DecoderState& d = decoder_state;
  const FrameStore& reference = d.newer_reference;
  const int W = d.coded_width;
  const auto& select = ctx.motion_vertical_field_select;
  if (d.picture_structure == FRAME_PICTURE) {
    if (ctx.motion_type == MC_FRAME) {
      Predict_Frame(reference, bx, by, ctx.PMV[0][1], average);
    } else {
      Predict_Fields_Of_Frame(reference, bx, by, ctx.PMV, select, 1, average);
    }
  } else if (ctx.motion_type == MC_FIELD) {
    Predict_Area({&reference, select[0][1], 0, 2 * W, 2 * W, 16, 16, bx, by, ctx.PMV[0][1][0],
                  ctx.PMV[0][1][1], average});
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area({&reference, select[half][1], 0, 2 * W, 2 * W, 16, 8, bx, by + 8 * half,
                    ctx.PMV[half][1][0], ctx.PMV[half][1][1], average});
    }
  } else {
    Report_Invalid_Motion_Type();
  }
}

}  // namespace

namespace {

constexpr PredictionKernels kPortablePredictionKernels = {
    {Predict_Rows<0, false>, Predict_Rows<1, false>, Predict_Rows<2, false>,
     Predict_Rows<3, false>},
    {Predict_Rows<0, true>, Predict_Rows<1, true>, Predict_Rows<2, true>, Predict_Rows<3, true>},
};

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
    Predict_Backward(bx, by, ctx, forward ? 1 : 0);
  }
}
