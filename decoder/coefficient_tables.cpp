#include "decoder/coefficient_tables.h"

namespace {

using DctCode = VlcCode<DctEntry>;

// Table B-14 (dct_coef_first and dct_coef_next, the table of ISO/IEC
// 11172-2 too) without its two codes that start with 1; sign bits are not
// part of the codes.
constexpr DctCode b14_codes[] = {
    {"011", {1, 1}},
    {"0101", {2, 1}},
    {"0100", {0, 2}},
    {"0011 1", {3, 1}},
    {"0011 0", {4, 1}},
    {"0010 1", {0, 3}},
    {"0001 11", {5, 1}},
    {"0001 10", {1, 2}},
    {"0001 01", {6, 1}},
    {"0001 00", {7, 1}},
    {"0000 01", {DCT_ESCAPE, 0}},
    {"0000 111", {8, 1}},
    {"0000 110", {0, 4}},
    {"0000 101", {9, 1}},
    {"0000 100", {2, 2}},
    {"0010 0111", {10, 1}},
    {"0010 0110", {0, 5}},
    {"0010 0101", {1, 3}},
    {"0010 0100", {3, 2}},
    {"0010 0011", {11, 1}},
    {"0010 0010", {12, 1}},
    {"0010 0001", {0, 6}},
    {"0010 0000", {13, 1}},
    {"0000 0011 11", {4, 2}},
    {"0000 0011 10", {14, 1}},
    {"0000 0011 01", {15, 1}},
    {"0000 0011 00", {1, 4}},
    {"0000 0010 11", {2, 3}},
    {"0000 0010 10", {0, 7}},
    {"0000 0010 01", {5, 2}},
    {"0000 0010 00", {16, 1}},
    {"0000 0001 1111", {17, 1}},
    {"0000 0001 1110", {6, 2}},
    {"0000 0001 1101", {0, 8}},
    {"0000 0001 1100", {3, 3}},
    {"0000 0001 1011", {1, 5}},
    {"0000 0001 1010", {18, 1}},
    {"0000 0001 1001", {19, 1}},
    {"0000 0001 1000", {0, 9}},
    {"0000 0001 0111", {20, 1}},
    {"0000 0001 0110", {21, 1}},
    {"0000 0001 0101", {7, 2}},
    {"0000 0001 0100", {2, 4}},
    {"0000 0001 0011", {0, 10}},
    {"0000 0001 0010", {4, 3}},
    {"0000 0001 0001", {8, 2}},
    {"0000 0001 0000", {0, 11}},
    {"0000 0000 1111 1", {22, 1}},
    {"0000 0000 1111 0", {23, 1}},
    {"0000 0000 1110 1", {24, 1}},
    {"0000 0000 1110 0", {25, 1}},
    {"0000 0000 1101 1", {26, 1}},
    {"0000 0000 1101 0", {0, 12}},
    {"0000 0000 1100 1", {0, 13}},
    {"0000 0000 1100 0", {0, 14}},
    {"0000 0000 1011 1", {0, 15}},
    {"0000 0000 1011 0", {1, 6}},
    {"0000 0000 1010 1", {1, 7}},
    {"0000 0000 1010 0", {2, 5}},
    {"0000 0000 1001 1", {3, 4}},
    {"0000 0000 1001 0", {5, 3}},
    {"0000 0000 1000 1", {9, 2}},
    {"0000 0000 1000 0", {10, 2}},
    {"0000 0000 0111 11", {0, 16}},
    {"0000 0000 0111 10", {0, 17}},
    {"0000 0000 0111 01", {0, 18}},
    {"0000 0000 0111 00", {0, 19}},
    {"0000 0000 0110 11", {0, 20}},
    {"0000 0000 0110 10", {0, 21}},
    {"0000 0000 0110 01", {0, 22}},
    {"0000 0000 0110 00", {0, 23}},
    {"0000 0000 0101 11", {0, 24}},
    {"0000 0000 0101 10", {0, 25}},
    {"0000 0000 0101 01", {0, 26}},
    {"0000 0000 0101 00", {0, 27}},
    {"0000 0000 0100 11", {0, 28}},
    {"0000 0000 0100 10", {0, 29}},
    {"0000 0000 0100 01", {0, 30}},
    {"0000 0000 0100 00", {0, 31}},
    {"0000 0000 0011 111", {1, 8}},
    {"0000 0000 0011 110", {1, 9}},
    {"0000 0000 0011 101", {1, 10}},
    {"0000 0000 0011 100", {1, 11}},
    {"0000 0000 0011 011", {1, 12}},
    {"0000 0000 0011 010", {1, 13}},
    {"0000 0000 0011 001", {1, 14}},
    {"0000 0000 0011 000", {0, 32}},
    {"0000 0000 0010 111", {0, 33}},
    {"0000 0000 0010 110", {0, 34}},
    {"0000 0000 0010 101", {0, 35}},
    {"0000 0000 0010 100", {0, 36}},
    {"0000 0000 0010 011", {0, 37}},
    {"0000 0000 0010 010", {0, 38}},
    {"0000 0000 0010 001", {0, 39}},
    {"0000 0000 0010 000", {0, 40}},
    {"0000 0000 0001 1111", {27, 1}},
    {"0000 0000 0001 1110", {28, 1}},
    {"0000 0000 0001 1101", {29, 1}},
    {"0000 0000 0001 1100", {30, 1}},
    {"0000 0000 0001 1011", {31, 1}},
    {"0000 0000 0001 1010", {11, 2}},
    {"0000 0000 0001 1001", {12, 2}},
    {"0000 0000 0001 1000", {13, 2}},
    {"0000 0000 0001 0111", {14, 2}},
    {"0000 0000 0001 0110", {15, 2}},
    {"0000 0000 0001 0101", {16, 2}},
    {"0000 0000 0001 0100", {6, 3}},
    {"0000 0000 0001 0011", {1, 15}},
    {"0000 0000 0001 0010", {1, 16}},
    {"0000 0000 0001 0001", {1, 17}},
    {"0000 0000 0001 0000", {1, 18}},
};

// The codes that start with 1, except at the first coefficient of a
// non-intra block (where 1s is run 0, level 1 and end_of_block cannot occur).
constexpr DctCode b14_next_codes[] = {
    {"11", {0, 1}},
    {"10", {DCT_END_OF_BLOCK, 0}},
};
constexpr DctCode b14_first_codes[] = {
    {"1", {0, 1}},
};

// Table B-15 up to 13 bits. Its codes of 14 to 16 bits are those of Table
// B-14; of the 12- and 13-bit codes of Table B-14 it uses only those below.
constexpr DctCode b15_codes[] = {
    {"10", {0, 1}},
    {"110", {0, 2}},
    {"010", {1, 1}},
    {"0111", {0, 3}},
    {"0110", {DCT_END_OF_BLOCK, 0}},
    {"1110 1", {0, 5}},
    {"1110 0", {0, 4}},
    {"0011 1", {3, 1}},
    {"0011 0", {1, 2}},
    {"0010 1", {2, 1}},
    {"0001 11", {5, 1}},
    {"0001 10", {4, 1}},
    {"0001 01", {0, 6}},
    {"0001 00", {0, 7}},
    {"0000 01", {DCT_ESCAPE, 0}},
    {"1111 100", {0, 9}},
    {"1111 011", {0, 8}},
    {"1111 010", {10, 1}},
    {"1111 001", {1, 3}},
    {"1111 000", {9, 1}},
    {"0000 111", {2, 2}},
    {"0000 110", {6, 1}},
    {"0000 101", {8, 1}},
    {"0000 100", {7, 1}},
    {"1111 1111", {0, 15}},
    {"1111 1110", {0, 14}},
    {"1111 1101", {4, 2}},
    {"1111 1100", {2, 3}},
    {"1111 1011", {0, 13}},
    {"1111 1010", {0, 12}},
    {"0010 0111", {1, 4}},
    {"0010 0110", {3, 2}},
    {"0010 0101", {12, 1}},
    {"0010 0100", {13, 1}},
    {"0010 0011", {0, 10}},
    {"0010 0010", {0, 11}},
    {"0010 0001", {11, 1}},
    {"0010 0000", {1, 5}},
    {"0000 0011 1", {15, 1}},
    {"0000 0010 1", {14, 1}},
    {"0000 0010 0", {5, 2}},
    {"0000 0011 01", {16, 1}},
    {"0000 0011 00", {2, 4}},
    {"0000 0001 1111", {17, 1}},
    {"0000 0001 1110", {6, 2}},
    {"0000 0001 1100", {3, 3}},
    {"0000 0001 1010", {18, 1}},
    {"0000 0001 1001", {19, 1}},
    {"0000 0001 0111", {20, 1}},
    {"0000 0001 0110", {21, 1}},
    {"0000 0001 0101", {7, 2}},
    {"0000 0001 0010", {4, 3}},
    {"0000 0001 0001", {8, 2}},
    {"0000 0000 1111 1", {22, 1}},
    {"0000 0000 1111 0", {23, 1}},
    {"0000 0000 1110 1", {24, 1}},
    {"0000 0000 1110 0", {25, 1}},
    {"0000 0000 1101 1", {26, 1}},
    {"0000 0000 1011 0", {1, 6}},
    {"0000 0000 1010 1", {1, 7}},
    {"0000 0000 1010 0", {2, 5}},
    {"0000 0000 1001 1", {3, 4}},
    {"0000 0000 1001 0", {5, 3}},
    {"0000 0000 1000 1", {9, 2}},
    {"0000 0000 1000 0", {10, 2}},
};

// Tables B-12 and B-13 by dct_dc_size.
constexpr VlcCode<VlcEntry> dc_size_luminance_codes[] = {
    {"100", {0}},      {"00", {1}},        {"01", {2}},           {"101", {3}},
    {"110", {4}},      {"1110", {5}},      {"1111 0", {6}},       {"1111 10", {7}},
    {"1111 110", {8}}, {"1111 1110", {9}}, {"1111 1111 0", {10}}, {"1111 1111 1", {11}},
};
constexpr VlcCode<VlcEntry> dc_size_chrominance_codes[] = {
    {"00", {0}},
    {"01", {1}},
    {"10", {2}},
    {"110", {3}},
    {"1110", {4}},
    {"1111 0", {5}},
    {"1111 10", {6}},
    {"1111 110", {7}},
    {"1111 1110", {8}},
    {"1111 1111 0", {9}},
    {"1111 1111 10", {10}},
    {"1111 1111 11", {11}},
};

constexpr DctEntry invalid = {DCT_INVALID, 0};

template <size_t N>
constexpr std::array<DctEntry, N> Expand(std::initializer_list<std::span<const DctCode>> lists,
                                         int shift) {
  return Expand_Vlc_Codes<DctEntry, N>(lists, 16, shift, 0, invalid);
}

// A table of both parts. Below 128 Table B-15 has the codes of 14 to 16
// bits of Table B-14.
constexpr DctTable Dct_Table(std::initializer_list<std::span<const DctCode>> lists) {
  const std::array<DctEntry, 1024> short_codes = Expand<1024>(lists, 6);
  const std::array<DctEntry, 512> long_codes = Expand<512>(lists, 0);
  const std::array<DctEntry, 128> b14_longest = Expand<128>({b14_codes}, 0);
  DctTable table{};
  for (size_t k = 0; k < short_codes.size(); ++k) table[k] = short_codes[k];
  for (size_t k = 0; k < long_codes.size(); ++k) {
    table[DCT_LONG_CODES + k] = k < b14_longest.size() ? b14_longest[k] : long_codes[k];
  }
  // A coefficient's sign bit follows its code.
  for (DctEntry& entry : table) entry.skip = entry.length + (entry.run < 64 ? 1 : 0);
  return table;
}

// True when every slot from `from` to `to` - 1 holds a code.
template <size_t N>
constexpr bool Complete(const std::array<DctEntry, N>& table, size_t from, size_t to = N) {
  for (size_t k = from; k < to; ++k) {
    if (table[k].run == DCT_INVALID) return false;
  }
  return true;
}

}  // namespace

constexpr std::array<VlcEntry, 1 << DC_SIZE_WINDOW_BITS> dc_size_luminance =
    Expand_Vlc_Table<1 << DC_SIZE_WINDOW_BITS>(dc_size_luminance_codes, DC_SIZE_WINDOW_BITS, 0, 0);
constexpr std::array<VlcEntry, 1 << DC_SIZE_WINDOW_BITS> dc_size_chrominance =
    Expand_Vlc_Table<1 << DC_SIZE_WINDOW_BITS>(dc_size_chrominance_codes, DC_SIZE_WINDOW_BITS, 0,
                                               0);
static_assert(Vlc_Table_Filled(dc_size_luminance) && Vlc_Table_Filled(dc_size_chrominance));

constexpr DctTable dct_b14 = Dct_Table({b14_next_codes, b14_codes});
constexpr DctTable dct_b14_first = Dct_Table({b14_first_codes, b14_codes});
constexpr DctTable dct_b15 = Dct_Table({b15_codes});

// Table B-14 covers every window from 16 up; Table B-15 has holes only where
// the header says.
static_assert(Complete(dct_b14, 8, DCT_LONG_CODES) && Complete(dct_b14, DCT_LONG_CODES + 16));
static_assert(Complete(dct_b14_first, 8, DCT_LONG_CODES) &&
              Complete(dct_b14_first, DCT_LONG_CODES + 16));
static_assert(Complete(dct_b15, 8, DCT_LONG_CODES) &&
              Complete(dct_b15, DCT_LONG_CODES + 16, DCT_LONG_CODES + 128));
