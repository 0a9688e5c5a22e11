// Scenarios of progressive frame pictures: MPEG-2 intra patterns, groups,
// slices, skipped macroblocks and tall pictures, and the MPEG-1 syntax.
#include <algorithm>

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

SequenceSettings Mpeg1(int width, int height) {
  SequenceSettings s = Progressive(width, height);
  s.mpeg2 = false;
  return s;
}

// A frame-motion macroblock of a progressive frame picture, its vectors
// shortened where they would leave the picture.
MacroblockPlan Inter(const StreamWriter& w, int address, bool forward, bool backward, Vector f,
                     Vector b) {
  const int x = 16 * (address % w.mb_width());
  const int y = 16 * (address / w.mb_width());
  MacroblockPlan mb;
  mb.address = address;
  mb.forward = forward;
  mb.backward = backward;
  f = ClampVector(f, x, y, 16, 16, w.coded_width(), w.coded_height());
  b = ClampVector(b, x, y, 16, 16, w.coded_width(), w.coded_height());
  mb.vector[0][0] = mb.vector[1][0] = f;
  mb.vector[0][1] = mb.vector[1][1] = b;
  return mb;
}

}  // namespace

SynthesizedStream Mpeg2IntraDcPattern() {
  StreamWriter w(Progressive(96, 64));
  Lcg rng(1);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  for (int i = 0; i < 2; ++i) {
    w.Picture(IntraPictureSettings(i));
    WriteIntraPicture(w, rng, {.seed = 10 + i});
  }
  return Finish(w);
}

SynthesizedStream Mpeg2IntraDcPrecision() {
  StreamWriter w(Progressive(96, 64));
  Lcg rng(2);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  for (int precision = 0; precision < 4; ++precision) {
    PictureSettings p = IntraPictureSettings(precision);
    p.intra_dc_precision = precision;
    w.Picture(p);
    // Every third macroblock jumps between black and white so that the
    // differentials reach dct_dc_size 11 at precision 3.
    auto extremes = [precision](MacroblockPlan& mb, Lcg&) {
      if (mb.address % 3 != 0) return;
      for (int b = 0; b < 12; ++b) mb.blocks[b].dc = ((b + mb.address) & 1 ? 255 : 0) << precision;
    };
    WriteIntraPicture(w, rng,
                      {.seed = 20 + precision, .precision = precision, .decorate = extremes});
  }
  return Finish(w);
}

SynthesizedStream Mpeg2OpenGop() {
  StreamWriter w(Progressive(96, 64));
  Lcg rng(3);
  InterOptions p_options{.max_vector = 10, .skip_percent = 15, .intra_percent = 5, .seed = 300};
  InterOptions b_options{.backward = true, .max_vector = 10, .skip_percent = 20, .seed = 310};
  w.SequenceHeader();
  w.UserData("synthesized open group");
  w.GroupOfPictures(true);
  // Coded order I0 P3 B1 B2, then the open group I6 B4 B5 P9 B7 B8 whose
  // B4 and B5 predict from P3 and I6.
  w.Picture(IntraPictureSettings(0));
  WriteIntraPicture(w, rng, {.seed = 30});
  w.Picture(PredictedPictureSettings(3, 2));
  WriteInterPicture(w, rng, p_options);
  for (int t = 1; t <= 2; ++t) {
    w.Picture(BidirectionalPictureSettings(t, 2));
    WriteInterPicture(w, rng, b_options);
  }
  w.GroupOfPictures(false);
  w.UserData("second group");
  w.Picture(IntraPictureSettings(2));
  WriteIntraPicture(w, rng, {.seed = 31});
  for (int t = 0; t <= 1; ++t) {
    w.Picture(BidirectionalPictureSettings(t, 2));
    WriteInterPicture(w, rng, b_options);
  }
  w.Picture(PredictedPictureSettings(5, 2));
  WriteInterPicture(w, rng, p_options);
  for (int t = 3; t <= 4; ++t) {
    w.Picture(BidirectionalPictureSettings(t, 2));
    WriteInterPicture(w, rng, b_options);
  }
  return Finish(w);
}

SynthesizedStream Mpeg2SlicesPerRow() {
  StreamWriter w(Progressive(176, 144));
  Lcg rng(4);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(IntraPictureSettings(0));
  // Slices of 1 to 5 macroblocks with varied headers.
  for (int row = 0; row < w.mb_rows(); ++row) {
    int col = 0;
    int slice = 0;
    while (col < w.mb_width()) {
      SliceOptions options;
      if (slice % 3 == 1) {
        options.intra_slice_flag = true;
        options.intra_slice = true;
        options.extra_information = {0x5A, 0x00};
      } else if (slice % 3 == 2) {
        options.intra_slice_flag = true;
      }
      w.Slice(row, 1 + (row * 7 + slice * 5) % 31, options);
      const int length = std::min(1 + rng.Next(5), w.mb_width() - col);
      for (int i = 0; i < length; ++i, ++col) {
        w.Macroblock(PatternIntra(w, row * w.mb_width() + col, 40));
      }
      ++slice;
    }
  }
  w.Picture(PredictedPictureSettings(2, 3));
  WriteInterPicture(w, rng,
                    {.max_vector = 24, .skip_percent = 10, .seed = 400, .slices_per_row = 3});
  w.Picture(BidirectionalPictureSettings(1, 3));
  WriteInterPicture(w, rng,
                    {.backward = true, .max_vector = 24, .skip_percent = 20, .slices_per_row = 4});
  return Finish(w);
}

SynthesizedStream Mpeg2SkippedMacroblocks() {
  // 40 macroblocks per row, so that a skip run within one row can pass 33.
  StreamWriter w(Progressive(640, 48));
  Lcg rng(5);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(IntraPictureSettings(0));
  WriteIntraPicture(w, rng, {.seed = 50});

  const int width = w.mb_width();
  w.Picture(PredictedPictureSettings(2, 2));
  w.Slice(0, 8);  // row 0: short runs
  for (int col = 0; col < width; ++col) {
    if (col % 4 != 3 || col == width - 1) w.Macroblock(Inter(w, col, true, false, {3, 1}, {}));
  }
  w.Slice(1, 8);  // row 1: increment 36 (escape + 3)
  w.Macroblock(Inter(w, width, true, false, {-5, 7}, {}));
  for (int col = 36; col < width; ++col)
    w.Macroblock(Inter(w, width + col, true, false, {1, -1}, {}));
  w.Slice(2, 8);  // row 2: increment 39 after one skipped run of 38
  w.Macroblock(Inter(w, 2 * width, true, false, {4, -4}, {}));
  w.Macroblock(Inter(w, 3 * width - 1, true, false, {-4, -3}, {}));

  w.Picture(BidirectionalPictureSettings(1, 2));
  // B skips repeat the previous macroblock's directions and vectors; with
  // no horizontal motion they fit anywhere in the row.
  w.Slice(0, 8);
  w.Macroblock(Inter(w, 0, true, false, {0, 3}, {}));
  w.Macroblock(Inter(w, 20, false, true, {}, {0, -5}));
  w.Macroblock(Inter(w, width - 1, true, true, {5, 1}, {-3, 2}));
  w.Slice(1, 8);
  w.Macroblock(Inter(w, width, true, true, {0, -9}, {0, 11}));
  w.Macroblock(Inter(w, width + 35, true, true, {2, 2}, {-2, -2}));
  w.Macroblock(Inter(w, 2 * width - 1, false, true, {}, {-1, 0}));
  w.Slice(2, 8);
  w.Macroblock(Inter(w, 2 * width, false, true, {}, {0, -7}));
  w.Macroblock(Inter(w, 3 * width - 2, true, false, {-3, -5}, {}));
  w.Macroblock(Inter(w, 3 * width - 1, true, true, {-6, -1}, {-7, -2}));
  return Finish(w);
}

SynthesizedStream Mpeg2TallSliceExtension() {
  SequenceSettings s = Progressive(64, 2848);
  s.profile_and_level_indication = 0x14;  // High profile, high level
  StreamWriter w(s);
  Lcg rng(6);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(IntraPictureSettings(0));
  WriteIntraPicture(w, rng, {.seed = 60});
  w.Picture(PredictedPictureSettings(2, 4));
  WriteInterPicture(w, rng, {.max_vector = 60, .skip_percent = 10, .seed = 600});
  w.Picture(BidirectionalPictureSettings(1, 4));
  WriteInterPicture(w, rng, {.backward = true, .max_vector = 60, .skip_percent = 10});
  return Finish(w);
}

SynthesizedStream Mpeg1HalfSampleVectors() {
  StreamWriter w(Mpeg1(96, 64));
  Lcg rng(7);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(IntraPictureSettings(0));
  WriteIntraPicture(w, rng, {.seed = 70});
  const InterOptions p_options{
      .max_vector = 30, .skip_percent = 20, .intra_percent = 10, .seed = 700};
  const InterOptions b_options{
      .backward = true, .max_vector = 40, .skip_percent = 25, .intra_percent = 5, .seed = 710};
  for (int group = 0; group < 2; ++group) {
    const int base = 3 * group;
    w.Picture(PredictedPictureSettings(base + 3, 2));
    WriteInterPicture(w, rng, p_options);
    for (int t = 1; t <= 2; ++t) {
      w.Picture(BidirectionalPictureSettings(base + t, 3));
      WriteInterPicture(w, rng, b_options);
    }
  }
  return Finish(w);
}

// I0 P3 B1 B2 with full-sample vectors in P3 and B1 (both directions) and
// forward full-sample, backward half-sample vectors in B2.
SynthesizedStream FullSampleVectors(int b_skip_percent) {
  StreamWriter w(Mpeg1(96, 64));
  Lcg rng(8);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(IntraPictureSettings(0));
  WriteIntraPicture(w, rng, {.seed = 80});
  PictureSettings p = PredictedPictureSettings(3, 2);
  p.full_pel_forward_vector = true;
  w.Picture(p);
  WriteInterPicture(w, rng, {.max_vector = 40, .skip_percent = 15, .intra_percent = 5});
  for (int t = 1; t <= 2; ++t) {
    PictureSettings b = BidirectionalPictureSettings(t, 1);
    b.full_pel_forward_vector = true;
    b.full_pel_backward_vector = t == 1;
    w.Picture(b);
    WriteInterPicture(w, rng, {.backward = true, .max_vector = 30, .skip_percent = b_skip_percent});
  }
  return Finish(w);
}

SynthesizedStream Mpeg1SlicesAcrossRows() {
  StreamWriter w(Mpeg1(176, 144));
  const int count = w.mb_width() * w.mb_rows();
  w.SequenceHeader();
  w.GroupOfPictures(true);
  // One slice for the whole I picture, with stuffing before some macroblocks.
  w.Picture(IntraPictureSettings(0));
  w.Slice(0, 10, {.extra_information = {0x12}});
  for (int a = 0; a < count; ++a) {
    MacroblockPlan mb = PatternIntra(w, a, 90);
    mb.stuffing = a % 13 == 0 ? 2 : 0;
    w.Macroblock(mb);
  }
  // P: slices that start in one row and end in another, runs of 40 and 43.
  // (A slice starting mid-row decodes right in ffmpeg 5.1 too, but makes its
  // error concealment complain, so the slices here end at row ends.)
  w.Picture(PredictedPictureSettings(2, 2));
  w.Slice(0, 10);
  w.Macroblock(Inter(w, 0, true, false, {2, 3}, {}));
  w.Macroblock(Inter(w, 1, true, false, {-1, 5}, {}));
  w.Macroblock(Inter(w, 41, true, false, {6, -2}, {}));
  MacroblockPlan stuffed = Inter(w, 42, true, false, {6, -3}, {});
  stuffed.stuffing = 1;
  w.Macroblock(stuffed);
  w.Macroblock(Inter(w, 43, true, false, {0, 0}, {}));
  w.Slice(4, 10);
  for (int a = 44; a < 55; ++a) w.Macroblock(Inter(w, a, true, false, {a % 5 - 2, a % 3}, {}));
  w.Slice(5, 10);
  w.Macroblock(Inter(w, 55, true, false, {-7, -7}, {}));
  w.Macroblock(Inter(w, count - 1, true, false, {-3, -9}, {}));
  // B: one slice, skips of 45 across rows repeating purely vertical vectors.
  w.Picture(BidirectionalPictureSettings(1, 2));
  w.Slice(0, 10);
  w.Macroblock(Inter(w, 0, true, true, {0, 4}, {0, 2}));
  w.Macroblock(Inter(w, 46, false, true, {}, {2, 1}));
  w.Macroblock(Inter(w, 47, true, false, {0, -6}, {}));
  w.Macroblock(Inter(w, count - 1, true, true, {-2, -2}, {-5, -8}));
  return Finish(w);
}

SynthesizedStream Mpeg1FullSampleVectors() {
  return FullSampleVectors(0);
}

SynthesizedStream Mpeg1FullSampleBSkips() {
  return FullSampleVectors(30);
}

SynthesizedStream Mpeg1DPictures() {
  StreamWriter w(Mpeg1(64, 48));
  Lcg rng(9);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  for (int t = 0; t < 3; ++t) {
    PictureSettings p;
    p.picture_coding_type = 4;
    p.temporal_reference = t;
    w.Picture(p);
    WriteIntraPicture(w, rng, {.seed = 91 + t});
  }
  return Finish(w);
}

}  // namespace synth
