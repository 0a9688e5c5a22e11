// Scenarios of interlaced MPEG-2: field pictures, field motion and field
// DCT in frame pictures, 16x8 and dual-prime motion, 4:2:2 and 4:4:4, and
// concealment vectors.
#include "tools/synth/scenario_helpers.h"
#include "tools/synth/scenarios.h"

namespace synth {
namespace {

constexpr int kTop = 1;
constexpr int kBottom = 2;

SequenceSettings Interlaced(int width, int height, int chroma_format = 1) {
  SequenceSettings s;
  s.horizontal_size = width;
  s.vertical_size = height;
  s.progressive_sequence = false;
  s.chroma_format = chroma_format;
  s.profile_and_level_indication = chroma_format == 1 ? 0x48 : 0x85;
  return s;
}

// A field picture: top_field_first is 0 and frame_pred_frame_dct 0 there.
PictureSettings AsField(PictureSettings p, int structure) {
  p.picture_structure = structure;
  p.frame_pred_frame_dct = false;
  p.progressive_frame = false;
  p.top_field_first = false;
  return p;
}

PictureSettings AsInterlacedFrame(PictureSettings p, bool top_field_first) {
  p.frame_pred_frame_dct = false;
  p.progressive_frame = false;
  p.top_field_first = top_field_first;
  return p;
}

// Field select mask naming only the given field structure's parity.
unsigned ParityMask(int structure) {
  return structure == kTop ? 1u : 2u;
}

const std::vector<Motion> kFieldOr16x8 = {Motion::kField, Motion::k16x8};
const std::vector<Motion> kFrameOrField = {Motion::kFrame, Motion::kField};

SynthesizedStream FieldPictures(bool top_first, const std::vector<Motion>& motions, int seed) {
  StreamWriter w(Interlaced(96, 64));
  Lcg rng(static_cast<uint32_t>(seed));
  const int first = top_first ? kTop : kBottom;
  const int second = top_first ? kBottom : kTop;
  w.SequenceHeader();
  w.GroupOfPictures(true);
  // Frame 0: an I field, then a P field that can only predict from it.
  w.Picture(AsField(IntraPictureSettings(0), first));
  WriteIntraPicture(w, rng, {.seed = seed});
  w.Picture(AsField(PredictedPictureSettings(0, 2), second));
  WriteInterPicture(w, rng,
                    {.motions = motions,
                     .max_vector = 10,
                     .field_selects = {ParityMask(first), 3},
                     .intra_percent = 5,
                     .seed = seed + 1});
  // Frame 3: a P field pair with both field selects.
  for (int structure : {first, second}) {
    w.Picture(AsField(PredictedPictureSettings(3, 2), structure));
    WriteInterPicture(w, rng,
                      {.motions = motions,
                       .max_vector = 14,
                       .skip_percent = 15,
                       .intra_percent = 5,
                       .seed = seed + 2});
  }
  // Frames 1 and 2: B field pairs.
  for (int t = 1; t <= 2; ++t) {
    for (int structure : {first, second}) {
      w.Picture(AsField(BidirectionalPictureSettings(t, 2), structure));
      WriteInterPicture(w, rng,
                        {.backward = true,
                         .motions = motions,
                         .max_vector = 14,
                         .skip_percent = 25,
                         .intra_percent = 3,
                         .seed = seed + 3});
    }
  }
  return Finish(w);
}

SynthesizedStream DualPrimeFrame(bool top_field_first, int seed) {
  StreamWriter w(Interlaced(96, 64));
  Lcg rng(static_cast<uint32_t>(seed));
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(AsInterlacedFrame(IntraPictureSettings(0), top_field_first));
  WriteIntraPicture(w, rng, {.seed = seed, .field_dct_percent = 30});
  const std::vector<Motion> motions = {Motion::kDualPrime, Motion::kDualPrime, Motion::kFrame,
                                       Motion::kField};
  for (int t = 1; t <= 3; ++t) {
    w.Picture(AsInterlacedFrame(PredictedPictureSettings(t, 2), top_field_first));
    WriteInterPicture(w, rng,
                      {.motions = motions,
                       .max_vector = 12,
                       .skip_percent = 10,
                       .intra_percent = 5,
                       .seed = seed + t});
  }
  return Finish(w);
}

SynthesizedStream Chroma(int chroma_format, int seed) {
  StreamWriter w(Interlaced(96, 64, chroma_format));
  Lcg rng(static_cast<uint32_t>(seed));
  w.SequenceHeader();
  w.GroupOfPictures(true);
  // I0 frame picture with field DCT, P3 field pair, B1 frame picture, B2
  // field pair.
  w.Picture(AsInterlacedFrame(IntraPictureSettings(0), true));
  WriteIntraPicture(w, rng, {.seed = seed, .field_dct_percent = 50});
  for (int structure : {kTop, kBottom}) {
    w.Picture(AsField(PredictedPictureSettings(3, 2), structure));
    WriteInterPicture(w, rng,
                      {.motions = kFieldOr16x8,
                       .max_vector = 14,
                       .skip_percent = 10,
                       .intra_percent = 5,
                       .seed = seed + 1});
  }
  w.Picture(AsInterlacedFrame(BidirectionalPictureSettings(1, 2), true));
  WriteInterPicture(w, rng,
                    {.backward = true,
                     .motions = kFrameOrField,
                     .max_vector = 14,
                     .skip_percent = 20,
                     .intra_percent = 5,
                     .seed = seed + 2});
  for (int structure : {kTop, kBottom}) {
    w.Picture(AsField(BidirectionalPictureSettings(2, 2), structure));
    WriteInterPicture(w, rng,
                      {.backward = true,
                       .motions = kFieldOr16x8,
                       .max_vector = 14,
                       .skip_percent = 20,
                       .seed = seed + 3});
  }
  return Finish(w);
}

}  // namespace

SynthesizedStream Mpeg2FieldPicturesTopFirst() {
  return FieldPictures(true, {Motion::kField}, 110);
}

SynthesizedStream Mpeg2FieldPicturesBottomFirst() {
  return FieldPictures(false, {Motion::kField}, 120);
}

SynthesizedStream Mpeg2Field16x8Motion() {
  return FieldPictures(true, kFieldOr16x8, 130);
}

SynthesizedStream Mpeg2FrameFieldMotionDct() {
  StreamWriter w(Interlaced(96, 64));
  Lcg rng(14);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(AsInterlacedFrame(IntraPictureSettings(0), true));
  WriteIntraPicture(w, rng, {.seed = 140, .field_dct_percent = 50});
  w.Picture(AsInterlacedFrame(PredictedPictureSettings(3, 2), true));
  WriteInterPicture(w, rng,
                    {.motions = kFrameOrField,
                     .max_vector = 14,
                     .skip_percent = 15,
                     .intra_percent = 10,
                     .seed = 141});
  for (int t = 1; t <= 2; ++t) {
    w.Picture(AsInterlacedFrame(BidirectionalPictureSettings(t, 2), true));
    WriteInterPicture(w, rng,
                      {.backward = true,
                       .motions = kFrameOrField,
                       .max_vector = 14,
                       .skip_percent = 25,
                       .intra_percent = 3,
                       .seed = 142});
  }
  return Finish(w);
}

SynthesizedStream Mpeg2DualPrimeFrameTopFirst() {
  return DualPrimeFrame(true, 150);
}

SynthesizedStream Mpeg2DualPrimeFrameBottomFirst() {
  return DualPrimeFrame(false, 160);
}

SynthesizedStream Mpeg2DualPrimeField() {
  StreamWriter w(Interlaced(96, 64));
  Lcg rng(17);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  w.Picture(AsField(IntraPictureSettings(0), kTop));
  WriteIntraPicture(w, rng, {.seed = 170});
  // Dual prime needs a same-parity reference field, which the first frame's
  // second field lacks.
  w.Picture(AsField(PredictedPictureSettings(0, 2), kBottom));
  WriteInterPicture(w, rng,
                    {.motions = kFieldOr16x8,
                     .max_vector = 10,
                     .field_selects = {ParityMask(kTop), 3},
                     .seed = 171});
  const std::vector<Motion> motions = {Motion::kDualPrime, Motion::kDualPrime, Motion::kField,
                                       Motion::k16x8};
  for (int t = 1; t <= 2; ++t) {
    for (int structure : {kTop, kBottom}) {
      w.Picture(AsField(PredictedPictureSettings(t, 2), structure));
      WriteInterPicture(w, rng,
                        {.motions = motions,
                         .max_vector = 12,
                         .skip_percent = 10,
                         .intra_percent = 3,
                         .seed = 172});
    }
  }
  return Finish(w);
}

SynthesizedStream Mpeg2Chroma422() {
  return Chroma(2, 180);
}

SynthesizedStream Mpeg2Chroma444() {
  return Chroma(3, 190);
}

SynthesizedStream Mpeg2ConcealmentVectors() {
  StreamWriter w(Interlaced(96, 64));
  Lcg rng(20);
  w.SequenceHeader();
  w.GroupOfPictures(true);
  PictureSettings i0 = AsInterlacedFrame(IntraPictureSettings(0), true);
  i0.concealment_motion_vectors = true;
  i0.f_code[0][0] = 3;
  i0.f_code[0][1] = 4;
  w.Picture(i0);
  WriteIntraPicture(w, rng, {.seed = 200, .field_dct_percent = 30});
  // Intra macroblocks of a P picture with concealment vectors: the vectors
  // become the predictors of the next macroblock's vectors.
  PictureSettings p1 = AsInterlacedFrame(PredictedPictureSettings(1, 3), true);
  p1.concealment_motion_vectors = true;
  w.Picture(p1);
  WriteInterPicture(w, rng,
                    {.motions = kFrameOrField,
                     .max_vector = 14,
                     .skip_percent = 10,
                     .intra_percent = 35,
                     .seed = 201});
  PictureSettings i2 = AsField(IntraPictureSettings(2), kTop);
  i2.concealment_motion_vectors = true;
  i2.f_code[0][0] = 2;
  i2.f_code[0][1] = 5;
  w.Picture(i2);
  WriteIntraPicture(w, rng, {.seed = 202});
  PictureSettings p2 = AsField(PredictedPictureSettings(2, 2), kBottom);
  p2.concealment_motion_vectors = true;
  w.Picture(p2);
  WriteInterPicture(w, rng,
                    {.motions = kFieldOr16x8,
                     .max_vector = 10,
                     .field_selects = {ParityMask(kTop), 3},
                     .intra_percent = 35,
                     .seed = 203});
  return Finish(w);
}

}  // namespace synth
