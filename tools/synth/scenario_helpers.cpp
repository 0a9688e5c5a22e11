#include "tools/synth/scenario_helpers.h"

#include <algorithm>

#include "tools/synth/motion_coding.h"

namespace synth {
namespace {

struct Rect {
  int x;
  int y;
  int w;
  int h;
  int view_width;
  int view_height;
};

bool Fits(const Rect& r, int vx, int vy) {
  const Vector v{vx, vy};
  const Vector c = ClampVector(v, r.x, r.y, r.w, r.h, r.view_width, r.view_height);
  return c.x == v.x && c.y == v.y;
}

int ChromaFormat(const StreamWriter& w) {
  return w.sequence().mpeg2 ? w.sequence().chroma_format : 1;
}

bool IsField(const StreamWriter& w) {
  return w.picture().picture_structure != 3;
}

int Parity(const StreamWriter& w) {
  return w.picture().picture_structure == 2 ? 1 : 0;
}

Motion Resolve(const StreamWriter& w, Motion m) {
  if (m != Motion::kAuto) return m;
  return IsField(w) ? Motion::kField : Motion::kFrame;
}

bool MotionAllowed(const StreamWriter& w, Motion m) {
  const PictureSettings& p = w.picture();
  if (!w.sequence().mpeg2) return m == Motion::kFrame;
  if (IsField(w)) {
    return m == Motion::kField || m == Motion::k16x8 ||
           (m == Motion::kDualPrime && p.picture_coding_type == 2);
  }
  if (p.frame_pred_frame_dct) return m == Motion::kFrame;
  return m == Motion::kFrame || m == Motion::kField ||
         (m == Motion::kDualPrime && p.picture_coding_type == 2);
}

// A random vector component within max_vector and the f_code range; within
// half the range for `doubled` components (vertical field vectors of frame
// pictures, which are kept doubled as predictors and must stay predictors
// every decoder wraps alike).
int RandomComponent(Lcg& rng, const InterOptions& o, int r_size, bool doubled) {
  const int high = VectorRangeHigh(r_size);
  const int limit = std::min(o.max_vector, doubled ? high / 2 : high);
  int v = rng.Range(-limit, limit);
  if (!o.half_samples) v &= ~1;
  return v;
}

int RandomFieldSelect(Lcg& rng, unsigned mask) {
  if (mask == 1) return 0;
  if (mask == 2) return 1;
  return rng.Next(2);
}

// Whether the prediction `mb` forms for a skipped macroblock at `address`
// is one every decoder agrees on (see StreamWriter::CheckSkippable) and
// stays inside the references.
bool SkipAllowed(const StreamWriter& w, const MacroblockPlan& previous, int address,
                 const InterOptions& o) {
  const int type = w.picture().picture_coding_type;
  if (type == 2) {
    // A P field reads the field of its own parity from the previous frame.
    return !IsField(w) || (o.field_selects[0] >> Parity(w)) & 1;
  }
  if (previous.intra) return false;
  const Motion m = Resolve(w, previous.motion);
  if (IsField(w)) {
    if (m != Motion::kField) return false;
    if (previous.forward && previous.field_select[0][0] != Parity(w)) return false;
    if (previous.backward && previous.field_select[0][1] != Parity(w)) return false;
  } else if (m != Motion::kFrame) {
    return false;
  }
  MacroblockPlan moved = previous;
  moved.address = address;
  return PredictionFits(w, moved);
}

// Intra macroblocks of pictures with concealment_motion_vectors carry a
// vector; it is never applied, so any value of the f_code range will do.
void AddConcealmentVector(const StreamWriter& w, Lcg& rng, MacroblockPlan& mb) {
  const PictureSettings& p = w.picture();
  if (!mb.intra || !p.concealment_motion_vectors) return;
  const int rx = p.f_code[0][0] - 1;
  const int ry = p.f_code[0][1] - 1;
  mb.vector[0][0] = {rng.Range(VectorRangeLow(rx), VectorRangeHigh(rx)),
                     rng.Range(VectorRangeLow(ry), VectorRangeHigh(ry))};
  mb.field_select[0][0] = rng.Next(2);
}

}  // namespace

int Lcg::Next(int n) {
  state_ = state_ * 1664525u + 1013904223u;
  return static_cast<int>((state_ >> 8) % static_cast<uint32_t>(n));
}

int PatternDc(int component, int bx, int by, int seed) {
  uint32_t h = static_cast<uint32_t>(bx) * 73856093u ^ static_cast<uint32_t>(by) * 19349663u ^
               static_cast<uint32_t>(seed) * 83492791u ^
               static_cast<uint32_t>(component) * 2654435761u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  if (component == 0) return 24 + (bx * 5 + by * 7 + seed * 3) % 120 + static_cast<int>(h % 80);
  return 64 + static_cast<int>(h % 128);
}

MacroblockPlan PatternIntra(const StreamWriter& w, int address, int seed, int dct_type,
                            int precision) {
  MacroblockPlan mb;
  mb.address = address;
  mb.intra = true;
  mb.dct_type = dct_type;
  const int mbx = address % w.mb_width();
  const int mby = address / w.mb_width();
  for (int b = 0; b < 4; ++b) {
    mb.blocks[b].dc = PatternDc(0, 2 * mbx + (b & 1), 2 * mby + (b >> 1), seed) << precision;
  }
  const int chroma_format = ChromaFormat(w);
  const int per_component = BlocksPerMacroblock(chroma_format) / 2 - 2;
  for (int k = 0; k < per_component; ++k) {
    int bx = mbx;
    int by = mby;
    if (chroma_format == 2) by = 2 * mby + k;
    if (chroma_format == 3) {
      bx = 2 * mbx + (k >> 1);
      by = 2 * mby + (k & 1);
    }
    mb.blocks[4 + 2 * k].dc = PatternDc(1, bx, by, seed) << precision;
    mb.blocks[5 + 2 * k].dc = PatternDc(2, bx, by, seed) << precision;
  }
  return mb;
}

void WriteIntraPicture(StreamWriter& w, Lcg& rng, const IntraOptions& o) {
  const PictureSettings& p = w.picture();
  const bool dct_choice = !IsField(w) && !p.frame_pred_frame_dct && w.sequence().mpeg2;
  const int per_slice = (w.mb_width() + o.slices_per_row - 1) / o.slices_per_row;
  for (int row = 0; row < w.mb_rows(); ++row) {
    for (int col = 0; col < w.mb_width(); ++col) {
      if (col % per_slice == 0) w.Slice(row, o.quantiser_scale_code);
      const int address = row * w.mb_width() + col;
      const int dct_type = dct_choice && rng.Percent(o.field_dct_percent) ? 1 : 0;
      MacroblockPlan mb = PatternIntra(w, address, o.seed, dct_type, o.precision);
      AddConcealmentVector(w, rng, mb);
      if (o.decorate) o.decorate(mb, rng);
      w.Macroblock(mb);
    }
  }
}

Vector ClampVector(Vector v, int x, int y, int w, int h, int view_width, int view_height) {
  // vx = -2x reads from column 0; vx = 2 (W - w - x) ends at column W - 1;
  // the odd values between need one more column, which they have.
  v.x = std::clamp(v.x, -2 * x, 2 * (view_width - w - x));
  v.y = std::clamp(v.y, -2 * y, 2 * (view_height - h - y));
  return v;
}

bool PredictionFits(const StreamWriter& w, const MacroblockPlan& mb) {
  const int width = w.coded_width();
  const int height = w.coded_height();
  const int bx = 16 * (mb.address % w.mb_width());
  const int by = 16 * (mb.address / w.mb_width());
  const Motion m = Resolve(w, mb.motion);
  for (int s = 0; s < 2; ++s) {
    if (!(s == 0 ? mb.forward : mb.backward)) continue;
    const Vector* v = &mb.vector[0][s];
    const Vector* v1 = &mb.vector[1][s];
    if (!IsField(w)) {
      const Rect field_rect{bx, by / 2, 16, 8, width, height / 2};
      switch (m) {
        case Motion::kFrame:
          if (!Fits({bx, by, 16, 16, width, height}, v->x, v->y)) return false;
          break;
        case Motion::kField:
          if (!Fits(field_rect, v->x, v->y) || !Fits(field_rect, v1->x, v1->y)) return false;
          break;
        case Motion::kDualPrime: {
          const int mv[2] = {v->x, v->y};
          const DualPrimeVectors dp =
              DeriveDualPrimeFrame(mv, mb.dmvector, w.picture().top_field_first);
          if (!Fits(field_rect, mv[0], mv[1])) return false;
          for (int r = 0; r < 2; ++r) {
            if (!Fits(field_rect, dp.vector[r][0], dp.vector[r][1])) return false;
          }
          break;
        }
        default:
          return false;
      }
      continue;
    }
    const Rect whole{bx, by, 16, 16, width, height / 2};
    switch (m) {
      case Motion::kField:
        if (!Fits(whole, v->x, v->y)) return false;
        break;
      case Motion::k16x8:
        if (!Fits({bx, by, 16, 8, width, height / 2}, v->x, v->y)) return false;
        if (!Fits({bx, by + 8, 16, 8, width, height / 2}, v1->x, v1->y)) return false;
        break;
      case Motion::kDualPrime: {
        const int mv[2] = {v->x, v->y};
        const DualPrimeVectors dp = DeriveDualPrimeField(mv, mb.dmvector, Parity(w) == 1);
        if (!Fits(whole, mv[0], mv[1]) || !Fits(whole, dp.vector[0][0], dp.vector[0][1])) {
          return false;
        }
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

namespace {

// A motion-compensated macroblock with random vectors that fit, or a
// zero-vector one after too many tries.
MacroblockPlan RandomInter(const StreamWriter& w, Lcg& rng, int address, const InterOptions& o) {
  const PictureSettings& p = w.picture();
  MacroblockPlan mb;
  mb.address = address;
  if (p.picture_coding_type == 2) {
    mb.forward = true;
  } else {
    const int choice = o.forward && o.backward ? rng.Next(3) : (o.forward ? 0 : 1);
    mb.forward = choice != 1;
    mb.backward = choice != 0;
  }
  std::vector<Motion> motions;
  for (Motion m : o.motions) {
    const Motion r = Resolve(w, m);
    if (MotionAllowed(w, r) && (r != Motion::kDualPrime || !mb.backward)) motions.push_back(r);
  }
  if (motions.empty()) motions.push_back(Resolve(w, Motion::kAuto));
  for (int attempt = 0; attempt < 64; ++attempt) {
    mb.motion = motions[static_cast<size_t>(rng.Next(static_cast<int>(motions.size())))];
    for (int s = 0; s < 2; ++s) {
      const int rx = p.f_code[s][0] == 15 ? 0 : p.f_code[s][0] - 1;
      const int ry = p.f_code[s][1] == 15 ? 0 : p.f_code[s][1] - 1;
      // MPEG-1 full-sample vectors: even in half samples.
      const bool full_pel =
          !w.sequence().mpeg2 && (s == 0 ? p.full_pel_forward_vector : p.full_pel_backward_vector);
      const bool doubled = !IsField(w) && mb.motion != Motion::kFrame;
      for (int r = 0; r < 2; ++r) {
        mb.vector[r][s] = {RandomComponent(rng, o, rx, false),
                           RandomComponent(rng, o, ry, doubled)};
        if (full_pel) {
          mb.vector[r][s].x &= ~1;
          mb.vector[r][s].y &= ~1;
        }
        mb.field_select[r][s] = RandomFieldSelect(rng, o.field_selects[s]);
      }
      // A single-vector prediction uses vector 0 only.
      if (mb.motion != Motion::kField || IsField(w)) {
        if (mb.motion != Motion::k16x8) mb.vector[1][s] = mb.vector[0][s];
      }
    }
    mb.dmvector[0] = rng.Range(-1, 1);
    mb.dmvector[1] = rng.Range(-1, 1);
    if (PredictionFits(w, mb)) return mb;
  }
  mb.motion = Resolve(w, Motion::kAuto);
  mb.vector[0][0] = mb.vector[0][1] = mb.vector[1][0] = mb.vector[1][1] = Vector{};
  mb.dmvector[0] = mb.dmvector[1] = 0;
  const int parity = IsField(w) ? Parity(w) : 0;
  for (int s = 0; s < 2; ++s) {
    const unsigned mask = o.field_selects[s];
    const int fs = (mask >> parity) & 1 ? parity : 1 - parity;
    mb.field_select[0][s] = mb.field_select[1][s] = fs;
  }
  return mb;
}

}  // namespace

void WriteInterPicture(StreamWriter& w, Lcg& rng, const InterOptions& o) {
  const PictureSettings& p = w.picture();
  const bool dct_choice = !IsField(w) && !p.frame_pred_frame_dct && w.sequence().mpeg2;
  const int per_slice = (w.mb_width() + o.slices_per_row - 1) / o.slices_per_row;
  MacroblockPlan previous;
  for (int row = 0; row < w.mb_rows(); ++row) {
    for (int col = 0; col < w.mb_width(); ++col) {
      const bool first = col % per_slice == 0;
      const bool last = col == w.mb_width() - 1 || (col + 1) % per_slice == 0;
      if (first) w.Slice(row, o.quantiser_scale_code);
      const int address = row * w.mb_width() + col;
      if (!first && !last && rng.Percent(o.skip_percent) && SkipAllowed(w, previous, address, o)) {
        continue;
      }
      MacroblockPlan mb;
      if (rng.Percent(o.intra_percent)) {
        mb = PatternIntra(w, address, o.seed + address, dct_choice && rng.Next(2) ? 1 : 0);
        AddConcealmentVector(w, rng, mb);
      } else {
        mb = RandomInter(w, rng, address, o);
      }
      if (o.decorate) o.decorate(mb, rng);
      w.Macroblock(mb);
      previous = mb;
    }
  }
}

PictureSettings IntraPictureSettings(int temporal_reference) {
  PictureSettings p;
  p.picture_coding_type = 1;
  p.temporal_reference = temporal_reference;
  return p;
}

PictureSettings PredictedPictureSettings(int temporal_reference, int f_code) {
  PictureSettings p;
  p.picture_coding_type = 2;
  p.temporal_reference = temporal_reference;
  p.f_code[0][0] = p.f_code[0][1] = f_code;
  return p;
}

PictureSettings BidirectionalPictureSettings(int temporal_reference, int f_code) {
  PictureSettings p = PredictedPictureSettings(temporal_reference, f_code);
  p.picture_coding_type = 3;
  p.f_code[1][0] = p.f_code[1][1] = f_code;
  return p;
}

}  // namespace synth
