#include "tools/synth/scenarios.h"

#include "tools/y4m.h"

namespace synth {
namespace {

constexpr Scenario kScenarios[] = {
    {"mpeg2_intra_dc_pattern", "MPEG-2 4:2:0 I pictures of flat DC-only blocks (baseline)", 2, 2, 2,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2IntraDcPattern},
    {"mpeg2_intra_dc_precision",
     "I pictures at intra_dc_precision 0..3, DC differentials of every size", 4, 4, 4,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2IntraDcPrecision},
    {"mpeg2_open_gop", "closed first group, open second group whose leading B pictures refer back",
     10, 10, 10, Agreement::kExact, Reference::kFfmpeg, Mpeg2OpenGop},
    {"mpeg2_slices_per_row",
     "several slices per row, slices starting mid-row, intra_slice_flag and extra slice bytes", 3,
     3, 3, Agreement::kExact, Reference::kFfmpeg, Mpeg2SlicesPerRow},
    {"mpeg2_skipped_macroblocks",
     "skipped macroblocks in P and B pictures, runs past 33 (macroblock_escape), B skips repeating "
     "forward, backward and bidirectional vectors",
     3, 3, 3, Agreement::kExact, Reference::kFfmpeg, Mpeg2SkippedMacroblocks},
    {"mpeg2_tall_slice_extension", "64x2848 picture: slice_vertical_position_extension", 3, 3, 3,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2TallSliceExtension},
    {"mpeg1_half_sample_vectors", "MPEG-1 I/P/B with half-sample vectors, f_code 2 and 3, skips", 7,
     7, 7, Agreement::kExact, Reference::kFfmpeg, Mpeg1HalfSampleVectors},
    {"mpeg1_full_sample_vectors", "MPEG-1 full_pel_forward_vector and full_pel_backward_vector", 4,
     4, 4, Agreement::kExact, Reference::kFfmpeg, Mpeg1FullSampleVectors},
    {"mpeg1_full_sample_b_skips",
     "MPEG-1 skipped B macroblocks after full-sample vectors; ffmpeg 5.1 repeats them at half "
     "length (it reuses the full-sample predictors as half-sample vectors)",
     4, 4, 4, Agreement::kExact, Reference::kModel, Mpeg1FullSampleBSkips},
    {"mpeg1_slices_across_rows",
     "MPEG-1 slices spanning rows, macroblock_stuffing, skip runs past 33", 3, 3, 3,
     Agreement::kExact, Reference::kFfmpeg, Mpeg1SlicesAcrossRows},
    {"mpeg1_d_pictures",
     "MPEG-1 stream of D pictures only (DC-only intra, end_of_macroblock); ffmpeg refuses D "
     "pictures, the product skips them: neither shows a frame",
     3, 0, 0, Agreement::kCountOnly, Reference::kNone, Mpeg1DPictures},
    {"mpeg2_field_pictures_top_first",
     "field pictures, top field first: I top + P bottom predicting from its own first field, P "
     "field pair, B field pairs",
     4, 4, 4, Agreement::kExact, Reference::kFfmpeg, Mpeg2FieldPicturesTopFirst},
    {"mpeg2_field_pictures_bottom_first", "field pictures as above with the bottom field first", 4,
     4, 4, Agreement::kExact, Reference::kFfmpeg, Mpeg2FieldPicturesBottomFirst},
    {"mpeg2_frame_field_motion_dct",
     "interlaced frame pictures with field motion and field DCT, frame_pred_frame_dct 0", 4, 4, 4,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2FrameFieldMotionDct},
    {"mpeg2_field_16x8_motion", "16x8 motion in P and B field pictures", 4, 4, 4, Agreement::kExact,
     Reference::kFfmpeg, Mpeg2Field16x8Motion},
    {"mpeg2_dual_prime_frame_tff", "dual-prime motion in P frame pictures, top field first", 4, 4,
     4, Agreement::kExact, Reference::kFfmpeg, Mpeg2DualPrimeFrameTopFirst},
    {"mpeg2_dual_prime_frame_bff", "dual-prime motion in P frame pictures, bottom field first", 4,
     4, 4, Agreement::kExact, Reference::kFfmpeg, Mpeg2DualPrimeFrameBottomFirst},
    {"mpeg2_dual_prime_field", "dual-prime motion in P field pictures, both parities", 3, 3, 3,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2DualPrimeField},
    {"mpeg2_chroma_422", "4:2:2 frame and field pictures, field DCT of chroma, motion", 4, 4, 4,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2Chroma422},
    {"mpeg2_chroma_444", "4:4:4 frame and field pictures, field DCT of chroma, motion", 4, 4, 4,
     Agreement::kExact, Reference::kFfmpeg, Mpeg2Chroma444},
    {"mpeg2_concealment_vectors",
     "concealment_motion_vectors in I frame and field pictures and in intra macroblocks of P "
     "pictures, whose vectors predict the next ones",
     3, 3, 3, Agreement::kExact, Reference::kFfmpeg, Mpeg2ConcealmentVectors},
    {"mpeg2_quantiser_linear",
     "q_scale_type 0, quantiser_scale_code 1 and 31 in slices and macroblocks, AC residual with "
     "escapes in I, P and B pictures",
     3, 3, 3, Agreement::kClose, Reference::kFfmpeg, Mpeg2QuantiserLinear},
    {"mpeg2_quantiser_nonlinear",
     "q_scale_type 1 with intra_vlc_format 1 and alternate_scan, quantiser_scale_code 1 and 31, "
     "AC residual with escapes",
     3, 3, 3, Agreement::kClose, Reference::kFfmpeg, Mpeg2QuantiserNonLinear},
    {"mpeg2_coefficient_tables",
     "every code of Tables B-14 (intra, non-intra) and B-15, forced escapes, loaded matrices", 3, 3,
     3, Agreement::kClose, Reference::kFfmpeg, Mpeg2CoefficientTables},
    {"mpeg1_coefficient_tables",
     "MPEG-1: every code of Table B-14 in intra and non-intra blocks, 8- and 16-bit escapes", 2, 2,
     2, Agreement::kClose, Reference::kFfmpeg, Mpeg1CoefficientTables},
    {"mpeg2_quant_matrices_422",
     "4:2:2 with quant_matrix_extension (all four matrices), sequence_display_extension, "
     "chroma-only coded blocks",
     2, 2, 2, Agreement::kClose, Reference::kFfmpeg, Mpeg2QuantMatrices422},
};

std::string ChromaTag(const SequenceSettings& s) {
  if (!s.mpeg2) return "420jpeg";
  if (s.chroma_format == 2) return "422";
  if (s.chroma_format == 3) return "444";
  return "420mpeg2";
}

void FrameRate(int frame_rate_code, int& numerator, int& denominator) {
  static constexpr int kRates[9][2] = {{25, 1}, {24000, 1001}, {24, 1},
                                       {25, 1}, {30000, 1001}, {30, 1},
                                       {50, 1}, {60000, 1001}, {60, 1}};
  const int code = frame_rate_code >= 1 && frame_rate_code <= 8 ? frame_rate_code : 0;
  numerator = kRates[code][0];
  denominator = kRates[code][1];
}

}  // namespace

std::span<const Scenario> Scenarios() {
  return kScenarios;
}

const Scenario* FindScenario(std::string_view name) {
  for (const Scenario& s : kScenarios) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

std::string_view AgreementName(Agreement agreement) {
  switch (agreement) {
    case Agreement::kExact:
      return "exact";
    case Agreement::kClose:
      return "close";
    case Agreement::kCountOnly:
      return "count";
  }
  return "?";
}

std::string_view ReferenceName(Reference reference) {
  switch (reference) {
    case Reference::kFfmpeg:
      return "ffmpeg";
    case Reference::kModel:
      return "model";
    case Reference::kNone:
      return "none";
  }
  return "?";
}

SynthesizedStream Finish(StreamWriter& w) {
  SynthesizedStream out;
  out.bytes = w.Finish();
  out.frames = w.ExpectedFrames();
  out.sequence = w.sequence();
  return out;
}

std::string WriteExpectedY4m(const SynthesizedStream& stream, const std::string& path) {
  const SequenceSettings& s = stream.sequence;
  y4m::Header h;
  h.width = s.horizontal_size;
  h.height = s.vertical_size;
  h.chroma_tag = ChromaTag(s);
  h.sampling = !s.mpeg2 || s.chroma_format == 1 ? y4m::Sampling::k420
               : s.chroma_format == 2           ? y4m::Sampling::k422
                                                : y4m::Sampling::k444;
  FrameRate(s.frame_rate_code, h.rate_numerator, h.rate_denominator);
  h.interlacing = !s.mpeg2 || s.progressive_sequence ? 'p' : 't';
  h.aspect_numerator = 1;
  h.aspect_denominator = 1;
  y4m::Writer writer;
  std::string error = writer.Open(path, h);
  if (!error.empty()) return error;
  const int widths[3] = {h.width, y4m::ChromaWidth(h), y4m::ChromaWidth(h)};
  const int heights[3] = {h.height, y4m::ChromaHeight(h), y4m::ChromaHeight(h)};
  std::vector<uint8_t> planes[3];
  for (const Frame& frame : stream.frames) {
    for (int c = 0; c < 3; ++c) {
      const Plane& p = frame.planes[c];
      planes[c].resize(static_cast<size_t>(widths[c]) * heights[c]);
      for (int y = 0; y < heights[c]; ++y) {
        for (int x = 0; x < widths[c]; ++x)
          planes[c][static_cast<size_t>(y) * widths[c] + x] = p.At(x, y);
      }
    }
    error = writer.WriteFrame(planes[0].data(), planes[1].data(), planes[2].data());
    if (!error.empty()) return error;
  }
  return writer.Close();
}

}  // namespace synth
