// The vectorised row kernels against their portable twins on random and
// extreme samples, at every length the contracts allow (odd ones and ones
// shorter than a vector included): every output byte must be equal and the
// guard bytes around each output must survive. Then the kernel setup.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "convert/kernel_setup.h"
#include "convert/row_kernels.h"
#include "decoder/tables.h"
#include "platform/chroma_filter.h"
#include "tests/convert/guarded_buffer.h"
#include "tests/support/vector_kernel_test.h"

namespace {

// Each family sees at least this many input samples.
constexpr long kSamplesPerFamily = 1000000;

// Random rows, one in eight of them all 0, all 255 or alternating 0 and 255
// (the strongest overshoot of the MPEG-1 filter).
std::vector<uint8_t> Random_Row(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> row(n);
  const unsigned kind = rng() % 32;
  for (size_t i = 0; i < n; ++i) {
    switch (kind) {
      case 0:
        row[i] = 0;
        break;
      case 1:
        row[i] = 255;
        break;
      case 2:
      case 3:
        row[i] = (i + kind) % 2 ? 255 : 0;
        break;
      default:
        row[i] = Random_Sample(rng);
        break;
    }
  }
  return row;
}

// Runs the portable and the vectorised kernel, each on a guarded output of
// `size` bytes filled alike.
void Expect_Same_Output(size_t size, const std::function<void(uint8_t*)>& portable,
                        const std::function<void(uint8_t*)>& vector) {
  GuardedBuffer expected(size, 0x5A);
  GuardedBuffer actual(size, 0x5A);
  portable(expected.data());
  vector(actual.data());
  ASSERT_EQ(actual.Contents(), expected.Contents());
  ASSERT_TRUE(actual.GuardsIntact());
}

class VectorChromaUpsampling : public VectorKernelTest {};

TEST_P(VectorChromaUpsampling, VerticalEqualsThePortableKernels) {
  const ChromaUpsampleKernels* kernels = GetParam().chroma_upsample;
  constexpr int kWidths[] = {1, 7, 8, 15, 16, 17, 33, 64, 90, 360};
  constexpr int kHeights[] = {1, 2, 3, 4, 6, 10, 36};
  std::mt19937 rng(4);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (const int width : kWidths) {
      for (const int height : kHeights) {
        const auto in = Random_Row(rng, static_cast<size_t>(width) * height);
        const size_t out_size = 2 * in.size();
        SCOPED_TRACE(testing::Message() << "width " << width << " height " << height);
        using Vertical = void (*)(const uint8_t*, uint8_t*, int, int);
        auto run = [&](Vertical kernel) {
          return [&, kernel](uint8_t* out) { kernel(in.data(), out, width, height); };
        };
        Expect_Same_Output(out_size,
                           run(portable_chroma_upsample_kernels.vertical_420_to_422_progressive),
                           run(kernels->vertical_420_to_422_progressive));
        if (height % 2 == 0) {
          Expect_Same_Output(out_size,
                             run(portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise),
                             run(kernels->vertical_420_to_422_fieldwise));
        }
        samples += 2 * static_cast<long>(in.size());
      }
    }
  }
}

TEST_P(VectorChromaUpsampling, HorizontalEqualsThePortableKernels) {
  const ChromaUpsampleKernels* kernels = GetParam().chroma_upsample;
  std::mt19937 rng(5);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (int count = 1; count <= 100; ++count) {
      for (const int n : {count, 8 * count + 7}) {
        const auto in = Random_Row(rng, static_cast<size_t>(n));
        SCOPED_TRACE(testing::Message() << "count " << n);
        using Horizontal = void (*)(const uint8_t*, uint8_t*, int);
        auto run = [&](Horizontal kernel) {
          return [&, kernel](uint8_t* out) { kernel(in.data(), out, n); };
        };
        Expect_Same_Output(2 * in.size(),
                           run(portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg1),
                           run(kernels->horizontal_422_to_444_mpeg1));
        Expect_Same_Output(2 * in.size(),
                           run(portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg2),
                           run(kernels->horizontal_422_to_444_mpeg2));
        samples += 2 * n;
      }
    }
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorChromaUpsampling, chroma_upsample);

class VectorColourConversion : public VectorKernelTest {};

TEST_P(VectorColourConversion, EqualsThePortableKernel) {
  const ColourConvertKernels* kernels = GetParam().colour_convert;
  std::mt19937 rng(6);
  // The matrices of the colour table, and others with coefficients of either
  // sign up to 2^22, far beyond the table's.
  std::vector<ColourCoefficients> matrices(colour_table, colour_table + 8);
  std::uniform_int_distribution<int32_t> coefficient(-(1 << 22), 1 << 22);
  for (int k = 0; k < 8; ++k) {
    matrices.push_back({coefficient(rng), coefficient(rng), coefficient(rng), coefficient(rng)});
  }
  constexpr int kWidths[] = {1, 5, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 127, 128, 130, 720};
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (const ColourCoefficients& matrix : matrices) {
      for (const int width : kWidths) {
        const auto luma = Random_Row(rng, static_cast<size_t>(width));
        const auto cb = Random_Row(rng, static_cast<size_t>(width));
        const auto cr = Random_Row(rng, static_cast<size_t>(width));
        SCOPED_TRACE(testing::Message()
                     << "width " << width << " matrix " << matrix.cr_to_r << ' ' << matrix.cb_to_b
                     << ' ' << matrix.cb_to_g << ' ' << matrix.cr_to_g);
        using Convert = void (*)(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, int,
                                 const ColourCoefficients&);
        auto run = [&](Convert kernel) {
          return [&, kernel](uint8_t* out) {
            kernel(out, luma.data(), cb.data(), cr.data(), width, matrix);
          };
        };
        Expect_Same_Output(3 * static_cast<size_t>(width),
                           run(portable_colour_convert_kernels.yuv_to_bgr_row),
                           run(kernels->yuv_to_bgr_row));
        samples += 3 * width;
      }
    }
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorColourConversion, colour_convert);

class VectorRowBlend : public VectorKernelTest {};

TEST_P(VectorRowBlend, BlendAndFilterEqualThePortableKernels) {
  const RowBlendKernels* kernels = GetParam().row_blend;
  std::mt19937 rng(8);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (const int length : {1, 3, 15, 16, 17, 47, 48, 100, 2160}) {
      const auto a = Random_Row(rng, static_cast<size_t>(length));
      const auto b = Random_Row(rng, static_cast<size_t>(length));
      const auto c = Random_Row(rng, static_cast<size_t>(length));
      for (int weight = 0; weight < 256; weight += 1 + static_cast<int>(rng() % 16)) {
        SCOPED_TRACE(testing::Message() << "length " << length << " weight " << weight);
        using Blend = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int, int);
        auto run = [&](Blend kernel) {
          return [&, kernel](uint8_t* out) { kernel(out, a.data(), b.data(), weight, length); };
        };
        Expect_Same_Output(a.size(), run(portable_row_blend_kernels.blend_rows),
                           run(kernels->blend_rows));
        samples += 2 * length;
      }
      SCOPED_TRACE(testing::Message() << "length " << length);
      using Filter = void (*)(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, int);
      auto run = [&](Filter kernel) {
        return [&, kernel](uint8_t* out) { kernel(out, a.data(), b.data(), c.data(), length); };
      };
      Expect_Same_Output(a.size(), run(portable_row_blend_kernels.filter_rows_121),
                         run(kernels->filter_rows_121));
      samples += 3 * length;
    }
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorRowBlend, row_blend);

class VectorPixelOrder : public VectorKernelTest {};

TEST_P(VectorPixelOrder, SwapEqualsThePortableKernel) {
  const PixelOrderKernels* kernels = GetParam().pixel_order;
  std::mt19937 rng(9);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (const int count : {0, 1, 5, 6, 7, 11, 16, 21, 720, 1921}) {
      SCOPED_TRACE(testing::Message() << "count " << count);
      const auto in = Random_Row(rng, 3 * static_cast<size_t>(count));
      auto run = [&](void (*kernel)(const uint8_t*, uint8_t*, int)) {
        return [&, kernel](uint8_t* out) { kernel(in.data(), out, count); };
      };
      Expect_Same_Output(in.size(), run(portable_pixel_order_kernels.swap_outer_bytes),
                         run(kernels->swap_outer_bytes));
      samples += static_cast<long>(in.size());
    }
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorPixelOrder, pixel_order);

class VectorYuv420 : public VectorKernelTest {};

// A kernel's luma, U and V output of one row, each with guards on both
// sides that a kernel writing only its own samples leaves as they were.
struct SplitOutput {
  static constexpr int kGuard = 16;
  std::vector<uint8_t> luma;
  std::vector<int16_t> u, v;
  bool operator==(const SplitOutput&) const = default;
};

SplitOutput Split(decltype(Yuv420Kernels::split_row) kernel, const std::vector<uint8_t>& in,
                  int width, bool full_range) {
  const size_t chroma = static_cast<size_t>(width + 1) / 2 + 2 * SplitOutput::kGuard;
  SplitOutput out{std::vector<uint8_t>(static_cast<size_t>(width) + 2 * SplitOutput::kGuard, 0xA5),
                  std::vector<int16_t>(chroma, 0x5A5A), std::vector<int16_t>(chroma, 0x5A5A)};
  const int g = SplitOutput::kGuard;
  kernel(in.data(), width, full_range, out.luma.data() + g, out.u.data() + g, out.v.data() + g);
  return out;
}

TEST_P(VectorYuv420, SplitRowEqualsThePortableKernel) {
  const Yuv420Kernels* kernels = GetParam().yuv420;
  std::mt19937 rng(10);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    for (const int width : {1, 2, 7, 8, 9, 15, 16, 17, 31, 720, 721}) {
      // An odd width's last pair reads the pixel after the row.
      const auto in = Random_Row(rng, 3 * static_cast<size_t>(width + width % 2));
      for (const bool full_range : {false, true}) {
        SCOPED_TRACE(testing::Message() << "width " << width << " full range " << full_range);
        ASSERT_EQ(Split(kernels->split_row, in, width, full_range),
                  Split(portable_yuv420_kernels.split_row, in, width, full_range));
      }
      samples += 2 * static_cast<long>(in.size());
    }
  }
}

TEST_P(VectorYuv420, FilterRowsEqualsThePortableKernel) {
  const Yuv420Kernels* kernels = GetParam().yuv420;
  std::mt19937 rng(11);
  for (long samples = 0; samples < kSamplesPerFamily;) {
    // The filters of real pictures, over 15-bit samples, extremes included.
    for (const int height : {2, 3, 5, 8, 13, 576}) {
      const ChromaFilter filter = Halving_Chroma_Filter(height);
      for (const int count : {1, 7, 8, 9, 17, 360}) {
        std::vector<std::vector<int16_t>> rows;
        std::vector<const int16_t*> taps;
        for (int k = 0; k < filter.taps; ++k) {
          rows.emplace_back(static_cast<size_t>(count));
          for (int16_t& sample : rows.back()) {
            const unsigned r = rng();
            sample = static_cast<int16_t>(r % 4 == 0 ? 0 : r % 4 == 1 ? 32767 : (r >> 8) % 32768);
          }
          taps.push_back(rows.back().data());
        }
        // Any chroma row's weights: the edge rows' are folded.
        const int16_t* weights =
            filter.weights.data() + rng() % filter.first_row.size() * filter.taps;
        SCOPED_TRACE(testing::Message() << "height " << height << " count " << count);
        auto run = [&](decltype(Yuv420Kernels::filter_rows) kernel) {
          return
              [&, kernel](uint8_t* out) { kernel(taps.data(), weights, filter.taps, out, count); };
        };
        Expect_Same_Output(static_cast<size_t>(count), run(portable_yuv420_kernels.filter_rows),
                           run(kernels->filter_rows));
        samples += static_cast<long>(count) * filter.taps;
      }
    }
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorYuv420, yuv420);

// ---------------------------------------------------------------------------
// Installing the tables.

TEST(KernelSetup, PortableChoiceRestoresThePortableKernels) {
  Install_Kernels(KernelChoice::kAuto);
  EXPECT_EQ(Install_Kernels(KernelChoice::kPortable), SimdLevel::kPortable);
  EXPECT_EQ(idct_kernels.put, portable_idct_kernels.put);
  EXPECT_EQ(prediction_kernels.average[PREDICT_16][3],
            portable_prediction_kernels.average[PREDICT_16][3]);
  EXPECT_EQ(chroma_upsample_kernels.vertical_420_to_422_fieldwise,
            portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise);
  EXPECT_EQ(colour_convert_kernels.yuv_to_bgr_row, portable_colour_convert_kernels.yuv_to_bgr_row);
  EXPECT_EQ(row_blend_kernels.blend_rows, portable_row_blend_kernels.blend_rows);
  EXPECT_EQ(pixel_order_kernels.swap_outer_bytes, portable_pixel_order_kernels.swap_outer_bytes);
  EXPECT_EQ(yuv420_kernels.split_row, portable_yuv420_kernels.split_row);
}

TEST(KernelSetup, AutoChoiceTakesTheHighestRunnableLevelPerFamily) {
  const SimdLevel processor = Detect_Simd_Level();
  const SimdLevel installed = Install_Kernels(KernelChoice::kAuto);
  EXPECT_LE(installed, processor);
  const IdctKernels* idct = &portable_idct_kernels;
  const ColourConvertKernels* colour = &portable_colour_convert_kernels;
  for (const KernelSet& set : Vector_Kernel_Sets()) {
    if (set.level > processor) continue;
    EXPECT_LE(set.level, installed);
    if (set.idct) idct = set.idct;
    if (set.colour_convert) colour = set.colour_convert;
  }
  EXPECT_EQ(idct_kernels.add, idct->add);
  EXPECT_EQ(colour_convert_kernels.yuv_to_bgr_row, colour->yuv_to_bgr_row);
  Install_Kernels(KernelChoice::kPortable);  // the other tests expect the portable tables
}

}  // namespace
