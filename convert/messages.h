// The texts the converter shows to its user, shared by both front ends.
#pragma once

namespace messages {

// Input (probe) failures.
inline constexpr const char* kTooManyFiles = "No more than 16 files allowed.";
inline constexpr const char* kNoMemory = "Not enough memory to open MPEG.";
inline constexpr const char* kOpenFailed = "Error opening MPEG stream.";
inline constexpr const char* kFileError = "File error while opening MPEG.";
inline constexpr const char* kStreamTypeNotSupported = "Streamtype not supported.";

// Start refused.
inline constexpr const char* kNoOutputFile = "No output file selected.";
inline constexpr const char* kNoFrameCount = "No framecount specified.";
inline constexpr const char* kNoSplitValue = "No value for file splitting specified.";
inline constexpr const char* kIllegalCropping = "Illegal cropping values.";
inline constexpr const char* kOutputIsInput = "The output would overwrite an input file.";
inline constexpr const char* kInputSizeFileError = "File error.";
inline constexpr const char* kCreateAviFailed = "Error creating AVI-file";
inline constexpr const char* kNoAudioInElementaryStream =
    "An elementary video stream carries no audio: choose no audio.";
inline constexpr const char* kNoSuchAudioStream = "The input has no audio stream of that number.";
inline constexpr const char* kAudioWouldDrift =
    "The frame rate is not the stream's own: the sound would drift. Choose the stream's frame "
    "rate or No audio.";
inline constexpr const char* kAudioNotConvertible =
    "The audio stream cannot be converted in the chosen form.";

// Job failures.
inline constexpr const char* kWriteError = "Error writing AVI-file.";
inline constexpr const char* kReadError = "Error reading MPEG-stream.";

// Start-up.
inline constexpr const char* kNeedsMmx = "This program requires a CPU with MMX-support.";

// The message for a failed open, by its DecoderResult (or the frame source's
// own 1 for row buffers that could not be allocated).
const char* Open_Result_Message(int result);

}  // namespace messages
