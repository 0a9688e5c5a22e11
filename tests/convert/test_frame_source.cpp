// The frame source's life cycle around the decoder, as far as it shows
// without a decodable stream: failed opens pass the decoder's code on and
// leave the source closed, and a source that is closed or past its end
// writes nothing.
#include "convert/frame_source.h"

#include <gtest/gtest.h>

#include <vector>

#include "decoder/decoder_state.h"
#include "tests/convert/guarded_buffer.h"

namespace {

TEST(FrameSourceOpen, EmptyPathListIsAFileError) {
  FrameSource source;
  const char* const paths[] = {nullptr};
  EXPECT_EQ(source.Open(paths), DECODER_FILE_ERROR);
  EXPECT_FALSE(source.is_open);
}

TEST(FrameSourceOpen, MissingFileIsAFileError) {
  FrameSource source;
  const char* const paths[] = {"/nonexistent/vidorlan/input.mpg", nullptr};
  EXPECT_EQ(source.Open(paths), DECODER_FILE_ERROR);
  EXPECT_FALSE(source.is_open);
  source.Close();  // closing a closed source does nothing
  EXPECT_FALSE(source.is_open);
}

TEST(FrameSourceNextFrame, ClosedSourceWritesNothing) {
  FrameSource source;
  GuardedBuffer dest(48 * 4, 0x33);
  EXPECT_NE(source.NextFrame(dest.data(), 0, 4, 4, false), DECODER_OK);
  EXPECT_EQ(dest.Contents(), std::vector<uint8_t>(48 * 4, 0x33));
  EXPECT_TRUE(dest.GuardsIntact());
}

TEST(FrameSourceNextFrame, AfterTheEndReturnsEndOfSequenceAgain) {
  FrameSource source;
  source.end_of_stream = true;
  GuardedBuffer dest(48 * 4, 0x33);
  EXPECT_EQ(source.NextFrame(dest.data(), 0, 4, 4, true), DECODER_END_OF_SEQUENCE);
  EXPECT_EQ(source.NextFrame(dest.data(), 0, 4, 4, true), DECODER_END_OF_SEQUENCE);
  EXPECT_EQ(dest.Contents(), std::vector<uint8_t>(48 * 4, 0x33));
}

}  // namespace
