// Window-indexed VLC tables: the compile-time expansion of code lists into
// sub-tables (shared with the getters of vlc.cpp and motion_vectors.cpp), the DC
// size tables and the DCT coefficient tables of ISO/IEC 13818-2 Tables B-12
// to B-15.
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
  const int slot_bits = window_bits - shift;
  if (((base + N - 1) >> slot_bits) != 0) throw "sub-table reaches beyond the window";
  std::array<Entry, N> table{};
  std::array<bool, N> filled{};
  table.fill(invalid);
  for (std::span<const VlcCode<Entry>> list : lists) {
    for (const VlcCode<Entry>& code : list) {
      const int length = Vlc_Code_Length(code.bits);
      if (length == 0 || length > slot_bits) continue;
      // The slots whose leading bits are the code.
      const uint32_t first = Vlc_Code_Value(code.bits) << (slot_bits - length);
      const uint32_t end = first + (uint32_t{1} << (slot_bits - length));
      for (uint32_t prefix = first < base ? base : first; prefix < end && prefix < base + N;
           ++prefix) {
        const size_t k = prefix - base;
        if (filled[k]) throw "two codes start the same slot";
        filled[k] = true;
        table[k] = code.entry;
        table[k].length = static_cast<uint8_t>(length);
      }
    }
  }
  return table;
}

// (value, code length): the entries of the macroblock-layer and DC size
// tables; length 0 with value -1 where no code starts.
struct VlcEntry {
  int8_t value;
  uint8_t length = 0;  // filled in by Expand_Vlc_Codes
};

template <size_t N>
constexpr std::array<VlcEntry, N> Expand_Vlc_Table(std::span<const VlcCode<VlcEntry>> codes,
                                                   int window_bits, int shift, uint32_t base) {
  return Expand_Vlc_Codes<VlcEntry, N>({codes}, window_bits, shift, base, VlcEntry{-1, 0});
}

// Two sub-tables one after the other, so that one table and one index serve
// a getter: entries of the second start at N.
template <typename Entry, size_t N, size_t M>
constexpr std::array<Entry, N + M> Join_Vlc_Tables(const std::array<Entry, N>& first,
                                                   const std::array<Entry, M>& second) {
  std::array<Entry, N + M> table{};
  for (size_t k = 0; k < N; ++k) table[k] = first[k];
  for (size_t k = 0; k < M; ++k) table[N + k] = second[k];
  return table;
}

// True when slots from..to-1 of the table, the ones its getter indexes, all
// hold a code.
template <size_t N>
constexpr bool Vlc_Table_Filled(const std::array<VlcEntry, N>& table, size_t from = 0,
                                size_t to = N) {
  for (size_t k = from; k < to; ++k) {
    if (table[k].length == 0) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// DC size tables: dct_dc_size_luminance (Table B-12) and
// dct_dc_size_chrominance (Table B-13), both by a window of the length of
// the longest chrominance code, so that a block picks its table without a
// branch. Every window begins a code.
constexpr int DC_SIZE_WINDOW_BITS = 10;
extern const std::array<VlcEntry, 1 << DC_SIZE_WINDOW_BITS> dc_size_luminance;
extern const std::array<VlcEntry, 1 << DC_SIZE_WINDOW_BITS> dc_size_chrominance;

// ---------------------------------------------------------------------------
// DCT coefficient tables.

// Run values with a meaning of their own.
constexpr uint8_t DCT_END_OF_BLOCK = 64;
constexpr uint8_t DCT_ESCAPE = 65;
constexpr uint8_t DCT_INVALID = 66;  // no code starts here; length 0

// run 0..63 (or one of the values above), level 1..40 (unsigned), the code
// length in bits without the sign bit, and the bits a decoder consumes for
// the entry: the length, and the sign bit of a coefficient. The skip comes
// first, so that a shift takes it straight from the loaded entry. Four
// bytes, so that an index scales by the addressing mode.
struct alignas(4) DctEntry {
  constexpr DctEntry() = default;
  // As the code lists write an entry.
  constexpr DctEntry(uint8_t run_, uint8_t level_) : run(run_), level(level_) {}

  uint8_t skip = 0;  // filled in when a table is made
  uint8_t run = 0;
  uint8_t level = 0;
  uint8_t length = 0;  // filled in by Expand_Vlc_Codes
  friend constexpr bool operator==(const DctEntry&, const DctEntry&) = default;
};

// A coefficient table covers the values c of a 16-bit window in two parts,
// so that a code costs one comparison and one look-up (Find_Dct_Entry):
//   c >= 512: entry c >> 6, the codes of up to 10 bits (entries 0..7 are
//   never used);
//   c < 512: entry DCT_LONG_CODES + c, the codes that start with seven
//   zeros, 12 to 16 bits. No code starts with twelve zeros (c < 16), and
//   Table B-15 leaves some of the 12- and 13-bit codes of Table B-14
//   unused: those entries are invalid.
// dct_b14 is Table B-14 as it holds after the first coefficient of a
// non-intra block (10 is end_of_block, 11s run 0, level 1), dct_b14_first
// as it holds for that first coefficient (1s is run 0, level 1; no
// end_of_block).
constexpr uint32_t DCT_LONG_CODES = 1024;
using DctTable = std::array<DctEntry, DCT_LONG_CODES + 512>;
extern const DctTable dct_b14;
extern const DctTable dct_b14_first;
extern const DctTable dct_b15;

inline const DctEntry& Find_Dct_Entry(uint32_t c, const DctEntry* table) {
  return table[c >= 512 ? c >> 6 : DCT_LONG_CODES + c];
}
