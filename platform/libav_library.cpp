#include "platform/libav_library.h"

#include <dlfcn.h>

#include <optional>
#include <string>

namespace {

// The library of `name` whose soname carries `major`; never unloaded, as
// the codecs' threads and callbacks may outlive any one user.
void* Open(const char* name, int major) {
  const std::string soname = std::string(name) + ".so." + std::to_string(major);
  return dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
}

std::optional<LibavApi> Load() {
  void* const avutil = Open("libavutil", LIBAVUTIL_VERSION_MAJOR);
  void* const avcodec = Open("libavcodec", LIBAVCODEC_VERSION_MAJOR);
  void* const swscale = Open("libswscale", LIBSWSCALE_VERSION_MAJOR);
  if (avutil == nullptr || avcodec == nullptr || swscale == nullptr) return std::nullopt;
  LibavApi api;
  bool found = true;
#define VIDORLAN_LIBAV_RESOLVE(library, name)                             \
  api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name)); \
  found = found && api.name != nullptr;
#define VIDORLAN_FROM_AVUTIL(name) VIDORLAN_LIBAV_RESOLVE(avutil, name)
#define VIDORLAN_FROM_AVCODEC(name) VIDORLAN_LIBAV_RESOLVE(avcodec, name)
#define VIDORLAN_FROM_SWSCALE(name) VIDORLAN_LIBAV_RESOLVE(swscale, name)
  VIDORLAN_LIBAVUTIL_FUNCTIONS(VIDORLAN_FROM_AVUTIL)
  VIDORLAN_LIBAVCODEC_FUNCTIONS(VIDORLAN_FROM_AVCODEC)
  VIDORLAN_LIBSWSCALE_FUNCTIONS(VIDORLAN_FROM_SWSCALE)
#undef VIDORLAN_FROM_SWSCALE
#undef VIDORLAN_FROM_AVCODEC
#undef VIDORLAN_FROM_AVUTIL
#undef VIDORLAN_LIBAV_RESOLVE
  if (!found) return std::nullopt;
  return api;
}

}  // namespace

const LibavApi* Libav() {
  static const std::optional<LibavApi> api = Load();
  return api ? &*api : nullptr;
}
