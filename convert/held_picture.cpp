#include "convert/held_picture.h"

#include <cstring>
#include <new>

bool HeldPicture::Allocate(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  try {
    planes_.resize(3 * bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  plane_bytes_ = bytes;
  return true;
}

void HeldPicture::View(const OutputPicture& picture) {
  picture_ = picture;
}

void HeldPicture::Copy(const OutputPicture& picture) {
  const size_t height = picture.height > 0 ? static_cast<size_t>(picture.height) : 0;
  const size_t luma_bytes = picture.width > 0 ? static_cast<size_t>(picture.width) * height : 0;
  const size_t chroma_bytes =
      picture.chroma_width > 0 ? static_cast<size_t>(picture.chroma_width) * height : 0;
  picture_ = OutputPicture{};
  if (picture.luma == nullptr || luma_bytes > plane_bytes_ || chroma_bytes > plane_bytes_) return;
  uint8_t* luma = planes_.data();
  uint8_t* cb = luma + plane_bytes_;
  uint8_t* cr = cb + plane_bytes_;
  std::memcpy(luma, picture.luma, luma_bytes);
  std::memcpy(cb, picture.cb, chroma_bytes);
  std::memcpy(cr, picture.cr, chroma_bytes);
  picture_ = picture;
  picture_.luma = luma;
  picture_.cb = cb;
  picture_.cr = cr;
}
