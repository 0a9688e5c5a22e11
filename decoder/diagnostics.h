// One-line diagnostics of the decoder about damaged or unusual streams.
//
// They go to standard error (standard output may carry decoded pictures) and
// never stop decoding. Tests can redirect them with Decoder_Set_Diagnostic_Sink.
#pragma once

using DiagnosticSink = void (*)(const char* line);

// Writes the line unless messages_off is set. `line` ends in a newline.
void Decoder_Message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the line whatever messages_off says.
void Decoder_Message_Always(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Installs the function that receives every line; nullptr restores stderr.
void Decoder_Set_Diagnostic_Sink(DiagnosticSink sink);
