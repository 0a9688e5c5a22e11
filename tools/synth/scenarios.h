// The catalogue of synthesized test streams: features the ffmpeg encoder
// never writes, each in a small stream with the pictures a conforming
// decoder must show.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/synth/picture_model.h"
#include "tools/synth/stream_writer.h"

namespace synth {

// How closely two conforming decoders must agree on a scenario.
enum class Agreement {
  kExact,      // no residual beyond DC-only intra blocks: bit for bit
  kClose,      // AC residual: inverse DCTs may differ slightly
  kCountOnly,  // decoders differ by design (see the description)
};

struct SynthesizedStream {
  std::vector<uint8_t> bytes;
  std::vector<Frame> frames;  // what a conforming decoder shows, display order
  SequenceSettings sequence;
};

// Which decoder output a decoder under test is compared with.
enum class Reference {
  kFfmpeg,  // ffmpeg's, which equals the expected frames (within kClose)
  kModel,   // the expected frames only: ffmpeg deviates from the standard
  kNone,    // frame count only
};

struct Scenario {
  std::string_view name;
  std::string_view description;
  int frames;          // frames a conforming decoder shows (the expected frames)
  int ffmpeg_frames;   // frames ffmpeg 5.1 shows
  int product_frames;  // frames vidorlan-convert shows (it skips D pictures)
  Agreement agreement;
  Reference reference;
  SynthesizedStream (*build)();
};

std::span<const Scenario> Scenarios();
const Scenario* FindScenario(std::string_view name);
std::string_view AgreementName(Agreement agreement);
std::string_view ReferenceName(Reference reference);

// Writes the expected frames as YUV4MPEG2 (the horizontal_size x
// vertical_size area, chroma tag of the stream's format). Returns an error
// text, empty on success.
std::string WriteExpectedY4m(const SynthesizedStream& stream, const std::string& path);

// Shared by the scenario units.
SynthesizedStream Finish(StreamWriter& w);

// Scenario builders, by unit.
SynthesizedStream Mpeg2IntraDcPattern();
SynthesizedStream Mpeg2IntraDcPrecision();
SynthesizedStream Mpeg2OpenGop();
SynthesizedStream Mpeg2SlicesPerRow();
SynthesizedStream Mpeg2SkippedMacroblocks();
SynthesizedStream Mpeg2TallSliceExtension();
SynthesizedStream Mpeg1HalfSampleVectors();
SynthesizedStream Mpeg1FullSampleVectors();
SynthesizedStream Mpeg1FullSampleBSkips();
SynthesizedStream Mpeg1SlicesAcrossRows();
SynthesizedStream Mpeg1DPictures();

SynthesizedStream Mpeg2FieldPicturesTopFirst();
SynthesizedStream Mpeg2FieldPicturesBottomFirst();
SynthesizedStream Mpeg2FrameFieldMotionDct();
SynthesizedStream Mpeg2Field16x8Motion();
SynthesizedStream Mpeg2DualPrimeFrameTopFirst();
SynthesizedStream Mpeg2DualPrimeFrameBottomFirst();
SynthesizedStream Mpeg2DualPrimeField();
SynthesizedStream Mpeg2Chroma422();
SynthesizedStream Mpeg2Chroma444();
SynthesizedStream Mpeg2ConcealmentVectors();

SynthesizedStream Mpeg2QuantiserLinear();
SynthesizedStream Mpeg2QuantiserNonLinear();
SynthesizedStream Mpeg2CoefficientTables();
SynthesizedStream Mpeg1CoefficientTables();
SynthesizedStream Mpeg2QuantMatrices422();

}  // namespace synth
