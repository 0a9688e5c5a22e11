// The vertical filter that halves the chroma rows of a picture for 4:2:0.
//
// The weights are derived as libswscale (FFmpeg 5.1) derives its bicubic
// filter (B = 0, C = 0.6) for a 2:1 reduction with the chroma samples
// centred between the rows, step by step in the same integer arithmetic:
// near-zero end weights dropped, taps past the picture's edges folded onto
// its first and last row, and weights normalised to 4096 with the rounding
// error carried along. The converter built on it therefore gives the chroma
// bytes of swscale's bicubic conversion with accurate rounding.
#pragma once

#include <cstdint>
#include <vector>

struct ChromaFilter {
  int taps = 0;
  // Per chroma row: the first of its `taps` source rows (rising, never
  // past rows - taps) ...
  std::vector<int> first_row;
  // ... and their weights, `taps` per chroma row, summing to 4096.
  std::vector<int16_t> weights;
};

// The filter from `rows` source rows to (rows + 1) / 2 chroma rows; rows > 0.
ChromaFilter Halving_Chroma_Filter(int rows);
