// AVI files with an audio stream beside the video, written by the file
// layer from ffmpeg-made streams run through the audio converters, read
// back by ffprobe/ffmpeg, gst-discoverer and mediainfo and by the structure
// walker: in plain AVI 1.0, across OpenDML RIFFs, killed mid-write and on
// a disk that fills up.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/avi_file.h"
#include "tests/platform/audio_test_support.h"
#include "tests/platform/avi_file_setup.h"
#include "tests/platform/riff_reader.h"

namespace {

using avi_test::AudioSource;
using avi_test::TempDir;

constexpr int kWidth = 32, kHeight = 16, kFps = 25;

struct Written {
  int video_frames = 0;
  int audio_chunks = 0;
  int64_t audio_samples = 0;
  std::vector<uint8_t> audio;  // in file order
};

int CreateAviWithAudio(AviFile& file, const std::string& path, const AviAudioFormat& audio) {
  int r = avi_test::CreateVideoFile(file, path, kWidth, kHeight);
  if (r == AVI_OK) r = file.AddAudioStream(audio.info, audio.format, audio.extradata);
  return r;
}

// Writes video frames at 25 fps and, before each, the audio that begins
// before the frame ends: PCM in one chunk per frame, compressed frames one
// chunk each. Returns the first failure.
int WriteInterleaved(AviFile& file, const AviAudioFormat& format,
                     const std::vector<AudioPacket>& packets, Written* written) {
  const bool blocks = format.info.dwSampleSize != 0;
  const size_t block = format.format.nBlockAlign;
  const int64_t rate = format.format.nSamplesPerSec;
  const std::vector<uint8_t> pcm = blocks ? avi_test::Joined(packets) : std::vector<uint8_t>();
  const int64_t total = avi_test::TotalSamples(packets);
  size_t next = 0;
  for (int i = 0; written->audio_samples < total; ++i) {
    const int64_t until = std::min(total, (i + 1) * rate / kFps);
    while (written->audio_samples < until) {
      std::span<const uint8_t> chunk;
      int64_t samples = until - written->audio_samples;
      if (blocks) {
        chunk = std::span(pcm).subspan(static_cast<size_t>(written->audio_samples) * block,
                                       static_cast<size_t>(samples) * block);
      } else {
        chunk = packets[next].data;
        samples = packets[next++].samples;
      }
      if (int r = file.WriteAudio(chunk, nullptr); r != AVI_OK) return r;
      written->audio.insert(written->audio.end(), chunk.begin(), chunk.end());
      written->audio_samples += samples;
      ++written->audio_chunks;
    }
    const int r = file.WriteFrame(avi_test::MakeFrame(kWidth, kHeight, i), true, nullptr, nullptr);
    if (r != AVI_OK) return r;
    ++written->video_frames;
  }
  return AVI_OK;
}

// key=value lines of a command's output: "key=value" (ffprobe) or
// "  Key: value" (gst-discoverer), the first of each key.
std::map<std::string, std::string> Values(const std::string& text, char separator) {
  std::map<std::string, std::string> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(separator);
    if (at == std::string::npos) continue;
    const size_t key = line.find_first_not_of(' ');
    const size_t value = line.find_first_not_of(' ', at + 1);
    values.emplace(line.substr(key, at - key),
                   value == std::string::npos ? "" : line.substr(value));
  }
  return values;
}

std::map<std::string, std::string> ProbeStream(const std::string& path, const char* selection) {
  return Values(avi_test::RunCommand({"ffprobe", "-v", "error", "-count_packets", "-select_streams",
                                      selection, "-show_entries",
                                      "stream=codec_name,sample_rate,channels,channel_layout,"
                                      "duration,nb_frames,nb_read_packets",
                                      "-of", "default=noprint_wrappers=1", path})
                    .out,
                '=');
}

// The audio of a PCM stream of `channels` 16-bit samples: a different
// ramp in each channel.
std::vector<AudioPacket> PcmPackets(int channels, int samples, int per_packet) {
  std::vector<AudioPacket> packets;
  for (int start = 0; start < samples; start += per_packet) {
    AudioPacket p;
    p.samples = std::min(per_packet, samples - start);
    for (int i = start; i < start + p.samples; ++i)
      for (int c = 0; c < channels; ++c) {
        const auto v = static_cast<uint16_t>(i * (c + 1) * 37);
        p.data.push_back(static_cast<uint8_t>(v));
        p.data.push_back(static_cast<uint8_t>(v >> 8));
      }
    packets.push_back(std::move(p));
  }
  return packets;
}

struct AviAudioCase {
  const char* name;
  AudioSource source;
  AudioOutput output;
  const char* codec_name;  // ffprobe's
  const char* read_back;   // ffmpeg's output format for the audio written
  const char* gst_codec;   // the start of gst-discoverer's description
  const char* mediainfo;   // mediainfo's Format
};

const AviAudioCase kAviAudio[] = {
    {"pcm_stereo",
     {2, 48000, "-c:a mp2 -b:a 192k", "vob"},
     AudioOutput::kPcm,
     "pcm_s16le",
     "s16le",
     "Raw",
     "PCM"},
    {"pcm_5_1_extensible",
     {6, 48000, "-c:a ac3 -b:a 384k", "vob"},
     AudioOutput::kPcm,
     "pcm_s16le",
     "s16le",
     "Raw",
     "PCM"},
    {"mp2_copy",
     {2, 48000, "-c:a mp2 -b:a 192k", "vob"},
     AudioOutput::kCopy,
     "mp2",
     "mp2",
     "MPEG-1 Layer 2",
     "MPEG Audio"},
    {"mp3_copy",
     {2, 44100, "-c:a libmp3lame -b:a 128k", "vob"},
     AudioOutput::kCopy,
     "mp3",
     "mp3",
     "MPEG-1 Layer 3",
     "MPEG Audio"},
    {"ac3_copy",
     {6, 48000, "-c:a ac3 -b:a 384k", "vob"},
     AudioOutput::kCopy,
     "ac3",
     "ac3",
     "AC-3",
     "AC-3"},
    {"dts_copy",
     {6, 48000, "-c:a dca -strict -2", "vob"},
     AudioOutput::kCopy,
     "dts",
     "dts",
     "DTS",
     "DTS"},
    {"lpcm_24_copy",
     {2, 48000, "-c:a pcm_dvd -sample_fmt s32", "vob"},
     AudioOutput::kCopy,
     "pcm_s24le",
     "s24le",
     "Raw",
     "PCM"},
};

class AviAudio : public testing::TestWithParam<AviAudioCase> {};

TEST_P(AviAudio, EveryReaderFindsBothStreams) {
  SKIP_WITHOUT_FFMPEG();
  const AviAudioCase& c = GetParam();
  TempDir dir;
  const std::string source = dir.File("in.mpg");
  ASSERT_TRUE(avi_test::MakeAudioStream(source, c.source, 1.5));
  const avi_test::ConvertedAudio audio =
      avi_test::ConvertAudio(avi_test::ReadPesPackets(source), c.output);
  ASSERT_TRUE(audio.converter);
  const AviAudioFormat& format = audio.converter->Format();
  const std::string path = dir.File("out.avi");
  Written written;
  {
    AviFile file;
    ASSERT_EQ(CreateAviWithAudio(file, path, format), AVI_OK);
    ASSERT_EQ(WriteInterleaved(file, format, audio.packets, &written), AVI_OK);
    ASSERT_EQ(file.Release(), AVI_OK);
  }
  const double seconds = static_cast<double>(written.audio_samples) / c.source.rate;

  auto a = ProbeStream(path, "a:0");
  const bool blocks = format.info.dwSampleSize != 0;
  EXPECT_EQ(a["codec_name"], c.codec_name);
  EXPECT_EQ(a["sample_rate"], std::to_string(c.source.rate));
  EXPECT_EQ(a["channels"], std::to_string(c.source.channels));
  // The stream's length: in samples for PCM (ffprobe gives no duration
  // then), in frames otherwise.
  EXPECT_EQ(a["nb_frames"], std::to_string(blocks ? written.audio_samples : written.audio_chunks));
  if (!blocks) {  // ffmpeg hands out PCM in pieces of its own
    EXPECT_NEAR(std::atof(a["duration"].c_str()), seconds, 0.001);
    EXPECT_EQ(a["nb_read_packets"], std::to_string(written.audio_chunks));
  }
  if (c.source.channels == 6) {
    EXPECT_EQ(a["channel_layout"], "5.1(side)");
  }
  EXPECT_EQ(ProbeStream(path, "v:0")["nb_read_packets"], std::to_string(written.video_frames));
  EXPECT_EQ(avi_test::FfmpegAudio(path, c.read_back), written.audio);

  avi_test::AviStructure s = avi_test::AviStructureReader(path).Read();
  ASSERT_EQ(s.error, "");
  ASSERT_EQ(s.streams.size(), 2u);
  EXPECT_EQ(s.avih_streams, 2u);
  EXPECT_EQ(s.streams[1].type, "auds");
  EXPECT_EQ(s.streams[1].length, blocks ? written.audio_samples : written.audio_chunks);
  EXPECT_EQ(s.idx1.size(), static_cast<size_t>(written.video_frames + written.audio_chunks));

  if (avi_test::RunCommand({"gst-discoverer-1.0", "--version"}).exit_status == 0) {
    const std::string gst = avi_test::RunCommand({"gst-discoverer-1.0", path}).out;
    const size_t at = gst.find("audio #");
    ASSERT_NE(at, std::string::npos) << gst;
    auto g = Values(gst.substr(at), ':');
    EXPECT_EQ(g.begin()->first.find(std::string("audio #2: ") + c.gst_codec), 0u) << gst;
    EXPECT_EQ(g["Sample rate"], std::to_string(c.source.rate)) << gst;
    EXPECT_EQ(g["Channels"].substr(0, 2), std::to_string(c.source.channels) + " ") << gst;
    // GStreamer's own demuxer and decoders deliver every sample.
    const std::string raw = dir.File("gst.raw");
    EXPECT_EQ(avi_test::RunCommand({"gst-launch-1.0", "-q", "filesrc", "location=" + path, "!",
                                    "avidemux", "name=d", "d.audio_0", "!", "decodebin", "!",
                                    "audioconvert", "!", "audio/x-raw,format=S16LE", "!",
                                    "filesink", "location=" + raw})
                  .exit_status,
              0);
    EXPECT_EQ(std::filesystem::file_size(raw),
              static_cast<uintmax_t>(written.audio_samples * 2 * c.source.channels));
  }
  if (avi_test::RunCommand({"mediainfo", "--Version"}).exit_status == 0) {
    const std::string info =
        avi_test::RunCommand(
            {"mediainfo", "--Inform=Audio;%Format%|%Channels%|%SamplingRate%|%Duration%", path})
            .out;
    EXPECT_EQ(info.substr(0, info.find('|')), c.mediainfo) << info;
    EXPECT_NE(info.find("|" + std::to_string(c.source.channels) + "|" +
                        std::to_string(c.source.rate) + "|"),
              std::string::npos)
        << info;
    EXPECT_NEAR(std::atof(info.substr(info.rfind('|') + 1).c_str()), 1000 * seconds, 1.0) << info;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, AviAudio, testing::ValuesIn(kAviAudio),
                         [](const testing::TestParamInfo<AviAudioCase>& info) {
                           return std::string(info.param.name);
                         });

// Through several RIFFs both streams keep all their chunks: each RIFF
// indexes the audio in an ix01 of its own, the super indexes count every
// RIFF with audio, and ffmpeg reads both streams whole.
TEST(AviAudioOpenDml, BothStreamsReadBackWhole) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  struct Case {
    const char* name;
    AviAudioFormat format;
    std::vector<AudioPacket> packets;
  };
  const AudioSource ac3{6, 48000, "-c:a ac3 -b:a 384k", "vob"};
  ASSERT_TRUE(avi_test::MakeAudioStream(dir.File("ac3.vob"), ac3, 2.0));
  avi_test::ConvertedAudio copied =
      avi_test::ConvertAudio(avi_test::ReadPesPackets(dir.File("ac3.vob")), AudioOutput::kCopy);
  ASSERT_TRUE(copied.converter);
  const Case cases[] = {
      {"pcm", PcmAviFormat(48000, 2, 3, 16, 16), PcmPackets(2, 96000, 1000)},
      {"ac3", copied.converter->Format(), copied.packets},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string(c.name) + ".avi");
    Written written;
    {
      AviFile file(AviFileLimits{24 * 1024, 64});
      ASSERT_EQ(CreateAviWithAudio(file, path, c.format), AVI_OK);
      ASSERT_EQ(WriteInterleaved(file, c.format, c.packets, &written), AVI_OK);
      ASSERT_EQ(file.Release(), AVI_OK);
    }
    EXPECT_EQ(avi_test::FfmpegAudio(path, c.format.info.dwSampleSize ? "s16le" : "ac3"),
              written.audio);
    EXPECT_EQ(avi_test::CountFrames(path), written.video_frames);

    avi_test::AviStructureReader reader(path);
    avi_test::AviStructure s = reader.Read();
    ASSERT_EQ(s.error, "");
    ASSERT_GT(s.riff_types.size(), 3u);
    ASSERT_EQ(s.streams.size(), 2u);
    EXPECT_EQ(s.dmlh_total_frames, static_cast<uint32_t>(written.video_frames));
    EXPECT_EQ(s.streams[0].odml_index.size(), static_cast<size_t>(written.video_frames));
    const avi_test::StreamStructure& audio = s.streams[1];
    EXPECT_EQ(audio.super_index.size(), s.riff_types.size());
    ASSERT_EQ(audio.odml_index.size(), static_cast<size_t>(written.audio_chunks));
    uint64_t units = 0;
    for (const avi_test::SuperIndexEntry& e : audio.super_index) units += e.duration;
    EXPECT_EQ(units, audio.length);
    for (const avi_test::IndexedChunk& chunk : audio.odml_index)
      EXPECT_TRUE(reader.ChunkMatches(chunk.data_offset, avi_test::Fourcc("01wb"), chunk.size));
    // idx1 covers the first RIFF, audio and video in file order.
    for (size_t i = 1; i < s.idx1.size(); ++i)
      EXPECT_GT(s.idx1[i].data_offset, s.idx1[i - 1].data_offset);
  }
}

// Killed at any moment, a file with audio keeps every chunk it had written,
// in the first RIFF (no index yet) and across OpenDML RIFFs.
TEST(AviAudioCrash, AKilledWriterLeavesItsAudioReadable) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const AviAudioFormat format = PcmAviFormat(48000, 2, 3, 16, 16);
  const std::vector<AudioPacket> packets = PcmPackets(2, 48000, 4800);
  // RIFFs of a few chunks each: readers take a first RIFF whose idx1 has
  // one chunk of each stream for a file that is not interleaved.
  for (auto [riff_bytes, riffs] : {std::pair<uint64_t, size_t>{1 << 30, 1}, {64 * 1024, 4}}) {
    SCOPED_TRACE(riff_bytes);
    const std::string path = dir.File("killed" + std::to_string(riff_bytes) + ".avi");
    Written expected;
    {
      AviFile dry_run(AviFileLimits{riff_bytes, 64});  // what the child writes, completed
      ASSERT_EQ(CreateAviWithAudio(dry_run, dir.File("dry.avi"), format), AVI_OK);
      ASSERT_EQ(WriteInterleaved(dry_run, format, packets, &expected), AVI_OK);
      ASSERT_EQ(dry_run.Release(), AVI_OK);
      EXPECT_EQ(avi_test::AviStructureReader(dir.File("dry.avi")).Read().riff_types.size(), riffs);
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      AviFile file(AviFileLimits{riff_bytes, 64});
      Written written;
      if (CreateAviWithAudio(file, path, format) != AVI_OK ||
          WriteInterleaved(file, format, packets, &written) != AVI_OK)
        _exit(1);
      raise(SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(avi_test::FfmpegAudio(path, "s16le"), expected.audio);
    EXPECT_EQ(avi_test::CountFrames(path), expected.video_frames);
  }
}

// Wherever the disk fills up, the file that remains has consistent counts
// for both streams, and ffmpeg reads all the audio they count.
TEST(AviAudioErrors, AFullDiskLeavesAConsistentFile) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const AviAudioFormat format = PcmAviFormat(48000, 2, 3, 16, 16);
  const std::vector<AudioPacket> packets = PcmPackets(2, 48000, 4800);
  // The header reserves 2 x 64 KiB for the super indexes; 230 KB of chunks follow.
  for (uint64_t room : {uint64_t{140 * 1024}, uint64_t{250 * 1024}, uint64_t{250 * 1024 + 3001}}) {
    SCOPED_TRACE(room);
    const std::string path = dir.File("full" + std::to_string(room) + ".avi");
    Written written;
    {
      AviFile file;
      avi_test::FileSizeLimit limit(room);
      ASSERT_EQ(CreateAviWithAudio(file, path, format), AVI_OK);
      EXPECT_EQ(WriteInterleaved(file, format, packets, &written), AVI_ERROR_WRITE);
      EXPECT_EQ(file.Release(), AVI_ERROR_WRITE);
    }
    avi_test::AviStructure s = avi_test::AviStructureReader(path).Read();
    ASSERT_EQ(s.error, "");
    ASSERT_EQ(s.streams.size(), 2u);
    uint64_t audio_bytes = 0;
    uint32_t video_chunks = 0;
    for (const avi_test::IndexedChunk& e : s.idx1) {
      if (e.fourcc == avi_test::Fourcc("01wb")) audio_bytes += e.size;
      if (e.fourcc == avi_test::Fourcc("00db")) ++video_chunks;
    }
    EXPECT_EQ(s.streams[1].length * uint64_t{4}, audio_bytes);
    EXPECT_EQ(s.streams[0].length, video_chunks);
    EXPECT_EQ(s.avih_total_frames, video_chunks);
    const std::vector<uint8_t> audio = avi_test::FfmpegAudio(path, "s16le");
    EXPECT_EQ(audio.size(), audio_bytes);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), written.audio.begin()));
    EXPECT_EQ(avi_test::CountFrames(path), video_chunks);
  }
}

TEST(AviAudioErrors, StreamSetupAndChunksOutOfOrderAreRefused) {
  TempDir dir;
  const AviAudioFormat pcm = PcmAviFormat(48000, 2, 3, 16, 16);
  auto with = [&](auto change) {
    AviAudioFormat f = pcm;
    change(f);
    return f;
  };
  const std::pair<const char*, AviAudioFormat> refused[] = {
      {"video stream", with([](AviAudioFormat& f) { f.info.fccType = MakeFourCC("vids"); })},
      {"no rate", with([](AviAudioFormat& f) { f.info.dwRate = 0; })},
      {"no scale", with([](AviAudioFormat& f) { f.info.dwScale = 0; })},
      {"sample size not a block", with([](AviAudioFormat& f) { f.info.dwSampleSize = 3; })},
      {"no channels", with([](AviAudioFormat& f) { f.format.nChannels = 0; })},
      {"no block", with([](AviAudioFormat& f) { f.format.nBlockAlign = 0; })},
      {"no sample rate", with([](AviAudioFormat& f) { f.format.nSamplesPerSec = 0; })},
      {"huge extra data", with([](AviAudioFormat& f) { f.extradata.resize(70000); })},
  };
  AviFile file;
  const std::vector<uint8_t> block(4), frame(kWidth * kHeight * 3);
  ASSERT_EQ(file.Create(dir.File("order.avi")), AVI_OK);
  EXPECT_EQ(file.AddAudioStream(pcm.info, pcm.format, pcm.extradata), AVI_ERROR_STATE);
  ASSERT_EQ(file.CreateStream(avi_test::VideoInfo(kWidth, kHeight, 25, 1, "")), AVI_OK);
  EXPECT_EQ(file.AddAudioStream(pcm.info, pcm.format, pcm.extradata), AVI_ERROR_STATE);
  ASSERT_EQ(file.SetFormat(avi_test::Format(kWidth, kHeight, BI_RGB), {}), AVI_OK);
  EXPECT_EQ(file.WriteAudio(block, nullptr), AVI_ERROR_STATE);
  for (const auto& [name, f] : refused)
    EXPECT_EQ(file.AddAudioStream(f.info, f.format, f.extradata), AVI_ERROR_ARGUMENT) << name;
  ASSERT_EQ(file.AddAudioStream(pcm.info, pcm.format, pcm.extradata), AVI_OK);
  EXPECT_EQ(file.AddAudioStream(pcm.info, pcm.format, pcm.extradata), AVI_ERROR_STATE);
  int64_t bytes = -1;
  EXPECT_EQ(file.WriteAudio(std::vector<uint8_t>(6), &bytes), AVI_ERROR_ARGUMENT);  // 1.5 blocks
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(file.WriteAudio({}, &bytes), AVI_OK);
  EXPECT_EQ(file.AudioLength(), 0);
  EXPECT_EQ(file.WriteAudio(block, &bytes), AVI_OK);
  EXPECT_EQ(bytes, 4);
  EXPECT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_OK);
  EXPECT_EQ(file.AudioLength(), 1);
  EXPECT_EQ(file.Release(), AVI_OK);
  // Once a chunk is written the header's layout is fixed.
  ASSERT_EQ(avi_test::CreateVideoFile(file, dir.File("late.avi"), kWidth, kHeight), AVI_OK);
  ASSERT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_OK);
  EXPECT_EQ(file.AddAudioStream(pcm.info, pcm.format, pcm.extradata), AVI_ERROR_STATE);
  EXPECT_FALSE(file.HasAudio());
  EXPECT_EQ(file.Release(), AVI_OK);
}

}  // namespace
