// libFuzzer target: the whole job, from the decoder to AVI files on disk, with
// the compressor (uncompressed, FFV1, or HuffYUV with its frames compressed
// ahead), splitting, display shape, deinterlacing, frame rate, frame limit
// and audio (none, or one of the listed streams decoded or copied) taken
// from the data. The files go to a directory in memory and are removed
// again.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "convert/avi_writer.h"
#include "convert/conversion_job.h"
#include "convert/frame_source.h"
#include "convert/stream_properties.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Drop_Decoder_Diagnostics();
  FuzzControl control(data, size);
  const uint8_t choice = control.Byte();
  const uint8_t count = control.Byte();
  const uint8_t audio = control.Byte();
  FuzzFiles input(control, 1);

  FrameSource source;
  if (source.Open(input.list()) != 0) return 0;
  const StreamInfo info = source.stream_info;
  const std::filesystem::path directory =
      "/dev/shm/vidorlan_fuzz_job_" + std::to_string(::getpid());
  std::filesystem::create_directories(directory);
  // Jobs on large pictures take too long for a fuzzer.
  if (int64_t{info.coded_width} * info.coded_height <= 720 * 576) {
    StartForm form;
    form.output_path = (directory / "out.avi").string();
    form.deinterlace = (choice & 1) != 0;
    form.process_all_frames = false;
    form.frame_count = {false, 1 + count % 12};
    form.split_choice = (choice & 2) != 0 ? SPLIT_BY_FRAMES : SPLIT_NONE;
    form.split_frames = {false, 1 + (choice >> 4) % 4};
    form.aspect_selection = (choice >> 2) & 3;
    form.crop_top = 0;
    form.crop_height = info.coded_height;
    form.frame_rate_selection = count % 8;
    if ((audio & 1) != 0 && !info.audio_streams.empty()) {
      // Audio is taken at the stream's own frame rate only.
      form.audio.selection = (audio >> 2) % static_cast<int>(info.audio_streams.size());
      form.audio.output = (audio & 2) != 0 ? AudioOutput::kCopy : AudioOutput::kPcm;
      form.frame_rate_selection = Default_Frame_Rate_Index(info);
    }
    ConversionSettings settings;
    if (Read_Start_Form(form, info, input.list(), &settings).outcome == StartResult::kStarted) {
      AviWriter writer;
      CompressOptions options;
      const char* const compressors[] = {"", "", "ffv1", "huffyuv"};
      options.compressor = compressors[choice >> 6];
      writer.SetOptions(options);
      ConversionProgress progress;
      ConversionJob job(source, writer, settings, progress);
      if (job.Start().outcome == StartResult::kStarted) job.Join();
    }
  }
  source.Close();
  std::filesystem::remove_all(directory);
  return 0;
}
