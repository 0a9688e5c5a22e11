// Setting up the video stream of a test AVI file.
#pragma once

#include <cstring>
#include <string>

#include "platform/avi_file.h"

namespace avi_test {

inline AviStreamInfo VideoInfo(int width, int height, uint32_t rate, uint32_t scale,
                               const char* name) {
  AviStreamInfo info;
  info.fccType = MakeFourCC("vids");
  info.dwRate = rate;
  info.dwScale = scale;
  info.dwSuggestedBufferSize = static_cast<uint32_t>(width * height * 3);
  info.dwQuality = 0xFFFFFFFFu;
  info.rcFrame = AviRect{0, 0, width, height};
  std::strncpy(info.szName, name, sizeof info.szName - 1);
  return info;
}

inline BitmapInfoHeader Format(int width, int height, uint32_t compression) {
  BitmapInfoHeader f;
  f.biSize = 40;
  f.biWidth = width;
  f.biHeight = height;
  f.biPlanes = 1;
  f.biBitCount = 24;
  f.biCompression = compression;
  return f;
}

// Opens `path` as a stream of width x height frames in `compression`.
inline int CreateVideoFile(AviFile& file, const std::string& path, int width, int height,
                           uint32_t compression = BI_RGB) {
  int r = file.Create(path);
  if (r == AVI_OK) r = file.CreateStream(VideoInfo(width, height, 25, 1, "test stream"));
  if (r == AVI_OK) r = file.SetFormat(Format(width, height, compression), {});
  return r;
}

}  // namespace avi_test
