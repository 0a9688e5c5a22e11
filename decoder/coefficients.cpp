#include "decoder/coefficients.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

#include "decoder/bit_reader.h"
#include "decoder/coefficient_tables.h"
#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"
#include "decoder/reconstruct.h"
#include "decoder/tables.h"

namespace {

enum class Coding { MPEG1_INTRA, MPEG1_NON_INTRA, MPEG2_INTRA, MPEG2_NON_INTRA };

constexpr bool Is_Intra(Coding coding) {
  return coding == Coding::MPEG1_INTRA || coding == Coding::MPEG2_INTRA;
}

constexpr bool Is_MPEG2(Coding coding) {
  return coding == Coding::MPEG2_INTRA || coding == Coding::MPEG2_NON_INTRA;
}

// The diagnostics of one block decoder.
struct BlockMessages {
  const char* invalid_code;
  const char* out_of_bounds;
  const char* invalid_escape;
};

constexpr BlockMessages mpeg1_intra_messages = {
    "invalid Huffman code in Decode_MPEG1_Intra_Block()\n",
    "DCT coeff index (i) out of bounds (intra)\n",
    nullptr,
};
constexpr BlockMessages mpeg1_non_intra_messages = {
    "invalid Huffman code in Decode_MPEG1_Non_Intra_Block()\n",
    "DCT coeff index (i) out of bounds (inter)\n",
    nullptr,
};
constexpr BlockMessages mpeg2_intra_messages = {
    "invalid Huffman code in Decode_MPEG2_Intra_Block()\n",
    "DCT coeff index (i) out of bounds (intra2)\n",
    "invalid escape in Decode_MPEG2_Intra_Block()\n",
};
constexpr BlockMessages mpeg2_non_intra_messages = {
    "invalid Huffman code in Decode_MPEG2_Non_Intra_Block()\n",
    "DCT coeff index (i) out of bounds (inter2)\n",
    "invalid escape in Decode_MPEG2_Non_Intra_Block()\n",
};

constexpr const BlockMessages& Messages(Coding coding) {
  switch (coding) {
    case Coding::MPEG1_INTRA:
      return mpeg1_intra_messages;
    case Coding::MPEG1_NON_INTRA:
      return mpeg1_non_intra_messages;
    case Coding::MPEG2_INTRA:
      return mpeg2_intra_messages;
    default:
      return mpeg2_non_intra_messages;
  }
}

void Block_Error(const char* message) {
  Decoder_Message("%s", message);
  decoder_state.decode_error = 1;
}

// 0 for blocks 0..3 (Y); from block 4 on, 1 (Cb) for even and 2 (Cr) for
// odd blocks.
int Colour_Component(int block) {
  // Without a branch: the blocks of a macroblock alternate unpredictably.
  return (block >= 4) * (1 + (block & 1));
}

// The range every stored coefficient keeps: the inverse DCT's input range.
int16_t Saturate(int value) {
  if (value > 2047) return 2047;
  if (value < -2048) return -2048;
  return static_cast<int16_t>(value);
}

// One run and signed level of the stream.
struct RunLevel {
  int run;
  int level;  // magnitude
  int sign;   // 0 for a positive level, -1 for a negative one
};

// MPEG-1 escape after its code: 6-bit run, 8-bit level, where 0 and 128
// (-128 as a signed byte) announce 8 more bits of positive or negative level.
RunLevel Read_MPEG1_Escape(BitCursor& bits) {
  const uint32_t code = bits.Read(14);
  int value = static_cast<int>(code & 255);
  if (value == 0) {
    value = static_cast<int>(bits.Read(8));
  } else if (value == 128) {
    value = static_cast<int>(bits.Read(8)) - 256;
  } else if (value > 128) {
    value -= 256;
  }
  return {static_cast<int>(code >> 8), value < 0 ? -value : value, value < 0 ? -1 : 0};
}

// MPEG-2 escape after its code: 6-bit run, 12-bit two's complement level.
// Levels 0 and -2048 are forbidden; then the level is 0.
RunLevel Read_MPEG2_Escape(BitCursor& bits) {
  const uint32_t code = bits.Read(18);
  const int value = static_cast<int>(code & 4095);
  const int run = static_cast<int>(code >> 12);
  if ((value & 2047) == 0) return {run, 0, 0};
  if (value >= 2048) return {run, 4096 - value, -1};
  return {run, value, 0};
}

// Inverse quantisation of one coefficient, saturated to -2048..2047, with
// the weight already multiplied by quantiser_scale. The products stay far
// inside int: level < 4096, weight times scale <= 255 * 112.
template <Coding kCoding>
int16_t Dequantise(int level, int sign, int scaled_weight) {
  int value;
  if constexpr (kCoding == Coding::MPEG1_INTRA) {
    value = (level * scaled_weight) >> 3;
  } else if constexpr (kCoding == Coding::MPEG1_NON_INTRA) {
    value = ((2 * level + 1) * scaled_weight) >> 4;
  } else if constexpr (kCoding == Coding::MPEG2_INTRA) {
    value = (level * scaled_weight) >> 4;
  } else {
    value = ((2 * level + 1) * scaled_weight) >> 5;
  }
  // MPEG-1 makes every coefficient odd (mismatch control of ISO/IEC 11172-2).
  if constexpr (!Is_MPEG2(kCoding)) {
    if (value != 0) value = (value - 1) | 1;
  }
  // The magnitude's limit is 2047 for a positive, 2048 for a negative value.
  const int limit = 2047 - sign;
  if (value > limit) value = limit;
  return static_cast<int16_t>((value ^ sign) - sign);
}

// Reads the coefficient codes of one block from scan position `position` up
// to end_of_block and stores the dequantised coefficients at their raster
// positions; positions without a code stay as the caller left them (zero).
// Returns the block's extent. kB15 selects Table B-15 (MPEG-2 intra with
// intra_vlc_format 1) instead of Table B-14.
template <Coding kCoding, bool kB15>
int Decode_Coefficients(BitCursor& bits, int16_t* coefficients, int position,
                        const uint16_t* weights, const uint8_t* scan) {
  constexpr const BlockMessages& messages = Messages(kCoding);
  const DctEntry* const table = kB15 ? dct_b15.data() : dct_b14.data();
  const char* error = nullptr;
  uint32_t window = bits.Peek(16);
  // The first code of a non-intra block has a table of its own (1s is run
  // 0, level 1, where 1 is the first bit of end_of_block and of 11s further
  // on): a branch on its first bit would go either way. Each code's entry is
  // looked up as soon as the code before it is consumed.
  const DctEntry* entry = &Find_Dct_Entry(window, Is_Intra(kCoding) ? table : dct_b14_first.data());
  for (;;) {
    // end_of_block, escape and invalid codes have runs of 64 and more, so
    // that one comparison sends them and a position past 63 the slow way.
    unsigned next = static_cast<unsigned>(position) + entry->run;
    int level = entry->level;
    int sign;
    if (next <= 63) [[likely]] {
      // The sign bit follows the code; the window holds at least 25 bits.
      sign = bits.BitMaskAt(entry->length);
      window = bits.SkipFilling(entry->skip);
    } else if (entry->run == DCT_END_OF_BLOCK) {
      bits.Skip(entry->skip);
      break;
    } else if (entry->run == DCT_ESCAPE) {
      bits.Skip(entry->skip);
      RunLevel code;
      if constexpr (Is_MPEG2(kCoding)) {
        code = Read_MPEG2_Escape(bits);
        if (code.level == 0) {
          error = messages.invalid_escape;
          break;
        }
      } else {
        code = Read_MPEG1_Escape(bits);
      }
      next = static_cast<unsigned>(position + code.run);
      if (next > 63) {
        error = messages.out_of_bounds;
        break;
      }
      level = code.level;
      sign = code.sign;
      window = bits.Peek(16);
    } else if (entry->run == DCT_INVALID) {
      error = messages.invalid_code;
      break;
    } else {
      bits.Skip(entry->skip);
      error = messages.out_of_bounds;
      break;
    }
    const unsigned j = scan[next];
    coefficients[j] = Dequantise<kCoding>(level, sign, weights[j]);
    position = static_cast<int>(next) + 1;
    entry = &Find_Dct_Entry(window, table);
  }
  if (error != nullptr) Block_Error(error);
  return position;
}

// dct_dc_differential after its size code (ISO/IEC 13818-2 7.2.1): a
// leading 0 bit marks a negative value. The size code and the differential
// are read at once, and the sign is taken without a branch (it is as good as
// random).
int Read_Dc_Differential(BitCursor& bits, const VlcEntry& size_code) {
  const int size = size_code.value;
  const int length = size_code.length + size;  // at most 10 + 11 bits
  const int value = static_cast<int>(bits.Peek(length)) & ((1 << size) - 1);
  bits.Skip(length);
  // The leading bit of the `size` bits; 0 for size 0, where value is 0 and
  // the formula below gives 0 as well.
  const int positive = ((value << 1) >> size) & 1;
  return positive ? value : value - (1 << size) + 1;
}

// Updates the DC predictor of the block's colour component with the
// differential read from the stream and returns it. The predictor wraps in
// 16 bits, so that damaged streams cannot overflow it.
int Next_Dc_Predictor(BitCursor& bits, int colour_component, int dc_dct_pred[3]) {
  const VlcEntry* sizes =
      colour_component == 0 ? dc_size_luminance.data() : dc_size_chrominance.data();
  const int differential = Read_Dc_Differential(bits, sizes[bits.Peek(DC_SIZE_WINDOW_BITS)]);
  dc_dct_pred[colour_component] =
      static_cast<int16_t>(dc_dct_pred[colour_component] + differential);
  return dc_dct_pred[colour_component];
}

// The AC coefficients of intra blocks are not read in D pictures, nor after
// an error.
bool Intra_Block_Ends_At_Dc() {
  return decoder_state.decode_error != 0 || decoder_state.picture_coding_type == D_PICTURE;
}

// The weighting matrices times the current quantiser_scale, in the order of
// BitstreamState (intra, non-intra, chroma intra, chroma non-intra).
const uint16_t (&Scaled_Weights())[4][64] {
  BitstreamState& bs = decoder_state.bitstream;
  const int scale = std::clamp(bs.quantiser_scale, 0, MAX_QUANTISER_SCALE);
  uint16_t(&scaled)[4][64] = bs.scaled_weights[scale];
  if (!bs.scaled_weights_made[scale]) {
    const int* const matrices[4] = {bs.intra_quantiser_matrix, bs.non_intra_quantiser_matrix,
                                    bs.chroma_intra_quantiser_matrix,
                                    bs.chroma_non_intra_quantiser_matrix};
    for (int m = 0; m < 4; ++m) {
      for (int i = 0; i < 64; ++i) {
        // Weights are 8-bit values; anything else is brought into range.
        scaled[m][i] = static_cast<uint16_t>(std::clamp(matrices[m][i], 0, 255) * scale);
      }
    }
    bs.scaled_weights_made[scale] = 1;
  }
  return scaled;
}

// What the blocks of one macroblock share: the scan and the scaled weights
// of its luma and its chroma blocks.
struct BlockCoding {
  const uint8_t* scan;
  const uint16_t* weights[2];  // by colour component != 0
};

// MPEG-1 blocks always use the zig-zag scan. MPEG-2 has matrices of its own
// for the chroma blocks of 4:2:2 and 4:4:4.
template <Coding kCoding>
BlockCoding Block_Coding() {
  const uint16_t(&scaled)[4][64] = Scaled_Weights();
  const int matrix = Is_Intra(kCoding) ? 0 : 1;
  const bool chroma_matrices = Is_MPEG2(kCoding) && decoder_state.chroma_format >= CHROMA_422;
  const int scan = Is_MPEG2(kCoding) && decoder_state.bitstream.alternate_scan != 0 ? 1 : 0;
  return {scan_tables[scan], {scaled[matrix], scaled[matrix + (chroma_matrices ? 2 : 0)]}};
}

// One block: the DC of an intra block, then the coefficient codes.
template <Coding kCoding, bool kB15>
int Decode_Block(BitCursor& bits, int block, int dc_dct_pred[3], const BlockCoding& coding) {
  int16_t* coefficients = decoder_state.bitstream.coefficient_blocks[block];
  const int colour_component = Colour_Component(block);
  int position = 0;
  if constexpr (Is_Intra(kCoding)) {
    const int predictor = Next_Dc_Predictor(bits, colour_component, dc_dct_pred);
    if constexpr (Is_MPEG2(kCoding)) {
      coefficients[0] = Saturate(predictor * (8 >> (decoder_state.intra_dc_precision & 3)));
    } else {
      coefficients[0] = static_cast<int16_t>(predictor * 8);
    }
    if (Intra_Block_Ends_At_Dc()) return 1;
    position = 1;
  }
  return Decode_Coefficients<kCoding, kB15>(bits, coefficients, position,
                                            coding.weights[colour_component != 0], coding.scan);
}

// The blocks of a macroblock with one decoder. The calls are inlined, so the
// cursor copy stays in registers from the first block to the last.
template <Coding kCoding, bool kB15>
[[gnu::flatten]] int Decode_Blocks(BitCursor& cursor, MacroblockContext& ctx) {
  BitCursor bits = cursor;
  const BlockCoding coding = Block_Coding<kCoding>();
  const int blocks = decoder_state.blocks_per_macroblock;
  int decoded = 1;
  // Block i is coded when bit (blocks - 1 - i) is set: the highest bit left
  // is the next block. Looping over the set bits spares a branch per block
  // that the pattern makes unpredictable.
  unsigned pattern = static_cast<unsigned>(ctx.coded_block_pattern) & ((1u << blocks) - 1);
  while (pattern != 0) {
    const int bit = std::bit_width(pattern) - 1;
    pattern ^= 1u << bit;
    const int i = blocks - 1 - bit;
    Clear_Coefficient_Block(i);
    ctx.block_extent[i] = Decode_Block<kCoding, kB15>(bits, i, ctx.dc_dct_pred, coding);
    if (decoder_state.decode_error) {
      decoded = 0;
      break;
    }
  }
  cursor = bits;
  return decoded;
}

}  // namespace

int Read_luma_dc_differential(BitCursor& bits) {
  return Read_Dc_Differential(bits, dc_size_luminance[bits.Peek(DC_SIZE_WINDOW_BITS)]);
}

int Read_chroma_dc_differential(BitCursor& bits) {
  return Read_Dc_Differential(bits, dc_size_chrominance[bits.Peek(DC_SIZE_WINDOW_BITS)]);
}

void Weighting_Matrices_Changed() {
  BitstreamState& bs = decoder_state.bitstream;
  std::fill(std::begin(bs.scaled_weights_made), std::end(bs.scaled_weights_made), uint8_t{0});
}

int Decode_MPEG1_Intra_Block(BitCursor& bits, int block, int dc_dct_pred[3]) {
  return Decode_Block<Coding::MPEG1_INTRA, false>(bits, block, dc_dct_pred,
                                                  Block_Coding<Coding::MPEG1_INTRA>());
}

int Decode_MPEG1_Non_Intra_Block(BitCursor& bits, int block) {
  return Decode_Block<Coding::MPEG1_NON_INTRA, false>(bits, block, nullptr,
                                                      Block_Coding<Coding::MPEG1_NON_INTRA>());
}

int Decode_MPEG2_Intra_Block(BitCursor& bits, int block, int dc_dct_pred[3]) {
  const BlockCoding coding = Block_Coding<Coding::MPEG2_INTRA>();
  if (decoder_state.intra_vlc_format) {
    return Decode_Block<Coding::MPEG2_INTRA, true>(bits, block, dc_dct_pred, coding);
  }
  return Decode_Block<Coding::MPEG2_INTRA, false>(bits, block, dc_dct_pred, coding);
}

int Decode_MPEG2_Non_Intra_Block(BitCursor& bits, int block) {
  return Decode_Block<Coding::MPEG2_NON_INTRA, false>(bits, block, nullptr,
                                                      Block_Coding<Coding::MPEG2_NON_INTRA>());
}

int Decode_Coded_Blocks(BitCursor& bits, MacroblockContext& ctx) {
  const bool intra = (ctx.macroblock_type & MACROBLOCK_INTRA) != 0;
  if (decoder_state.bitstream.is_mpeg2) {
    if (!intra) return Decode_Blocks<Coding::MPEG2_NON_INTRA, false>(bits, ctx);
    return decoder_state.intra_vlc_format ? Decode_Blocks<Coding::MPEG2_INTRA, true>(bits, ctx)
                                          : Decode_Blocks<Coding::MPEG2_INTRA, false>(bits, ctx);
  }
  return intra ? Decode_Blocks<Coding::MPEG1_INTRA, false>(bits, ctx)
               : Decode_Blocks<Coding::MPEG1_NON_INTRA, false>(bits, ctx);
}
