#include "convert/messages.h"

#include "decoder/decoder_state.h"

namespace messages {

const char* Open_Result_Message(int result) {
  switch (result) {
    case DECODER_NO_MEMORY:
      return kNoMemory;
    case DECODER_FILE_ERROR:
      return kFileError;
    case DECODER_TRANSPORT_STREAM:
    case DECODER_UNKNOWN_STREAM:
      return kStreamTypeNotSupported;
    default:
      return kOpenFailed;
  }
}

}  // namespace messages
