// Pictures held for the writing thread: a copy builds the same frame as the
// decoder's own planes did, whatever happens to those planes afterwards, and
// a picture that does not fit the room or the work rows gives a black frame.
#include "convert/held_picture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/frame_builder.h"
#include "decoder/tables.h"
#include "tests/convert/guarded_buffer.h"

namespace {

constexpr int kWidth = 48, kHeight = 32;

struct Planes {
  std::vector<uint8_t> luma, cb, cr;
  OutputPicture picture;
  Planes(bool chroma_444, unsigned seed) {
    std::mt19937 random(seed);
    const int chroma_width = chroma_444 ? kWidth : kWidth / 2;
    for (auto* plane : {&luma, &cb, &cr}) {
      plane->resize(static_cast<size_t>(plane == &luma ? kWidth : chroma_width) * kHeight);
      for (uint8_t& sample : *plane) sample = static_cast<uint8_t>(random());
    }
    picture = {luma.data(),  cb.data(),  cr.data(), kWidth,         kHeight,
               chroma_width, chroma_444, true,      colour_table[1]};
  }
};

std::vector<uint8_t> Build(const OutputPicture& picture, int builder_width = kWidth) {
  FrameBuilder builder;
  EXPECT_TRUE(builder.Allocate(builder_width));
  GuardedBuffer frame(3 * static_cast<size_t>(builder_width) * 24, 0x77);
  builder.Build(picture, 4, 24, 20, true, frame.data());
  EXPECT_TRUE(frame.GuardsIntact());
  return frame.Contents();
}

TEST(HeldPicture, CopyOutlivesThePlanesAndMisfitsGoBlack) {
  for (bool chroma_444 : {false, true}) {
    SCOPED_TRACE(chroma_444 ? "4:4:4" : "4:2:2");
    Planes planes(chroma_444, 7);
    const std::vector<uint8_t> expected = Build(planes.picture);
    HeldPicture held;
    ASSERT_TRUE(held.Allocate(kWidth, kHeight));
    held.Copy(planes.picture);
    for (auto* plane : {&planes.luma, &planes.cb, &planes.cr}) plane->assign(plane->size(), 0);
    EXPECT_EQ(Build(held.Picture()), expected);
    EXPECT_NE(Build(planes.picture), expected);  // the view follows the planes

    const std::vector<uint8_t> black(expected.size(), 0);
    HeldPicture small;
    ASSERT_TRUE(small.Allocate(kWidth, kHeight - 1));
    small.Copy(planes.picture);
    EXPECT_EQ(Build(small.Picture()), black);
    EXPECT_EQ(Build(planes.picture, kWidth + 16), std::vector<uint8_t>(black.size() * 4 / 3, 0));
  }
}

}  // namespace
