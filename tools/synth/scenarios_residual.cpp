// Scenarios with AC residual: quantiser scales at both ends of both
// q_scale_type mappings, every code of the coefficient tables, escapes and
// quantiser matrices. Their pictures depend on the inverse DCT, so decoders
// agree only closely.
#include <cstdlib>
#include <functional>
#include <span>
#include <utility>

#include "tools/synth/code_tables.h"
#include "tools/synth/scenario_helpers.h"
#include "tools/synth/scenarios.h"

namespace synth {
namespace {

SequenceSettings Progressive(int width, int height) {
  SequenceSettings s;
  s.horizontal_size = width;
  s.vertical_size = height;
  return s;
}

Matrix Flat(int value) {
  Matrix m;
  m.fill(value);
  return m;
}

// A matrix rising from `low` at the DC position to about `high` at the far
// corner.
Matrix Ramp(int low, int high) {
  Matrix m;
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) m[v * 8 + u] = low + (high - low) * (u + v) / 14;
  }
  return m;
}

int RandomSign(Lcg& rng) {
  return rng.Next(2) ? 1 : -1;
}

// Random AC residual. Every coded macroblock chooses quantiser_scale_code 1
// or 31 for itself, or keeps the current one with the mildest levels, so
// that the samples stay mostly clear of clipping whatever the scale is.
void AddResidual(MacroblockPlan& mb, Lcg& rng, int blocks, bool p_picture) {
  if (!mb.intra && p_picture && rng.Percent(30)) {
    mb.no_motion_compensation = true;
    mb.forward = false;
  }
  const int choice = rng.Next(3);
  const bool fine = choice == 0;
  const bool keep = choice == 2;
  bool any = false;
  for (int b = 0; b < blocks; ++b) {
    std::vector<Coefficient>& list = mb.blocks[b].coefficients;
    if (!mb.intra && !rng.Percent(50)) continue;
    const int count = rng.Range(mb.intra ? 0 : 1, 4);
    int position = mb.intra ? 1 : 0;
    for (int i = 0; i < count; ++i) {
      Coefficient c;
      c.run = rng.Range(0, fine ? 3 : 1);
      if (position + c.run > 10) break;
      position += c.run + 1;
      const int magnitude = fine ? (rng.Percent(15) ? rng.Range(41, 90) : rng.Range(1, 12)) : 1;
      c.level = magnitude * RandomSign(rng);
      c.escape = rng.Percent(15);
      list.push_back(c);
      any = true;
    }
  }
  if (!mb.intra && !any) {
    mb.blocks[rng.Next(blocks)].coefficients.push_back({0, RandomSign(rng), false});
    any = true;
  }
  if (mb.no_motion_compensation && !any) mb.blocks[0].coefficients.push_back({0, 1, false});
  if (!keep && (mb.intra || any)) mb.quantiser_scale_code = fine ? 1 : 31;
}

SynthesizedStream Quantiser(bool non_linear, int seed) {
  StreamWriter w(Progressive(96, 64));
  Lcg rng(static_cast<uint32_t>(seed));
  w.SequenceHeader();
  w.GroupOfPictures(true);
  auto settings = [non_linear](PictureSettings p) {
    p.q_scale_type = non_linear ? 1 : 0;
    p.intra_vlc_format = non_linear ? 1 : 0;
    p.alternate_scan = non_linear;
    return p;
  };
  auto intra = [](MacroblockPlan& mb, Lcg& r) { AddResidual(mb, r, 6, false); };
  auto predicted = [](MacroblockPlan& mb, Lcg& r) { AddResidual(mb, r, 6, true); };
  w.Picture(settings(IntraPictureSettings(0)));
  WriteIntraPicture(w, rng, {.seed = seed, .quantiser_scale_code = 31, .decorate = intra});
  w.Picture(settings(PredictedPictureSettings(2, 2)));
  WriteInterPicture(w, rng,
                    {.max_vector = 12,
                     .skip_percent = 10,
                     .intra_percent = 10,
                     .seed = seed + 1,
                     .quantiser_scale_code = 1,
                     .decorate = predicted});
  w.Picture(settings(BidirectionalPictureSettings(1, 2)));
  WriteInterPicture(w, rng,
                    {.backward = true,
                     .max_vector = 12,
                     .skip_percent = 10,
                     .intra_percent = 5,
                     .seed = seed + 2,
                     .quantiser_scale_code = 31,
                     .decorate = intra});
  return Finish(w);
}

// Lists of coefficients that use every (run, level) of a table once with
// alternating signs, and every fifth of them again through an escape, packed
// into blocks so that no block overflows its positions or a level budget.
std::vector<std::vector<Coefficient>> PackTable(std::span<const RunLevelCode> table, bool intra,
                                                int level_budget,
                                                const std::vector<Coefficient>& extra) {
  std::vector<Coefficient> all;
  int sign = 1;
  int n = 0;
  for (const RunLevelCode& e : table) {
    all.push_back({e.run, sign * e.level, false});
    if (++n % 5 == 0) all.push_back({e.run, -sign * e.level, true});
    sign = -sign;
  }
  all.insert(all.end(), extra.begin(), extra.end());
  std::vector<std::vector<Coefficient>> blocks(1);
  int position = intra ? 1 : 0;
  int budget = 0;
  for (const Coefficient& c : all) {
    const int magnitude = c.level < 0 ? -c.level : c.level;
    if (position + c.run + 1 > 64 || (budget + magnitude > level_budget && budget > 0)) {
      blocks.emplace_back();
      position = intra ? 1 : 0;
      budget = 0;
    }
    blocks.back().push_back(c);
    position += c.run + 1;
    budget += magnitude;
  }
  return blocks;
}

// Hands out packed blocks to the macroblocks of a picture in order.
class BlockDealer {
 public:
  BlockDealer(std::vector<std::vector<Coefficient>> blocks, int blocks_per_macroblock)
      : blocks_(std::move(blocks)), per_macroblock_(blocks_per_macroblock) {}
  void operator()(MacroblockPlan& mb, Lcg&) {
    for (int b = 0; b < per_macroblock_ && next_ < blocks_.size(); ++b) {
      mb.blocks[b].coefficients = blocks_[next_++];
    }
    if (!mb.intra && !mb.HasCoefficients()) mb.blocks[0].coefficients.push_back({1, 1, false});
  }
  bool Done() const { return next_ == blocks_.size(); }

 private:
  std::vector<std::vector<Coefficient>> blocks_;
  int per_macroblock_;
  size_t next_ = 0;
};

// Flat DC-only intra content with mid-grey levels, so that the AC
// coefficients have room on both sides.
void GreyDc(MacroblockPlan& mb) {
  for (Block& b : mb.blocks) b.dc = 96 + (b.dc & 63);
}

}  // namespace

SynthesizedStream Mpeg2QuantiserLinear() {
  return Quantiser(false, 210);
}

SynthesizedStream Mpeg2QuantiserNonLinear() {
  return Quantiser(true, 220);
}

SynthesizedStream Mpeg2CoefficientTables() {
  SequenceSettings s = Progressive(96, 64);
  s.intra_matrix = Flat(16);
  s.non_intra_matrix = Ramp(16, 24);
  StreamWriter w(s);
  Lcg rng(23);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  // Escapes with levels no code has. (Levels near the 12-bit limit would
  // saturate, and some decoders' inverse DCTs overflow on such blocks; the
  // accuracy the standard asks of an inverse DCT does not cover them.)
  const std::vector<Coefficient> escapes = {
      {0, 200, false}, {0, -160, false}, {5, 90, false}, {57, 1, true}};
  for (int vlc = 0; vlc < 2; ++vlc) {
    PictureSettings p = IntraPictureSettings(vlc);
    p.intra_vlc_format = vlc;
    p.alternate_scan = vlc == 1;
    w.Picture(p);
    std::vector<Coefficient> extra = {{0, 60, false}, {2, -7, false}, {40, 1, true}};
    if (vlc == 0) extra.insert(extra.end(), escapes.begin(), escapes.end());
    BlockDealer dealer(
        PackTable(DctCoefficientCodes(vlc ? DctTable::kB15 : DctTable::kB14), true, 90, extra), 6);
    WriteIntraPicture(
        w, rng, {.quantiser_scale_code = 1, .decorate = [&dealer](MacroblockPlan& mb, Lcg& r) {
                   GreyDc(mb);
                   dealer(mb, r);
                 }});
    if (!dealer.Done()) std::abort();
  }
  w.Picture(PredictedPictureSettings(2, 2));
  BlockDealer dealer(PackTable(DctCoefficientCodes(DctTable::kB14), false, 90,
                               {{0, 1, true}, {0, -1, false}, {3, 20, false}, {0, 150, false}}),
                     6);
  WriteInterPicture(
      w, rng,
      {.max_vector = 8, .seed = 230, .quantiser_scale_code = 1, .decorate = std::ref(dealer)});
  if (!dealer.Done()) std::abort();
  return Finish(w);
}

SynthesizedStream Mpeg1CoefficientTables() {
  SequenceSettings s = Progressive(96, 64);
  s.mpeg2 = false;
  s.intra_matrix = Flat(8);
  s.non_intra_matrix = Flat(8);
  StreamWriter w(s);
  Lcg rng(24);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  // 8-bit escapes reach 127; beyond that the level takes 16 bits.
  const std::vector<Coefficient> escapes = {{0, 127, false},  {0, -127, false}, {1, 128, false},
                                            {0, -128, false}, {2, 255, false},  {0, -255, false},
                                            {7, 41, true},    {30, -3, false}};
  w.Picture(IntraPictureSettings(0));
  BlockDealer intra(PackTable(DctCoefficientCodes(DctTable::kB14), true, 260, escapes), 6);
  WriteIntraPicture(w, rng,
                    {.quantiser_scale_code = 1, .decorate = [&intra](MacroblockPlan& mb, Lcg& r) {
                       GreyDc(mb);
                       intra(mb, r);
                     }});
  if (!intra.Done()) std::abort();
  w.Picture(PredictedPictureSettings(1, 1));
  BlockDealer inter(PackTable(DctCoefficientCodes(DctTable::kB14), false, 260, escapes), 6);
  WriteInterPicture(
      w, rng,
      {.max_vector = 8, .seed = 240, .quantiser_scale_code = 1, .decorate = std::ref(inter)});
  if (!inter.Done()) std::abort();
  return Finish(w);
}

SynthesizedStream Mpeg2QuantMatrices422() {
  SequenceSettings s = Progressive(96, 64);
  s.chroma_format = 2;
  s.profile_and_level_indication = 0x85;
  s.display_extension = true;
  StreamWriter w(s);
  Lcg rng(25);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  PictureSettings i0 = IntraPictureSettings(0);
  i0.quant_matrices.intra = Ramp(8, 40);
  i0.quant_matrices.non_intra = Ramp(16, 32);
  i0.quant_matrices.chroma_intra = Ramp(20, 60);
  i0.quant_matrices.chroma_non_intra = Ramp(24, 48);
  w.Picture(i0);
  WriteIntraPicture(
      w, rng, {.seed = 250, .quantiser_scale_code = 2, .decorate = [](MacroblockPlan& mb, Lcg& r) {
                 AddResidual(mb, r, 8, false);
                 mb.quantiser_scale_code = -1;
               }});
  PictureSettings p1 = PredictedPictureSettings(1, 2);
  p1.quant_matrices.chroma_non_intra = Ramp(10, 90);
  w.Picture(p1);
  int count = 0;
  WriteInterPicture(w, rng,
                    {.max_vector = 12,
                     .intra_percent = 10,
                     .seed = 251,
                     .quantiser_scale_code = 3,
                     .decorate = [&count](MacroblockPlan& mb, Lcg& r) {
                       if (mb.intra) return;
                       // Every third macroblock codes only the lower
                       // chroma blocks: coded_block_pattern_420 is 0.
                       const int from = ++count % 3 == 0 ? 6 : 0;
                       for (int b = from; b < 8; ++b) {
                         if (from == 6 || r.Percent(40)) {
                           mb.blocks[b].coefficients = {{r.Range(0, 3), r.Range(-6, 6) | 1}};
                         }
                       }
                     }});
  return Finish(w);
}

}  // namespace synth
