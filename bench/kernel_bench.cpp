// Microbenchmarks of every kernel family, the portable kernels next to each
// vectorised set this processor runs (named family/level), on the sizes an
// SD picture gives them:
//
//   build/bin/kernel_bench [--benchmark_filter=idct]
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "convert/kernel_setup.h"
#include "decoder/tables.h"
#include "platform/chroma_filter.h"

namespace {

constexpr int kWidth = 720;  // luma samples of an SD row
constexpr int kChromaWidth = kWidth / 2;
constexpr int kChromaHeight = 288;  // 4:2:0 chroma rows of an SD frame

std::vector<uint8_t> Random_Bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Coefficient blocks like those of a 6 Mbit/s stream: a DC and a few low
// frequencies, some blocks denser.
std::vector<std::array<int16_t, 64>> Coded_Blocks() {
  std::mt19937 rng(1);
  std::vector<std::array<int16_t, 64>> blocks(256);
  for (auto& block : blocks) {
    block.fill(0);
    block[0] = static_cast<int16_t>(rng() % 2048) - 1024;
    const int count = 2 + static_cast<int>(rng() % 12);
    for (int k = 0; k < count; ++k) {
      block[rng() % 24] = static_cast<int16_t>(static_cast<int>(rng() % 256) - 128);
    }
  }
  return blocks;
}

void Idct(benchmark::State& state, IdctFunction kernel) {
  const auto blocks = Coded_Blocks();
  auto plane = Random_Bytes(8 * kWidth, 2);
  size_t n = 0;
  for (auto _ : state) {
    kernel(blocks[n % blocks.size()].data(), plane.data() + 8 * (n % 64), kWidth);
    ++n;
  }
  state.SetItemsProcessed(static_cast<int64_t>(n));
}

// Two blocks side by side (consecutive blocks of the list); items are blocks.
void Idct_Pair(benchmark::State& state, IdctPairFunction kernel) {
  const auto blocks = Coded_Blocks();
  auto plane = Random_Bytes(8 * kWidth, 2);
  size_t n = 0;
  for (auto _ : state) {
    uint8_t* destination = plane.data() + 16 * (n % 32);
    kernel(blocks[n % (blocks.size() - 1)].data(), destination, destination + 8, kWidth);
    ++n;
  }
  state.SetItemsProcessed(static_cast<int64_t>(2 * n));
}

// One 16x16 luma area of a frame (rows a frame line apart) or one 8x8
// chroma block of a field (rows two lines apart).
void Predict(benchmark::State& state, PredictFunction kernel, int w) {
  const int stride = w == 16 ? kWidth : 2 * kChromaWidth;
  const auto reference = Random_Bytes(static_cast<size_t>(stride) * 40, 3);
  auto target = Random_Bytes(static_cast<size_t>(stride) * 40, 4);
  size_t n = 0;
  for (auto _ : state) {
    const size_t x = 16 * (n % 32);
    kernel(target.data() + x, reference.data() + x + 3, stride, w);
    ++n;
  }
  state.SetItemsProcessed(static_cast<int64_t>(n));
}

using VerticalKernel = void (*)(const uint8_t*, uint8_t*, int, int);
void Upsample_Plane(benchmark::State& state, VerticalKernel kernel) {
  const auto in = Random_Bytes(kChromaWidth * kChromaHeight, 5);
  std::vector<uint8_t> out(2 * in.size());
  for (auto _ : state) {
    kernel(in.data(), out.data(), kChromaWidth, kChromaHeight);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

using HorizontalKernel = void (*)(const uint8_t*, uint8_t*, int);
void Upsample_Row(benchmark::State& state, HorizontalKernel kernel) {
  const auto in = Random_Bytes(kChromaWidth, 6);
  std::vector<uint8_t> out(kWidth);
  for (auto _ : state) {
    kernel(in.data(), out.data(), kChromaWidth);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

void Convert_Row(benchmark::State& state, const ColourConvertKernels& kernels, int width) {
  const auto luma = Random_Bytes(static_cast<size_t>(width), 7);
  const auto cb = Random_Bytes(static_cast<size_t>(width), 8);
  const auto cr = Random_Bytes(static_cast<size_t>(width), 9);
  std::vector<uint8_t> out(3 * static_cast<size_t>(width));
  for (auto _ : state) {
    kernels.yuv_to_bgr_row(out.data(), luma.data(), cb.data(), cr.data(), width, colour_table[5]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * width));
}

void Blend(benchmark::State& state, const RowBlendKernels& kernels, bool filter) {
  const auto a = Random_Bytes(3 * kWidth, 10);
  const auto b = Random_Bytes(3 * kWidth, 11);
  const auto c = Random_Bytes(3 * kWidth, 12);
  std::vector<uint8_t> out(a.size());
  for (auto _ : state) {
    if (filter) {
      kernels.filter_rows_121(out.data(), a.data(), b.data(), c.data(), 3 * kWidth);
    } else {
      kernels.blend_rows(out.data(), a.data(), b.data(), 100, 3 * kWidth);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

void Swap_Outer_Bytes(benchmark::State& state, const PixelOrderKernels& kernels) {
  const auto in = Random_Bytes(3 * kWidth, 13);
  std::vector<uint8_t> out(in.size());
  for (auto _ : state) {
    kernels.swap_outer_bytes(in.data(), out.data(), kWidth);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

void Split_Row(benchmark::State& state, const Yuv420Kernels& kernels, bool full_range) {
  const auto in = Random_Bytes(3 * kWidth, 14);
  std::vector<uint8_t> luma(kWidth);
  std::vector<int16_t> u(kChromaWidth), v(kChromaWidth);
  for (auto _ : state) {
    kernels.split_row(in.data(), kWidth, full_range, luma.data(), u.data(), v.data());
    benchmark::DoNotOptimize(luma.data());
    benchmark::DoNotOptimize(u.data());
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// A chroma row of an SD picture from the middle, filtered from as many rows
// of chroma samples as its filter has taps.
void Filter_Chroma_Rows(benchmark::State& state, const Yuv420Kernels& kernels) {
  const ChromaFilter filter = Halving_Chroma_Filter(576);
  const int16_t* weights = filter.weights.data() + 144 * filter.taps;
  std::vector<std::vector<int16_t>> rows;
  std::vector<const int16_t*> taps;
  for (int k = 0; k < filter.taps; ++k) {
    const auto bytes = Random_Bytes(kChromaWidth, 15 + static_cast<unsigned>(k));
    rows.emplace_back(bytes.begin(), bytes.end());
    for (int16_t& sample : rows.back()) sample = static_cast<int16_t>(sample * 120);
    taps.push_back(rows.back().data());
  }
  std::vector<uint8_t> out(kChromaWidth);
  for (auto _ : state) {
    kernels.filter_rows(taps.data(), weights, filter.taps, out.data(), kChromaWidth);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

// Registers the benchmarks of every family that `set` brings.
void Register(const std::string& level, const KernelSet& set) {
  auto add = [&](const std::string& family, auto function, auto... arguments) {
    benchmark::RegisterBenchmark((family + "/" + level).c_str(), function, arguments...);
  };
  if (set.idct) {
    add("idct_put", Idct, set.idct->put);
    add("idct_add", Idct, set.idct->add);
    add("idct_put_dc", Idct, set.idct->put_dc);
    add("idct_add_dc", Idct, set.idct->add_dc);
    add("idct_put_pair", Idct_Pair, set.idct->put_pair);
    add("idct_add_pair", Idct_Pair, set.idct->add_pair);
  }
  if (set.prediction) {
    for (int w : {16, 8}) {
      for (int index = 0; index < 4; ++index) {
        const std::string name = "predict_" + std::to_string(w) + "_case" + std::to_string(index);
        const int slot = w == 16 ? PREDICT_16 : PREDICT_8;
        add(name, Predict, set.prediction->put[slot][index], w);
        add(name + "_average", Predict, set.prediction->average[slot][index], w);
      }
    }
  }
  if (set.chroma_upsample) {
    add("upsample_420_progressive", Upsample_Plane,
        set.chroma_upsample->vertical_420_to_422_progressive);
    add("upsample_420_fieldwise", Upsample_Plane,
        set.chroma_upsample->vertical_420_to_422_fieldwise);
    add("upsample_422_mpeg1", Upsample_Row, set.chroma_upsample->horizontal_422_to_444_mpeg1);
    add("upsample_422_mpeg2", Upsample_Row, set.chroma_upsample->horizontal_422_to_444_mpeg2);
  }
  if (set.colour_convert) {
    add("yuv_to_bgr_720", Convert_Row, *set.colour_convert, kWidth);
    add("yuv_to_bgr_1920", Convert_Row, *set.colour_convert, 1920);
  }
  if (set.row_blend) {
    add("blend_rows", Blend, *set.row_blend, false);
    add("filter_rows_121", Blend, *set.row_blend, true);
  }
  if (set.pixel_order) add("swap_outer_bytes", Swap_Outer_Bytes, *set.pixel_order);
  if (set.yuv420) {
    add("split_row", Split_Row, *set.yuv420, false);
    add("split_row_full_range", Split_Row, *set.yuv420, true);
    add("filter_chroma_rows", Filter_Chroma_Rows, *set.yuv420);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register("portable",
           {SimdLevel::kPortable, &portable_idct_kernels, &portable_prediction_kernels,
            &portable_chroma_upsample_kernels, &portable_colour_convert_kernels,
            &portable_row_blend_kernels, &portable_pixel_order_kernels, &portable_yuv420_kernels});
  const SimdLevel processor = Detect_Simd_Level();
  for (const KernelSet& set : Vector_Kernel_Sets()) {
    if (set.level <= processor) Register(Simd_Level_Name(set.level), set);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
