// Window-indexed VLC tables: the compile-time expansion of code lists into
// sub-tables (shared with the macroblock-layer getters in vlc.cpp), and the
// DCT coefficient sub-tables of ISO/IEC 13818-2 Tables B-14 and B-15.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

// ---------------------------------------------------------------------------
// Expansion of code lists.
//
// A getter peeks a fixed window of W bits and indexes a sub-table with
// (window >> shift) - base, so every slot of the sub-table stands for the
// W - shift leading bits of the window. A code of at most W - shift bits fills
// every slot it is a prefix of; longer codes belong to another sub-table.

// One code as the standard writes it ("0000 0011 01"), with the entry it
// decodes to; the builder fills in the entry's length.
template <typename Entry>
struct VlcCode {
  const char* bits;
  Entry entry;
};

constexpr int Vlc_Code_Length(const char* bits) {
  int length = 0;
  for (; *bits != '\0'; ++bits) {
    if (*bits == '0' || *bits == '1') {
      ++length;
    } else if (*bits != ' ') {
      throw "a code holds only 0, 1 and spaces";
    }
  }
  return length;
}

constexpr uint32_t Vlc_Code_Value(const char* bits) {
  uint32_t value = 0;
  for (; *bits != '\0'; ++bits) {
    if (*bits != ' ') value = (value << 1) | static_cast<uint32_t>(*bits == '1');
  }
  return value;
}

// The N-entry sub-table for the window values (base << shift) to
// ((base + N) << shift) - 1 of a `window_bits`-bit window. Slots that no code
// of at most window_bits - shift bits starts are `invalid`. Two codes in one
// slot (a list that is not prefix-free) stop the compilation.
template <typename Entry, size_t N>
constexpr std::array<Entry, N> Expand_Vlc_Codes(
    std::initializer_list<std::span<const VlcCode<Entry>>> lists, int window_bits, int shift,
    uint32_t base, Entry invalid) {
  std::array<Entry, N> table{};
  const int slot_bits = window_bits - shift;
  for (size_t k = 0; k < N; ++k) {
    const uint32_t prefix = base + static_cast<uint32_t>(k);
    if ((prefix >> slot_bits) != 0) throw "sub-table reaches beyond the window";
    bool filled = false;
    table[k] = invalid;
    for (std::span<const VlcCode<Entry>> list : lists) {
      for (const VlcCode<Entry>& code : list) {
        const int length = Vlc_Code_Length(code.bits);
        if (length == 0 || length > slot_bits) continue;
        if ((prefix >> (slot_bits - length)) != Vlc_Code_Value(code.bits)) continue;
        if (filled) throw "two codes start the same slot";
        filled = true;
        table[k] = code.entry;
        table[k].length = static_cast<uint8_t>(length);
      }
    }
  }
  return table;
}

// ---------------------------------------------------------------------------
// DCT coefficient tables.

// Run values with a meaning of their own.
constexpr uint8_t DCT_END_OF_BLOCK = 64;
constexpr uint8_t DCT_ESCAPE = 65;
constexpr uint8_t DCT_INVALID = 66;  // no code starts here; length 0

// run 0..63 (or one of the values above), level 1..40 (unsigned), and the
// code length in bits without the sign bit.
struct DctEntry {
  uint8_t run;
  uint8_t level;
  uint8_t length = 0;  // filled in by Expand_Vlc_Codes
  friend constexpr bool operator==(const DctEntry&, const DctEntry&) = default;
};

// Sub-tables by the value c of a 16-bit window; the comment gives the range
// of c and the index.
//   16384..65535, (c >> 12) - 4: Table B-14, at the first coefficient of a
//   non-intra block (code 1s) and everywhere else (codes 10 and 11s).
extern const std::array<DctEntry, 12> dct_b14_first_16384;
extern const std::array<DctEntry, 12> dct_b14_16384;
//   1024..16383 (B-15: 1024..65535), (c >> 8) - 4.
extern const std::array<DctEntry, 60> dct_b14_1024;
extern const std::array<DctEntry, 252> dct_b15_1024;
//   512..1023, (c >> 6) - 8.
extern const std::array<DctEntry, 8> dct_b14_512;
extern const std::array<DctEntry, 8> dct_b15_512;
//   256..511, (c >> 4) - 16, and 128..255, (c >> 3) - 16. Table B-15 leaves
//   some of these codes of Table B-14 unused; its sub-tables mark them invalid.
extern const std::array<DctEntry, 16> dct_b14_256;
extern const std::array<DctEntry, 16> dct_b15_256;
extern const std::array<DctEntry, 16> dct_b14_128;
extern const std::array<DctEntry, 16> dct_b15_128;
//   64..127, (c >> 2) - 16; 32..63, (c >> 1) - 16; 16..31, c - 16: the same
//   codes in both tables.
extern const std::array<DctEntry, 16> dct_shared_64;
extern const std::array<DctEntry, 16> dct_shared_32;
extern const std::array<DctEntry, 16> dct_shared_16;
//   0..15: no code starts with twelve zeros.
extern const DctEntry dct_invalid_entry;

// The rows of codes with seven or more leading zeros.
inline const DctEntry& Find_Dct_Entry_Below_512(uint32_t c, const DctEntry* row_256,
                                                const DctEntry* row_128) {
  if (c >= 256) return row_256[(c >> 4) - 16];
  if (c >= 128) return row_128[(c >> 3) - 16];
  if (c >= 64) return dct_shared_64[(c >> 2) - 16];
  if (c >= 32) return dct_shared_32[(c >> 1) - 16];
  if (c >= 16) return dct_shared_16[c - 16];
  return dct_invalid_entry;
}

// The Table B-14 entry for the 16-bit window c. `top` is
// dct_b14_first_16384 for the first coefficient of a non-intra block and
// dct_b14_16384 everywhere else.
inline const DctEntry& Find_B14_Entry(uint32_t c, const DctEntry* top) {
  if (c >= 16384) return top[(c >> 12) - 4];
  if (c >= 1024) return dct_b14_1024[(c >> 8) - 4];
  if (c >= 512) return dct_b14_512[(c >> 6) - 8];
  return Find_Dct_Entry_Below_512(c, dct_b14_256.data(), dct_b14_128.data());
}

// The Table B-15 entry for the 16-bit window c.
inline const DctEntry& Find_B15_Entry(uint32_t c) {
  if (c >= 1024) return dct_b15_1024[(c >> 8) - 4];
  if (c >= 512) return dct_b15_512[(c >> 6) - 8];
  return Find_Dct_Entry_Below_512(c, dct_b15_256.data(), dct_b15_128.data());
}
