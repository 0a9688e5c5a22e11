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

// The 8-sample loop in two planes at once (the chroma planes of 4:2:0 and
// 4:2:2, which share their geometry).
template <int kCase, bool kAverage>
struct Predict_Rows_Pair {
  static void Run(uint8_t* dst0, const uint8_t* src0, uint8_t* dst1, const uint8_t* src1, int pitch,
                  int h) {
    Predict_Rows<kCase, kAverage, 8>::Run(dst0, src0, pitch, h);
    Predict_Rows<kCase, kAverage, 8>::Run(dst1, src1, pitch, h);
  }
};

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

// One plane as a prediction walks it: frame lines, or the lines of one field
// (every second frame line).
struct PlaneWalk {
  const uint8_t* source;  // line 0 of the reference
  uint8_t* destination;   // line 0 of the picture being decoded
  int pitch;              // bytes from one line to the next
  int width;              // samples per line
  int lines;              // lines of the reference
};

// A w x h block (w 8 or 16) at column x, line y of a walk, and where its
// prediction is read: the vector's full-sample part applied to the
// position, its half-sample parts selecting the interpolation.
struct BlockMotion {
  int x, y;
  int column, line;  // first source sample
  int half;          // xh + 2 * yh
  int w, h;

  BlockMotion(int w_, int h_, int x_, int y_, int dx, int dy)
      : x(x_),
        y(y_),
        column(x_ + (dx >> 1)),
        line(y_ + (dy >> 1)),
        half((dx & 1) + 2 * (dy & 1)),
        w(w_),
        h(h_) {}

  // Whether every source sample, half-sample neighbours included, lies in
  // the reference.
  bool Inside(const PlaneWalk& walk) const {
    return column >= 0 && column + w + (half & 1) <= walk.width && line >= 0 &&
           line + h + (half >> 1) <= walk.lines;
  }
  uint8_t* Destination(const PlaneWalk& walk) const {
    return walk.destination + static_cast<std::ptrdiff_t>(walk.pitch) * y + x;
  }
  const uint8_t* Source(const PlaneWalk& walk) const {
    return walk.source + static_cast<std::ptrdiff_t>(walk.pitch) * line + column;
  }
};

// A block whose source samples reach outside the reference, predicted from a
// copy made with clamped coordinates: edge samples repeat, and a field
// reference repeats its own edge lines. Only damaged or non-conforming
// streams get here. (Plain values rather than the records: a record whose
// address is taken would be built in memory on the common path too.)
[[gnu::noinline]] void Predict_Block_At_Edge(PredictFunction kernel, const uint8_t* source,
                                             uint8_t* destination, int pitch, int width,
                                             int walk_lines, int column, int line, int half, int w,
                                             int h) {
  const int lines = h + (half >> 1);
  const int columns = w + (half & 1);
  if (lines > kEdgeLines || columns > kEdgeStride) return;  // never asked for
  uint8_t edge[kEdgeLines * kEdgeStride] = {};
  for (int j = 0; j < lines; ++j) {
    const uint8_t* row =
        source + static_cast<std::ptrdiff_t>(pitch) * std::clamp(line + j, 0, walk_lines - 1);
    for (int c = 0; c < columns; ++c) {
      edge[j * kEdgeStride + c] = row[std::clamp(column + c, 0, width - 1)];
    }
  }
  // The kernels step source and destination alike: the destination rows go
  // through a buffer of the copy's pitch.
  const size_t bytes = static_cast<size_t>(w);
  uint8_t block[kEdgeLines * kEdgeStride] = {};
  for (int j = 0; j < h; ++j) {
    std::memcpy(block + j * kEdgeStride, destination + static_cast<std::ptrdiff_t>(pitch) * j,
                bytes);
  }
  kernel(block, edge, kEdgeStride, h);
  for (int j = 0; j < h; ++j) {
    std::memcpy(destination + static_cast<std::ptrdiff_t>(pitch) * j, block + j * kEdgeStride,
                bytes);
  }
}

[[gnu::always_inline]] inline void Predict_Block(PredictFunction kernel, const BlockMotion& motion,
                                                 const PlaneWalk& walk) {
  if (motion.Inside(walk)) [[likely]] {
    const uint8_t* source = motion.Source(walk);
    // The next macroblock often moves as this one: its rows of the reference
    // are asked for now, so that large pictures, whose references do not
    // stay in the caches, wait less on them. A prefetch never faults.
    const uintptr_t ahead =
        reinterpret_cast<uintptr_t>(source) + 2 * static_cast<unsigned>(motion.w);
    for (int row = 0; row <= motion.h; ++row) {
      __builtin_prefetch(reinterpret_cast<const void*>(ahead + static_cast<uintptr_t>(walk.pitch) *
                                                                   static_cast<unsigned>(row)));
    }
    kernel(motion.Destination(walk), source, walk.pitch, motion.h);
  } else {
    Predict_Block_At_Edge(kernel, walk.source, motion.Destination(walk), walk.pitch, walk.width,
                          walk.lines, motion.column, motion.line, motion.half, motion.w, motion.h);
  }
}

// ---------------------------------------------------------------------------
// One luma rectangle and the matching chroma rectangles.

// Plane p of the walks.
[[gnu::always_inline]] inline PlaneWalk Plane_Walk(const FrameStore& source,
                                                   const PlaneWalks& walks, int p) {
  return {source.plane[p] + walks.source_offset[p], walks.destination[p], walks.pitch[p],
          walks.width[p], walks.lines[p]};
}

// The 16 x h luma area at (x, y) in lines of the walks and its chroma
// areas, predicted from `source` with the luma vector (dx, dy).
void Predict_Area(const FrameStore& source, const PlaneWalks& walks, int h, int x, int y, int dx,
                  int dy, bool average) {
  const DecoderState& d = decoder_state;
  const PredictionKernels& kernels = prediction_kernels;
  const auto& loops = average ? kernels.average : kernels.put;
  dx = std::clamp(dx, -kVectorLimit, kVectorLimit);
  dy = std::clamp(dy, -kVectorLimit, kVectorLimit);

  const BlockMotion luma(16, h, x, y, dx, dy);
  Predict_Block(loops[PREDICT_16][luma.half], luma, Plane_Walk(source, walks, 0));

  // The chroma rules follow the plane sizes, which are those of the chroma
  // format the stores were laid out for: halved horizontally unless 4:4:4,
  // vertically for 4:2:0. Vector components halve toward zero.
  const bool half_width = d.chroma_width < d.coded_width;
  if (d.chroma_height < d.coded_height) {
    h >>= 1;
    y >>= 1;
    dy /= 2;
  }
  const PlaneWalk cb = Plane_Walk(source, walks, 1);
  const PlaneWalk cr = Plane_Walk(source, walks, 2);
  if (half_width) {
    const BlockMotion chroma(8, h, x >> 1, y, dx / 2, dy);
    // Both planes share the walk's geometry.
    if (chroma.Inside(cb)) [[likely]] {
      (average ? kernels.average_pair : kernels.put_pair)[chroma.half](
          chroma.Destination(cb), chroma.Source(cb), chroma.Destination(cr), chroma.Source(cr),
          cb.pitch, h);
      return;
    }
    for (const PlaneWalk* walk : {&cb, &cr}) {
      Predict_Block_At_Edge(loops[PREDICT_8][chroma.half], walk->source, chroma.Destination(*walk),
                            walk->pitch, walk->width, walk->lines, chroma.column, chroma.line,
                            chroma.half, chroma.w, chroma.h);
    }
  } else {
    const BlockMotion chroma(16, h, x, y, dx, dy);
    Predict_Block(loops[PREDICT_16][chroma.half], chroma, cb);
    Predict_Block(loops[PREDICT_16][chroma.half], chroma, cr);
  }
}

// The walks of frame lines, and of the lines of one field of the reference
// into one field of the destination (a field picture's own lines: field 0).
const PlaneWalks& Frame_Walks() {
  return decoder_state.prediction_walks[0];
}
const PlaneWalks& Field_Walks(int source_field, int destination_field) {
  return decoder_state.prediction_walks[1 + 2 * (source_field & 1) + (destination_field & 1)];
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
  Predict_Area(source, Frame_Walks(), 16, bx, by, vector[0], vector[1], average);
}

// Field prediction in a frame picture: each field of the macroblock from the
// field its select names; vectors are kept in frame units.
void Predict_Fields_Of_Frame(const FrameStore& source, int bx, int by, const int vectors[2][2][2],
                             const int selects[2][2], int s, bool average) {
  for (int field = 0; field < 2; ++field) {
    Predict_Area(source, Field_Walks(selects[field][s], field), 8, bx, by / 2, vectors[field][s][0],
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
    Predict_Area(source, Field_Walks(field, field), 8, bx, by / 2, mvx, mvy, false);
    Predict_Area(source, Field_Walks(1 - field, field), 8, bx, by / 2, dual_prime_vectors[field][0],
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
    Predict_Area(Forward_Field_Reference(select[0][0]), Field_Walks(select[0][0], 0), 16, bx, by,
                 ctx.PMV[0][0][0], ctx.PMV[0][0][1], false);
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area(Forward_Field_Reference(select[half][0]), Field_Walks(select[half][0], 0), 8, bx,
                   by + 8 * half, ctx.PMV[half][0][0], ctx.PMV[half][0][1], false);
    }
  } else if (ctx.motion_type == MC_DMV) {
    const int current_field = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
    const int mvx = std::clamp(ctx.PMV[0][0][0], -kVectorLimit, kVectorLimit);
    const int mvy = std::clamp(ctx.PMV[0][0][1], -kVectorLimit, kVectorLimit);
    int dual_prime_vectors[2][2];
    Derive_Dual_Prime_Vectors(dual_prime_vectors, ctx.dmvector, mvx, mvy);
    Predict_Area(d.older_reference, Field_Walks(current_field, 0), 16, bx, by, mvx, mvy, false);
    const FrameStore& opposite = d.in_second_field ? d.newer_reference : d.older_reference;
    Predict_Area(opposite, Field_Walks(1 - current_field, 0), 16, bx, by, dual_prime_vectors[0][0],
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
    Predict_Area(reference, Field_Walks(select[0][1], 0), 16, bx, by, ctx.PMV[0][1][0],
                 ctx.PMV[0][1][1], average);
  } else if (ctx.motion_type == MC_16X8) {
    for (int half = 0; half < 2; ++half) {
      Predict_Area(reference, Field_Walks(select[half][1], 0), 8, bx, by + 8 * half,
                   ctx.PMV[half][1][0], ctx.PMV[half][1][1], average);
    }
  } else {
    Report_Invalid_Motion_Type();
  }
}

}  // namespace

namespace {

constexpr PredictionKernels kPortablePredictionKernels =
    Make_Prediction_Kernels<Predict_Rows, Predict_Rows_Pair>();

}  // namespace

const PredictionKernels portable_prediction_kernels = kPortablePredictionKernels;
// Constant-initialised, so it is ready before any static constructor runs.
constinit PredictionKernels prediction_kernels = kPortablePredictionKernels;

void Prepare_Prediction_Walks() {
  DecoderState& d = decoder_state;
  for (int walk = 0; walk < 5; ++walk) {
    PlaneWalks& walks = d.prediction_walks[walk];
    // Frame lines, or field lines from one field into another.
    const int shift = walk == 0 ? 0 : 1;
    const int source_field = walk == 0 ? 0 : (walk - 1) >> 1;
    const int destination_field = walk == 0 ? 0 : (walk - 1) & 1;
    for (int p = 0; p < 3; ++p) {
      const int width = p == 0 ? d.coded_width : d.chroma_width;
      const int height = p == 0 ? d.coded_height : d.chroma_height;
      walks.source_offset[p] = static_cast<std::ptrdiff_t>(width) * source_field;
      walks.destination[p] =
          d.decode_target.plane[p] + static_cast<std::ptrdiff_t>(width) * destination_field;
      walks.pitch[p] = width << shift;
      walks.width[p] = width;
      walks.lines[p] = (height - source_field + shift) >> shift;
    }
  }
}

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
