// A decoded picture held until it is built into an output frame: a view of
// the decoder's stores, for building on the decoding thread before the next
// decode, or a copy of their planes, which another thread can build from
// while decoding goes on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/picture_output.h"
#include "decoder/huge_pages.h"

class HeldPicture {
 public:
  // Room for copies of pictures of up to width x height samples in each
  // plane, which holds every chroma format; false when out of memory.
  bool Allocate(int width, int height);

  // Holds `picture` itself, valid as long as the decoder keeps it.
  void View(const OutputPicture& picture);

  // Holds a copy of `picture`'s planes. A picture larger than the room is
  // not copied; an empty picture is held then.
  void Copy(const OutputPicture& picture);

  const OutputPicture& Picture() const { return picture_; }

 private:
  HugePageBuffer planes_;  // luma, Cb and Cr, plane_bytes_ each
  size_t plane_bytes_ = 0;
  OutputPicture picture_;
};
