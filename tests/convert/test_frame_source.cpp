// The frame source's life cycle around the decoder, as far as it shows
// without a decodable stream: failed opens pass the decoder's code on and
// leave the source closed, and a source that is closed or past its end
// gives no picture.
#include "convert/frame_source.h"

#include <gtest/gtest.h>

#include "decoder/decoder_state.h"

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

TEST(FrameSourceNextPicture, ClosedOrEndedSourceGivesNoPicture) {
  FrameSource source;
  FrameStamp stamp{};
  stamp.pts = 1234;
  EXPECT_EQ(source.NextPicture(&stamp), DECODER_FILE_ERROR);
  source.end_of_stream = true;
  EXPECT_EQ(source.NextPicture(&stamp), DECODER_END_OF_SEQUENCE);
  EXPECT_EQ(source.NextPicture(&stamp), DECODER_END_OF_SEQUENCE);
  EXPECT_EQ(stamp.pts, 1234);
}

}  // namespace
