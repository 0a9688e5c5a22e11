// Decoded pictures in display order as YUV4MPEG2, before colour conversion:
// the top-left horizontal_size x vertical_size area of each picture in the
// stream's own chroma format.
#pragma once

#include <atomic>
#include <cstdio>

enum class Y4mResult { kDone, kWriteError, kReadError, kInterrupted };

// Writes every picture of the open decoder (at most `frame_limit`, if not
// negative) to `out`. Stops early when `*stop` becomes true.
Y4mResult Write_Y4m(std::FILE* out, long frame_limit, const std::atomic<bool>* stop);
