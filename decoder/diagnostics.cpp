#include "decoder/diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "decoder/decoder_state.h"

namespace {

DiagnosticSink sink = nullptr;

void Emit(const char* format, va_list args) {
  char line[256];
  std::vsnprintf(line, sizeof line, format, args);
  if (sink != nullptr) {
    sink(line);
  } else {
    std::fputs(line, stderr);
  }
}

}  // namespace

void Decoder_Message(const char* format, ...) {
  if (decoder_state.messages_off) return;
  va_list args;
  va_start(args, format);
  Emit(format, args);
  va_end(args);
}

void Decoder_Message_Always(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(format, args);
  va_end(args);
}

void Decoder_Set_Diagnostic_Sink(DiagnosticSink new_sink) {
  sink = new_sink;
}
