#include "tools/synth/picture_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "tools/synth/code_tables.h"
#include "tools/synth/motion_coding.h"

namespace synth {
namespace {

[[noreturn]] void Fail(const char* what, int a = 0, int b = 0) {
  std::fprintf(stderr, "synth: reference reconstruction: %s (%d, %d)\n", what, a, b);
  std::abort();
}

int ChromaShiftX(int chroma_format) {
  return chroma_format == 3 ? 0 : 1;
}
int ChromaShiftY(int chroma_format) {
  return chroma_format == 1 ? 1 : 0;
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

int Saturate(int v, int low, int high) {
  return std::min(std::max(v, low), high);
}

}  // namespace

Frame MakeFrame(int chroma_format, int width, int height) {
  Frame frame;
  for (int c = 0; c < 3; ++c) {
    Plane& p = frame.planes[c];
    p.width = c == 0 ? width : width >> ChromaShiftX(chroma_format);
    p.height = c == 0 ? height : height >> ChromaShiftY(chroma_format);
    p.samples.assign(static_cast<size_t>(p.width) * p.height, 0);
  }
  return frame;
}

std::array<int, 64> DequantiseBlock(const Block& block, bool intra, int block_index,
                                    const QuantState& q) {
  std::array<int, 64> f{};
  const bool chroma_matrix = q.mpeg2 && block_index >= 4 && q.chroma_format != 1;
  const int* matrix = intra ? (chroma_matrix ? q.chroma_intra_matrix : q.intra_matrix)
                            : (chroma_matrix ? q.chroma_non_intra_matrix : q.non_intra_matrix);
  const int* scan = q.mpeg2 && q.alternate_scan ? kAlternateScan : kZigzagScan;
  int position = 0;
  if (intra) {
    f[0] = q.mpeg2 ? block.dc * (8 >> q.intra_dc_precision) : block.dc * 8;
    position = 1;
  }
  for (const Coefficient& c : block.coefficients) {
    position += c.run;
    if (position > 63 || c.level == 0) Fail("coefficient outside the block", position, c.level);
    const int j = scan[position];
    const int w = matrix[j];
    int v;
    if (q.mpeg2) {
      // Division truncating toward zero, as the standard's "/".
      v = intra ? (2 * c.level * w * q.quantiser_scale) / 32
                : ((2 * c.level + Sign(c.level)) * w * q.quantiser_scale) / 32;
    } else {
      v = intra ? (2 * c.level * q.quantiser_scale * w) / 16
                : ((2 * c.level + Sign(c.level)) * q.quantiser_scale * w) / 16;
      if ((v & 1) == 0) v -= Sign(v);  // oddification toward zero
    }
    f[j] = Saturate(v, -2048, 2047);
    ++position;
  }
  if (intra) f[0] = Saturate(f[0], -2048, 2047);
  if (q.mpeg2) {
    int sum = 0;
    for (int v : f) sum += v;
    if ((sum & 1) == 0) f[63] += (f[63] & 1) ? -1 : 1;
  }
  return f;
}

std::array<int, 64> InverseDct(const std::array<int, 64>& coefficients) {
  // basis[x][u] = C(u) / 2 * cos((2x + 1) u pi / 16)
  static const std::array<std::array<double, 8>, 8> basis = [] {
    std::array<std::array<double, 8>, 8> b{};
    const double pi = std::acos(-1.0);
    for (int x = 0; x < 8; ++x) {
      for (int u = 0; u < 8; ++u) {
        const double c = u == 0 ? std::sqrt(0.5) : 1.0;
        b[x][u] = c / 2.0 * std::cos((2 * x + 1) * u * pi / 16.0);
      }
    }
    return b;
  }();
  std::array<int, 64> out{};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
          sum += basis[y][v] * basis[x][u] * coefficients[v * 8 + u];
        }
      }
      out[y * 8 + x] = Saturate(static_cast<int>(std::floor(sum + 0.5)), -256, 255);
    }
  }
  return out;
}

// One rectangle of a prediction: where it goes in the macroblock (luma rows
// first_row, first_row + row_step, ...) and where it comes from (a frame, or
// one field of it, at luma position x, y of that frame or field, moved by the
// vector).
struct PictureModel::Part {
  int first_row;
  int row_step;
  int rows;
  const Frame* reference;
  int parity;  // -1 the whole frame, 0 top field, 1 bottom field
  int x;
  int y;
  int vx;
  int vy;
};

PictureModel::PictureModel(int chroma_format, int coded_width, int coded_height)
    : chroma_format_(chroma_format),
      width_(coded_width),
      height_(coded_height),
      mb_width_(coded_width / 16),
      older_(MakeFrame(chroma_format, coded_width, coded_height)),
      newer_(MakeFrame(chroma_format, coded_width, coded_height)),
      current_(MakeFrame(chroma_format, coded_width, coded_height)) {}

void PictureModel::BeginPicture(const PictureInfo& info) {
  const bool second_field = in_second_field_ && info.picture_structure != 3;
  if (in_second_field_ && !second_field) Fail("a field without its second field");
  if (second_field && info.picture_structure == info_.picture_structure) {
    Fail("both fields of a pair have the same parity");
  }
  if (second_field && (info.picture_coding_type == 3) != (info_.picture_coding_type == 3)) {
    Fail("a B field paired with a reference field");
  }
  // The second field of an I or P frame may predict from the first.
  const bool own_first_field = second_field && info_.picture_coding_type != 3;
  if (info.picture_coding_type == 2 && !newer_valid_ && !own_first_field) {
    Fail("a P picture without a reference");
  }
  if (info.picture_coding_type == 3 && !(newer_valid_ && older_valid_)) {
    Fail("a B picture without two references");
  }
  info_ = info;
  if (!second_field) current_ = MakeFrame(chroma_format_, width_, height_);
}

void PictureModel::EndPicture() {
  if (IsFieldPicture() && !in_second_field_) {
    in_second_field_ = true;
    return;
  }
  in_second_field_ = false;
  const int type = info_.picture_coding_type;
  if (type == 1 || type == 2) {
    if (newer_valid_) output_.push_back(newer_);
    older_ = std::move(newer_);
    older_valid_ = newer_valid_;
    newer_ = std::move(current_);
    newer_valid_ = true;
  } else {
    output_.push_back(std::move(current_));
  }
  current_ = MakeFrame(chroma_format_, width_, height_);
}

void PictureModel::EndSequence() {
  if (in_second_field_) Fail("sequence ends after a lone field");
  if (newer_valid_) output_.push_back(newer_);
  newer_valid_ = false;
}

const Frame& PictureModel::ForwardReference() const {
  return info_.picture_coding_type == 3 ? older_ : newer_;
}

const Frame& PictureModel::FieldReference(int s, int field_select) const {
  // The second field of a P frame may predict from the first field of its
  // own frame: the most recent field of the other parity.
  if (info_.picture_coding_type == 2 && in_second_field_ && field_select != CurrentParity()) {
    return current_;
  }
  return s == 0 ? ForwardReference() : newer_;
}

PictureModel::MacroblockSamples PictureModel::EmptySamples() const {
  MacroblockSamples m;
  m.plane[0].assign(256, 0);
  const int chroma = (16 >> ChromaShiftX(chroma_format_)) * (16 >> ChromaShiftY(chroma_format_));
  m.plane[1].assign(chroma, 0);
  m.plane[2].assign(chroma, 0);
  return m;
}

void PictureModel::PredictPart(const Part& part, MacroblockSamples& out) const {
  for (int c = 0; c < 3; ++c) {
    const int sx = c == 0 ? 0 : ChromaShiftX(chroma_format_);
    const int sy = c == 0 ? 0 : ChromaShiftY(chroma_format_);
    const Plane& ref = part.reference->planes[c];
    const int w = 16 >> sx;
    const int h = part.rows >> sy;
    const int first_row = part.row_step == 2 ? part.first_row : part.first_row >> sy;
    // Chroma vectors are the luma vectors scaled, truncated toward zero.
    const int vx = sx ? part.vx / 2 : part.vx;
    const int vy = sy ? part.vy / 2 : part.vy;
    const int x0 = (part.x >> sx) + (vx >> 1);
    const int y0 = (part.y >> sy) + (vy >> 1);
    const int xh = vx & 1;
    const int yh = vy & 1;
    const int view_height = part.parity < 0 ? ref.height : ref.height / 2;
    if (x0 < 0 || y0 < 0 || x0 + w - 1 + xh >= ref.width || y0 + h - 1 + yh >= view_height) {
      Fail("vector reaches outside the reference picture", part.vx, part.vy);
    }
    auto sample = [&](int x, int y) {
      const int row = part.parity < 0 ? y : 2 * y + part.parity;
      return static_cast<int>(ref.At(x, row));
    };
    std::vector<int>& dst = out.plane[c];
    for (int i = 0; i < h; ++i) {
      for (int j = 0; j < w; ++j) {
        const int x = x0 + j;
        const int y = y0 + i;
        int p;
        if (!xh && !yh) {
          p = sample(x, y);
        } else if (xh && !yh) {
          p = (sample(x, y) + sample(x + 1, y) + 1) >> 1;
        } else if (!xh && yh) {
          p = (sample(x, y) + sample(x, y + 1) + 1) >> 1;
        } else {
          p = (sample(x, y) + sample(x + 1, y) + sample(x, y + 1) + sample(x + 1, y + 1) + 2) >> 2;
        }
        dst[static_cast<size_t>(first_row + i * part.row_step) * w + j] = p;
      }
    }
  }
}

namespace {

void Average(const std::array<std::vector<int>, 3>& other, std::array<std::vector<int>, 3>& into) {
  for (int c = 0; c < 3; ++c) {
    for (size_t i = 0; i < into[c].size(); ++i) into[c][i] = (into[c][i] + other[c][i] + 1) >> 1;
  }
}

}  // namespace

void PictureModel::Predict(int s, const MacroblockPlan& mb, int bx, int by,
                           MacroblockSamples& out) const {
  auto vec = [&](int r) { return mb.vector[r][s]; };
  if (!IsFieldPicture()) {
    const Frame& ref = s == 0 ? ForwardReference() : newer_;
    switch (mb.motion) {
      case Motion::kAuto:
      case Motion::kFrame:
        PredictPart({0, 1, 16, &ref, -1, bx, by, vec(0).x, vec(0).y}, out);
        return;
      case Motion::kField:
        for (int r = 0; r < 2; ++r) {
          PredictPart({r, 2, 8, &ref, mb.field_select[r][s], bx, by / 2, vec(r).x, vec(r).y}, out);
        }
        return;
      case Motion::kDualPrime: {
        const int mv[2] = {vec(0).x, vec(0).y};
        const DualPrimeVectors dp = DeriveDualPrimeFrame(mv, mb.dmvector, info_.top_field_first);
        for (int r = 0; r < 2; ++r) PredictPart({r, 2, 8, &ref, r, bx, by / 2, mv[0], mv[1]}, out);
        MacroblockSamples opposite = EmptySamples();
        for (int r = 0; r < 2; ++r) {
          PredictPart({r, 2, 8, &ref, 1 - r, bx, by / 2, dp.vector[r][0], dp.vector[r][1]},
                      opposite);
        }
        Average(opposite.plane, out.plane);
        return;
      }
      case Motion::k16x8:
        Fail("16x8 motion in a frame picture");
    }
  }
  switch (mb.motion) {
    case Motion::kAuto:
    case Motion::kField: {
      const int fs = mb.field_select[0][s];
      PredictPart({0, 1, 16, &FieldReference(s, fs), fs, bx, by, vec(0).x, vec(0).y}, out);
      return;
    }
    case Motion::k16x8:
      for (int r = 0; r < 2; ++r) {
        const int fs = mb.field_select[r][s];
        PredictPart({8 * r, 1, 8, &FieldReference(s, fs), fs, bx, by + 8 * r, vec(r).x, vec(r).y},
                    out);
      }
      return;
    case Motion::kDualPrime: {
      const int parity = CurrentParity();
      const int mv[2] = {vec(0).x, vec(0).y};
      const DualPrimeVectors dp = DeriveDualPrimeField(mv, mb.dmvector, parity == 1);
      PredictPart({0, 1, 16, &ForwardReference(), parity, bx, by, mv[0], mv[1]}, out);
      MacroblockSamples opposite = EmptySamples();
      PredictPart({0, 1, 16, &FieldReference(0, 1 - parity), 1 - parity, bx, by, dp.vector[0][0],
                   dp.vector[0][1]},
                  opposite);
      Average(opposite.plane, out.plane);
      return;
    }
    case Motion::kFrame:
      Fail("frame motion in a field picture");
  }
}

void PictureModel::FormPrediction(const MacroblockPlan& mb, MacroblockSamples& out) const {
  const int bx = 16 * (mb.address % mb_width_);
  const int by = 16 * (mb.address / mb_width_);
  if (info_.picture_coding_type == 2 && !mb.forward) {
    // No motion compensation: the co-located frame, or field of the same parity.
    MacroblockPlan zero;
    zero.address = mb.address;
    zero.field_select[0][0] = CurrentParity();
    Predict(0, zero, bx, by, out);
    return;
  }
  if (!mb.forward && !mb.backward) Fail("a non-intra macroblock without prediction", mb.address);
  if (mb.forward) Predict(0, mb, bx, by, out);
  if (mb.backward) {
    if (!mb.forward) {
      Predict(1, mb, bx, by, out);
    } else {
      MacroblockSamples backward = EmptySamples();
      Predict(1, mb, bx, by, backward);
      Average(backward.plane, out.plane);
    }
  }
}

void PictureModel::AddBlock(const std::array<int, 64>& residual, int block_index, int dct_type,
                            MacroblockSamples& samples) const {
  int plane = 0;
  int k = block_index;  // block number within its colour component
  if (block_index >= 4) {
    plane = (block_index & 1) ? 2 : 1;
    k = (block_index - 4) >> 1;
  }
  const int sx = plane == 0 ? 0 : ChromaShiftX(chroma_format_);
  const int w = 16 >> sx;
  int block_x;
  int block_row;  // which of the two block rows
  if (plane == 0) {
    block_x = 8 * (k & 1);
    block_row = k >> 1;
  } else if (chroma_format_ == 3) {
    block_x = 8 * (k >> 1);  // Cb blocks 4, 6 on the left, 8, 10 on the right
    block_row = k & 1;
  } else {
    block_x = 0;
    block_row = k;
  }
  // Field DCT interleaves the block rows, except for 4:2:0 chroma.
  const bool field = dct_type == 1 && (plane == 0 || chroma_format_ != 1);
  std::vector<int>& dst = samples.plane[plane];
  for (int i = 0; i < 8; ++i) {
    const int row = field ? block_row + 2 * i : 8 * block_row + i;
    for (int j = 0; j < 8; ++j)
      dst[static_cast<size_t>(row) * w + block_x + j] += residual[i * 8 + j];
  }
}

void PictureModel::Store(int address, const MacroblockSamples& samples) {
  const int bx = 16 * (address % mb_width_);
  const int by = 16 * (address / mb_width_);
  for (int c = 0; c < 3; ++c) {
    const int sx = c == 0 ? 0 : ChromaShiftX(chroma_format_);
    const int sy = c == 0 ? 0 : ChromaShiftY(chroma_format_);
    const int w = 16 >> sx;
    const int h = 16 >> sy;
    Plane& p = current_.planes[c];
    for (int i = 0; i < h; ++i) {
      const int y = (by >> sy) + i;
      const int row = IsFieldPicture() ? 2 * y + CurrentParity() : y;
      if (row >= p.height) Fail("macroblock below the picture", address);
      for (int j = 0; j < w; ++j) {
        p.At((bx >> sx) + j, row) = static_cast<uint8_t>(
            Saturate(samples.plane[c][static_cast<size_t>(i) * w + j], 0, 255));
      }
    }
  }
}

void PictureModel::CodedMacroblock(const MacroblockPlan& mb, const QuantState& q) {
  MacroblockSamples samples = EmptySamples();
  if (!mb.intra) FormPrediction(mb, samples);
  const int blocks = BlocksPerMacroblock(chroma_format_);
  for (int b = 0; b < blocks; ++b) {
    const Block& block = mb.blocks[b];
    if (!mb.intra && block.coefficients.empty()) continue;
    AddBlock(InverseDct(DequantiseBlock(block, mb.intra, b, q)), b, mb.dct_type, samples);
  }
  Store(mb.address, samples);
}

void PictureModel::SkippedMacroblock(int address, const MacroblockPlan& previous) {
  MacroblockSamples samples = EmptySamples();
  MacroblockPlan skipped;
  if (info_.picture_coding_type == 3) {
    skipped = previous;
    skipped.intra = false;
  }
  skipped.address = address;
  FormPrediction(skipped, samples);
  Store(address, samples);
}

}  // namespace synth
