// Encoder-side variable-length codes of ISO/IEC 13818-2 Annex B (which
// includes the ISO/IEC 11172-2 codes), written as strings of '0' and '1' with
// optional spaces, the form BitWriter::PutCode takes. Sign bits, escape
// payloads and fixed-length fields are not part of these codes.
//
// The tables are kept apart from the decoder's on purpose: a stream written
// with these codes is an independent check of the decoder's tables.
#pragma once

#include <span>
#include <string_view>

namespace synth {

// A code for a small integer value (an increment, a pattern, a size...).
struct ValueCode {
  int value;
  std::string_view code;
};

// A DCT coefficient code of Table B-14 or B-15: run of zeros, then the level's
// magnitude; the sign bit follows the code.
struct RunLevelCode {
  int run;
  int level;
  std::string_view code;
};

enum class DctTable { kB14, kB15 };

// Table B-1: macroblock_address_increment 1..33.
std::span<const ValueCode> MacroblockAddressIncrementCodes();
inline constexpr std::string_view kMacroblockEscape = "0000 0001 000";    // adds 33
inline constexpr std::string_view kMacroblockStuffing = "0000 0001 111";  // ISO/IEC 11172-2 only

// Tables B-2 to B-4 and the D-picture code: macroblock_type as the bit set of
// decoder_state.h (1 intra, 2 pattern, 4 backward, 8 forward, 16 quant), by
// picture_coding_type 1..4.
std::span<const ValueCode> MacroblockTypeCodes(int picture_coding_type);

// Table B-9: coded_block_pattern_420 0..63 (value 0 only for 4:2:2 and 4:4:4,
// where coded_block_pattern_1/2 carry the chroma bits).
std::span<const ValueCode> CodedBlockPatternCodes();

// Table B-10 without the sign bit: |motion_code| 0..16.
std::span<const ValueCode> MotionCodeMagnitudeCodes();

// Table B-11: dmvector -1, 0, 1.
std::span<const ValueCode> DmvectorCodes();

// Tables B-12 and B-13: dct_dc_size_luminance / dct_dc_size_chrominance 0..11.
std::span<const ValueCode> DcSizeLuminanceCodes();
std::span<const ValueCode> DcSizeChrominanceCodes();

// Tables B-14 and B-15, the 111 (run, level) pairs that have their own code.
std::span<const RunLevelCode> DctCoefficientCodes(DctTable table);
inline constexpr std::string_view kDctEscape = "0000 01";
inline constexpr std::string_view kEndOfBlockB14 = "10";
inline constexpr std::string_view kEndOfBlockB15 = "0110";
// Table B-14's code for run 0, level 1 as the first coefficient of a
// non-intra block (elsewhere "11").
inline constexpr std::string_view kFirstCoefficientRun0Level1 = "1";

// Look-ups. They return an empty view when the value has no code (the caller
// then uses an escape, or has asked for something the syntax cannot say).
std::string_view CodeFor(std::span<const ValueCode> table, int value);
std::string_view DctCoefficientCode(DctTable table, int run, int level);

// Scan position to raster index: zig-zag (Figure 7-2) and alternate (Figure 7-3).
extern const int kZigzagScan[64];
extern const int kAlternateScan[64];

// quantiser_scale for q_scale_type 1 (Table 7-6), by quantiser_scale_code.
extern const int kNonLinearQuantiserScale[32];

// default_intra_quantiser_matrix, natural order.
extern const int kDefaultIntraQuantiserMatrix[64];

}  // namespace synth
