#include "convert/held_picture.h"

#include <cstring>

bool HeldPicture::Allocate(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  plane_bytes_ = 0;
  if (!planes_.Allocate(3 * bytes)) return false;
  plane_bytes_ = bytes;
  return true;
}

void HeldPicture::View(const OutputPicture& picture) {
  picture_ = picture;
}

void HeldPicture::Copy(const OutputPicture& picture) {
  auto bytes = [](int width, int height) {
    return width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
  };
  const size_t luma_bytes = bytes(picture.width, picture.height);
  const size_t chroma_bytes = bytes(picture.chroma_width, picture.chroma_height);
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
