// The stream synthesizer: the encoder-side code tables, the motion vector
// coding against the decoding rules of ISO/IEC 13818-2 7.6.3.1 (with the
// predictor resets of the macroblock layer), and the syntax of every
// scenario, read back by the reference parser of syntax_parser.h.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/tools/syntax_parser.h"
#include "tools/synth/code_tables.h"
#include "tools/synth/motion_coding.h"
#include "tools/synth/scenario_helpers.h"
#include "tools/synth/scenarios.h"
#include "tools/synth/stream_writer.h"

namespace {

using synth::CodeFor;
using synth::DctTable;
using synth::MacroblockPlan;
using synth::Motion;
using synth::RunLevelCode;
using synth::ValueCode;
using synth_test::Bits;
using synth_test::DecodeComponent;
using synth_test::ParsedMacroblock;
using synth_test::SyntaxParser;

// ---------------------------------------------------------------------------
// Code tables

// Sum of 2^-length over the codes, plus `sign_bits` more bits on every code
// that carries a sign (all but those of `unsigned_values`).
double KraftSum(const std::vector<std::string>& codes) {
  double sum = 0;
  for (const std::string& c : codes) sum += std::ldexp(1.0, -static_cast<int>(c.size()));
  return sum;
}

void ExpectPrefixFree(const std::vector<std::string>& codes, const char* table) {
  for (size_t i = 0; i < codes.size(); ++i) {
    ASSERT_FALSE(codes[i].empty()) << table;
    for (size_t j = 0; j < codes.size(); ++j) {
      if (i == j) continue;
      EXPECT_NE(codes[j].compare(0, codes[i].size(), codes[i]), 0)
          << table << ": " << codes[i] << " is a prefix of " << codes[j];
    }
  }
}

std::vector<std::string> Codes(std::span<const ValueCode> table) {
  std::vector<std::string> codes;
  for (const ValueCode& e : table) codes.push_back(Bits(e.code));
  return codes;
}

// Codes with their sign bit spelt out, so that the Kraft sum counts the
// code space they take.
std::vector<std::string> SignedMotionCodes() {
  std::vector<std::string> codes;
  for (const ValueCode& e : synth::MotionCodeMagnitudeCodes()) {
    if (e.value == 0) {
      codes.push_back(Bits(e.code));
    } else {
      codes.push_back(Bits(e.code) + "0");
      codes.push_back(Bits(e.code) + "1");
    }
  }
  return codes;
}

std::vector<std::string> SignedDctCodes(DctTable table, bool first_coefficient) {
  std::vector<std::string> codes;
  for (const RunLevelCode& e : synth::DctCoefficientCodes(table)) {
    std::string code = Bits(e.code);
    if (first_coefficient && e.run == 0 && e.level == 1) code = "1";
    codes.push_back(code + "0");
    codes.push_back(code + "1");
  }
  codes.push_back(Bits(synth::kDctEscape));
  if (!first_coefficient) {
    codes.push_back(Bits(table == DctTable::kB15 ? synth::kEndOfBlockB15 : synth::kEndOfBlockB14));
  }
  return codes;
}

TEST(CodeTables, EveryTableIsPrefixFreeAndFillsExactlyTheValidCodeSpace) {
  struct Case {
    const char* name;
    std::vector<std::string> codes;
    double expected;  // 1 minus the share of the code space that is invalid
  };
  std::vector<std::string> increments = Codes(synth::MacroblockAddressIncrementCodes());
  increments.push_back(Bits(synth::kMacroblockEscape));
  increments.push_back(Bits(synth::kMacroblockStuffing));
  const Case cases[] = {
      // 11-bit windows below 24 hold no code except escape (8) and stuffing (15).
      {"B-1", increments, 1.0 - 22.0 / 2048},
      {"B-2 I", Codes(synth::MacroblockTypeCodes(1)), 0.75},
      {"B-3 P", Codes(synth::MacroblockTypeCodes(2)), 1.0 - 1.0 / 64},
      {"B-4 B", Codes(synth::MacroblockTypeCodes(3)), 1.0 - 1.0 / 64},
      {"D", Codes(synth::MacroblockTypeCodes(4)), 0.5},
      {"B-9", Codes(synth::CodedBlockPatternCodes()), 1.0 - 1.0 / 512},
      // After a leading 0, 9-bit windows below 12 are invalid.
      {"B-10", SignedMotionCodes(), 1.0 - 12.0 / 1024},
      {"B-11", Codes(synth::DmvectorCodes()), 1.0},
      {"B-12", Codes(synth::DcSizeLuminanceCodes()), 1.0},
      {"B-13", Codes(synth::DcSizeChrominanceCodes()), 1.0},
      // 16-bit windows below 16 are invalid in both coefficient tables.
      {"B-14", SignedDctCodes(DctTable::kB14, false), 1.0 - 16.0 / 65536},
      {"B-14 first", SignedDctCodes(DctTable::kB14, true), 1.0 - 16.0 / 65536},
      // B-15 also leaves unused the places of the six 12-bit and four
      // 13-bit codes of B-14 to which it gives short codes.
      {"B-15", SignedDctCodes(DctTable::kB15, false), 1.0 - 16.0 / 65536 - 8.0 / 4096},
  };
  for (const Case& c : cases) {
    ExpectPrefixFree(c.codes, c.name);
    EXPECT_DOUBLE_EQ(KraftSum(c.codes), c.expected) << c.name;
  }
}

TEST(CodeTables, ValueTablesCoverTheirRangeOnce) {
  auto values = [](std::span<const ValueCode> table) {
    std::vector<int> v;
    for (const ValueCode& e : table) v.push_back(e.value);
    return v;
  };
  auto range = [](int lo, int hi) {
    std::vector<int> v;
    for (int i = lo; i <= hi; ++i) v.push_back(i);
    return v;
  };
  EXPECT_EQ(values(synth::MacroblockAddressIncrementCodes()), range(1, 33));
  EXPECT_EQ(values(synth::CodedBlockPatternCodes()), range(0, 63));
  EXPECT_EQ(values(synth::MotionCodeMagnitudeCodes()), range(0, 16));
  EXPECT_EQ(values(synth::DcSizeLuminanceCodes()), range(0, 11));
  EXPECT_EQ(values(synth::DcSizeChrominanceCodes()), range(0, 11));
  // The P and B tables hold the macroblock types of the standard and no
  // quantiser change without coded blocks.
  for (int type = 2; type <= 3; ++type) {
    std::set<int> seen;
    for (int v : values(synth::MacroblockTypeCodes(type))) {
      EXPECT_TRUE(seen.insert(v).second);
      if (v & 16) {
        EXPECT_TRUE(v & 3) << v;
      }
      if (type == 2) {
        EXPECT_FALSE(v & 4) << v;
      }
    }
    EXPECT_EQ(seen.size(), type == 2 ? 7u : 11u);
  }
}

TEST(CodeTables, CoefficientTablesHoldTheSamePairsAndShareTheirLongCodes) {
  std::map<std::pair<int, int>, std::string> b14;
  std::map<std::pair<int, int>, std::string> b15;
  for (const RunLevelCode& e : synth::DctCoefficientCodes(DctTable::kB14)) {
    EXPECT_TRUE(b14.emplace(std::make_pair(e.run, e.level), Bits(e.code)).second);
  }
  for (const RunLevelCode& e : synth::DctCoefficientCodes(DctTable::kB15)) {
    EXPECT_TRUE(b15.emplace(std::make_pair(e.run, e.level), Bits(e.code)).second);
  }
  ASSERT_EQ(b14.size(), 111u);
  ASSERT_EQ(b15.size(), 111u);
  int moved = 0;
  for (const auto& [pair, code] : b14) {
    ASSERT_TRUE(b15.count(pair)) << pair.first << "," << pair.second;
    // B-15 takes its codes with seven or more leading zeros from B-14; the
    // other long codes of B-14 are made shorter.
    if (b15[pair].compare(0, 7, "0000000") == 0) {
      EXPECT_EQ(code, b15[pair]) << pair.first << "," << pair.second;
    } else if (code.compare(0, 7, "0000000") == 0) {
      EXPECT_LT(b15[pair].size(), code.size()) << pair.first << "," << pair.second;
      ++moved;
    }
  }
  EXPECT_EQ(moved, 10);
  // Runs 0..31 with their largest levels: 40, 18, 5, 4, 3, 3, 3, 2 x 9, 1 x 15.
  const int max_level[32] = {40, 18, 5, 4, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                             2,  1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  for (int run = 0; run < 32; ++run) {
    for (int level = 1; level <= max_level[run]; ++level) {
      EXPECT_TRUE(b14.count({run, level})) << run << "," << level;
    }
  }
  // A few codes as the standard prints them.
  EXPECT_EQ(b14[std::make_pair(0, 1)], "11");
  EXPECT_EQ(b14[std::make_pair(1, 1)], "011");
  EXPECT_EQ(b14[std::make_pair(0, 40)], "000000000010000");
  EXPECT_EQ(b14[std::make_pair(31, 1)], "0000000000011011");
  EXPECT_EQ(b15[std::make_pair(0, 1)], "10");
  EXPECT_EQ(b15[std::make_pair(0, 2)], "110");
  EXPECT_EQ(Bits(CodeFor(synth::MacroblockAddressIncrementCodes(), 33)), "00000011000");
  EXPECT_EQ(Bits(CodeFor(synth::CodedBlockPatternCodes(), 60)), "111");
  EXPECT_EQ(Bits(CodeFor(synth::MotionCodeMagnitudeCodes(), 16)), "0000001100");
}

TEST(CodeTables, ScansArePermutationsWalkingNeighbouringCoefficients) {
  for (const int* scan : {synth::kZigzagScan, synth::kAlternateScan}) {
    std::set<int> seen(scan, scan + 64);
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 63);
  }
  for (int i = 1; i < 64; ++i) {
    const int a = synth::kZigzagScan[i - 1];
    const int b = synth::kZigzagScan[i];
    EXPECT_LE(std::abs(a / 8 - b / 8), 1) << i;
    EXPECT_LE(std::abs(a % 8 - b % 8), 1) << i;
  }
  EXPECT_EQ(synth::kAlternateScan[1], 8);  // down the first column first
  EXPECT_EQ(synth::kZigzagScan[2], 8);
}

// ---------------------------------------------------------------------------
// Motion vectors: this test's reading of 7.6.3.1.

TEST(MotionCoding, EveryVectorIsReachedFromEveryPredictor) {
  for (int r_size = 0; r_size <= 8; ++r_size) {
    const int low = synth::VectorRangeLow(r_size);
    const int high = synth::VectorRangeHigh(r_size);
    const int step = r_size <= 3 ? 1 : (1 << (r_size - 2)) + 1;
    for (int predictor = low; predictor <= high; predictor += step) {
      for (int value = low; value <= high; value += step) {
        const synth::MotionCode code = synth::EncodeVectorComponent(predictor, value, r_size);
        ASSERT_LE(std::abs(code.motion_code), 16);
        ASSERT_GE(code.motion_residual, 0);
        ASSERT_LT(code.motion_residual, 1 << r_size);
        if (code.motion_code == 0 || r_size == 0) {
          ASSERT_EQ(code.motion_residual, 0);
        }
        ASSERT_EQ(DecodeComponent(predictor, r_size, code.motion_code, code.motion_residual), value)
            << "predictor " << predictor << " value " << value << " r_size " << r_size;
      }
    }
  }
}

TEST(MotionCoding, PredictorsBeyondTheRangeWorkWhereDecodersAgree) {
  // A field vector of a frame picture is kept doubled, so a following frame
  // vector can be predicted from beyond the range: 24 with f_code 1. Values
  // -7..15 are reached without a wrap against the difference's sign.
  for (int value = -7; value <= 15; ++value) {
    const synth::MotionCode code = synth::EncodeVectorComponent(24, value, 0);
    EXPECT_EQ(DecodeComponent(24, 0, code.motion_code, 0), value);
  }
}

TEST(MotionCodingDeathTest, AVectorOnlyTheStandardsWrapReachesIsRefused) {
  // From 24 (f_code 1) to -16 and from 40 (f_code 2) to -29 the only
  // differences are negative and overshoot the range's top: only a decoder
  // that wraps both ways gets there.
  EXPECT_DEATH(synth::EncodeVectorComponent(24, -16, 0), "not reachable");
  EXPECT_DEATH(synth::EncodeVectorComponent(40, -29, 1), "not reachable");
}

TEST(MotionCoding, DualPrimeVectorsFollowTheFieldDistances) {
  const int mv[2] = {3, -3};
  const int zero[2] = {0, 0};
  // Top field first: the top field is one field period from the bottom
  // reference field, the bottom field three from the top reference.
  const synth::DualPrimeVectors tff = synth::DeriveDualPrimeFrame(mv, zero, true);
  EXPECT_EQ(tff.vector[0][0], 2);
  EXPECT_EQ(tff.vector[0][1], -3);
  EXPECT_EQ(tff.vector[1][0], 5);
  EXPECT_EQ(tff.vector[1][1], -4);
  const synth::DualPrimeVectors bff = synth::DeriveDualPrimeFrame(mv, zero, false);
  EXPECT_EQ(bff.vector[0][0], 5);
  EXPECT_EQ(bff.vector[0][1], -6);
  EXPECT_EQ(bff.vector[1][0], 2);
  EXPECT_EQ(bff.vector[1][1], -1);
  const int dmv[2] = {-1, 1};
  const synth::DualPrimeVectors top = synth::DeriveDualPrimeField(mv, dmv, false);
  const synth::DualPrimeVectors bottom = synth::DeriveDualPrimeField(mv, dmv, true);
  // Halves round away from zero: h(3) = 2, h(-3) = -2.
  EXPECT_EQ(top.vector[0][0], 1);
  EXPECT_EQ(top.vector[0][1], -2);
  EXPECT_EQ(bottom.vector[0][1], 0);
}

// ---------------------------------------------------------------------------
// Vectors written by the stream writer, read back by the reference parser.

struct Written {
  int picture;
  MacroblockPlan mb;
};

// Compares the vectors the parser read with those the writer was given.
void ExpectSameVectors(const Written& w, const ParsedMacroblock& p, bool frame_picture) {
  SCOPED_TRACE("picture " + std::to_string(w.picture) + " macroblock " +
               std::to_string(w.mb.address));
  ASSERT_EQ(p.address, w.mb.address);
  ASSERT_FALSE(p.skipped);
  ASSERT_EQ(p.intra, w.mb.intra);
  if (w.mb.intra) return;  // concealment vectors are random, checked via the predictors
  ASSERT_EQ(p.forward, w.mb.forward);
  ASSERT_EQ(p.backward, w.mb.backward);
  const bool two = w.mb.motion == Motion::k16x8 || (frame_picture && w.mb.motion == Motion::kField);
  for (int s = 0; s < 2; ++s) {
    if (!(s == 0 ? w.mb.forward : w.mb.backward)) continue;
    for (int r = 0; r < (two ? 2 : 1); ++r) {
      EXPECT_EQ(p.vector[r][s][0], w.mb.vector[r][s].x) << "r " << r << " s " << s;
      EXPECT_EQ(p.vector[r][s][1], w.mb.vector[r][s].y) << "r " << r << " s " << s;
      const bool selects = !frame_picture || w.mb.motion == Motion::kField;
      if (selects && w.mb.motion != Motion::kDualPrime) {
        EXPECT_EQ(p.field_select[r][s], w.mb.field_select[r][s]) << "r " << r << " s " << s;
      }
    }
  }
  if (w.mb.motion == Motion::kDualPrime) {
    EXPECT_EQ(p.dmvector[0], w.mb.dmvector[0]);
    EXPECT_EQ(p.dmvector[1], w.mb.dmvector[1]);
  }
}

struct Layout {
  bool mpeg2;
  bool progressive;
  int structure;  // of the P and B pictures; 3 frame pictures, 1 field pairs
  int f_code;
  int max_vector;
  bool concealment = false;
  bool full_pel = false;  // MPEG-1
};

// I, P, P, B, B pictures with random vectors of every motion type the layout
// allows, all read back and compared.
void RoundTrip(const Layout& layout, uint32_t seed) {
  synth::SequenceSettings s;
  s.mpeg2 = layout.mpeg2;
  s.horizontal_size = 96;
  s.vertical_size = 64;
  s.progressive_sequence = layout.progressive;
  synth::StreamWriter w(s);
  synth::Lcg rng(seed);
  std::vector<Written> written;
  int picture = -1;
  auto capture = [&](MacroblockPlan& mb, synth::Lcg&) {
    written.push_back({picture, mb});
    if (mb.motion == Motion::kAuto) {
      written.back().mb.motion = layout.structure == 3 ? Motion::kFrame : Motion::kField;
    }
  };
  const std::vector<Motion> motions = {Motion::kAuto, Motion::kFrame, Motion::kField, Motion::k16x8,
                                       Motion::kDualPrime};
  w.SequenceHeader();
  w.GroupOfPictures(true);
  const int types[] = {1, 2, 2, 3, 3};
  for (int type : types) {
    for (int field = 0; field < (layout.structure == 3 ? 1 : 2); ++field) {
      synth::PictureSettings p = type == 1 ? synth::IntraPictureSettings(0)
                                 : type == 2
                                     ? synth::PredictedPictureSettings(0, layout.f_code)
                                     : synth::BidirectionalPictureSettings(0, layout.f_code);
      if (layout.mpeg2 && !layout.progressive) {
        p.picture_structure = layout.structure == 3 ? 3 : 1 + field;
        p.frame_pred_frame_dct = false;
        p.progressive_frame = false;
      }
      p.full_pel_forward_vector = p.full_pel_backward_vector = layout.full_pel;
      if (layout.concealment && type != 3) {
        p.concealment_motion_vectors = true;
        p.f_code[0][0] = p.f_code[0][1] = layout.f_code;
      }
      w.Picture(p);
      ++picture;
      if (type == 1) {
        synth::WriteIntraPicture(w, rng, {.field_dct_percent = 50, .decorate = capture});
      } else {
        // The second field of the first frame may only use the first field.
        const unsigned first_field_only = picture == 1 && field == 1 ? 1u : 3u;
        synth::WriteInterPicture(w, rng,
                                 {.backward = true,
                                  .motions = motions,
                                  .max_vector = layout.max_vector,
                                  .field_selects = {first_field_only, 3},
                                  .skip_percent = 20,
                                  .intra_percent = 10,
                                  .decorate = capture});
      }
    }
  }
  const std::vector<uint8_t> bytes = w.Finish();
  SyntaxParser parser(bytes);
  ASSERT_TRUE(parser.Run());
  std::vector<ParsedMacroblock> coded;
  for (const ParsedMacroblock& m : parser.macroblocks()) {
    if (!m.skipped) coded.push_back(m);
  }
  ASSERT_EQ(coded.size(), written.size());
  for (size_t i = 0; i < coded.size(); ++i) {
    ExpectSameVectors(written[i], coded[i], layout.structure == 3);
  }
}

TEST(VectorRoundTrip, ProgressiveFramePicturesWrapAtTheRangeEnds) {
  // f_code 1 with vectors up to the range: most differences wrap.
  RoundTrip({.mpeg2 = true, .progressive = true, .structure = 3, .f_code = 1, .max_vector = 16}, 1);
  RoundTrip({.mpeg2 = true, .progressive = true, .structure = 3, .f_code = 3, .max_vector = 40}, 2);
}

TEST(VectorRoundTrip, InterlacedFramePicturesWithFieldAndDualPrimeVectors) {
  // Field vectors are kept in frame units; a following frame or dual-prime
  // vector halves them again.
  RoundTrip({.mpeg2 = true, .progressive = false, .structure = 3, .f_code = 2, .max_vector = 15},
            3);
  RoundTrip({.mpeg2 = true,
             .progressive = false,
             .structure = 3,
             .f_code = 4,
             .max_vector = 60,
             .concealment = true},
            4);
}

TEST(VectorRoundTrip, FieldPicturesWith16x8AndDualPrimeVectors) {
  RoundTrip({.mpeg2 = true, .progressive = false, .structure = 1, .f_code = 2, .max_vector = 31},
            5);
  RoundTrip({.mpeg2 = true,
             .progressive = false,
             .structure = 1,
             .f_code = 1,
             .max_vector = 16,
             .concealment = true},
            6);
}

TEST(VectorRoundTrip, Mpeg1HalfAndFullSampleVectors) {
  RoundTrip({.mpeg2 = false, .progressive = true, .structure = 3, .f_code = 2, .max_vector = 31},
            7);
  RoundTrip({.mpeg2 = false,
             .progressive = true,
             .structure = 3,
             .f_code = 1,
             .max_vector = 30,
             .full_pel = true},
            8);
}

// ---------------------------------------------------------------------------
// The scenario catalogue.

TEST(Scenarios, EveryScenarioIsWellFormedAndShowsItsFrames) {
  std::set<std::string_view> names;
  for (const synth::Scenario& scenario : synth::Scenarios()) {
    SCOPED_TRACE(std::string(scenario.name));
    EXPECT_TRUE(names.insert(scenario.name).second);
    const synth::SynthesizedStream stream = scenario.build();
    EXPECT_EQ(static_cast<int>(stream.frames.size()), scenario.frames);
    EXPECT_LE(scenario.product_frames, scenario.frames);
    // Every picture's macroblocks, coded or skipped, are all there and the
    // syntax parses to the sequence end.
    SyntaxParser parser(stream.bytes);
    ASSERT_TRUE(parser.Run());
    const synth::SequenceSettings& s = stream.sequence;
    const int mb_width = (s.horizontal_size + 15) / 16;
    const int rows = s.mpeg2 && !s.progressive_sequence ? 2 * ((s.vertical_size + 31) / 32)
                                                        : (s.vertical_size + 15) / 16;
    for (int count : parser.counts()) {
      EXPECT_TRUE(count == mb_width * rows || count == mb_width * rows / 2) << count;
    }
    if (scenario.agreement == synth::Agreement::kExact) {
      EXPECT_NE(scenario.reference, synth::Reference::kNone);
    }
  }
}

}  // namespace
