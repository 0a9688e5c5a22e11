// The audio header parser on headers composed field by field from the
// MPEG audio, AC-3, DTS and DVD LPCM layouts; probing; the split of PES
// payloads; DVD LPCM sample layouts and damaged LPCM packets.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "platform/audio_converter.h"
#include "platform/audio_headers.h"

namespace {

// Fields of (width in bits, value), most significant bit first.
std::vector<uint8_t> Pack(std::initializer_list<std::pair<int, uint32_t>> fields) {
  std::vector<uint8_t> out;
  int bits = 0;
  for (auto [width, value] : fields)
    for (int i = width - 1; i >= 0; --i, ++bits) {
      if (bits % 8 == 0) out.push_back(0);
      out.back() |= static_cast<uint8_t>((value >> i & 1) << (7 - bits % 8));
    }
  return out;
}

// version (3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5), layer code (3: I, 2: II, 1: III).
std::vector<uint8_t> Mpeg(uint32_t version, uint32_t layer, uint32_t bitrate, uint32_t rate,
                          uint32_t padding, uint32_t mode) {
  return Pack({{11, 0x7FF},
               {2, version},
               {2, layer},
               {1, 1},
               {4, bitrate},
               {2, rate},
               {1, padding},
               {1, 0},
               {2, mode},
               {2, 0},
               {2, 0},
               {2, 0}});
}
std::vector<uint8_t> Ac3(uint32_t fscod, uint32_t frmsizecod, uint32_t bsid, uint32_t acmod,
                         uint32_t lfe) {
  const uint32_t mix_bits =
      ((acmod & 1) && acmod != 1 ? 2 : 0) + (acmod & 4 ? 2 : 0) + (acmod == 2 ? 2 : 0);
  return Pack({{16, 0x0B77},
               {16, 0},
               {2, fscod},
               {6, frmsizecod},
               {5, bsid},
               {3, 0},
               {3, acmod},
               {static_cast<int>(mix_bits), 0},
               {1, lfe},
               {8, 0}});
}
std::vector<uint8_t> Dts(uint32_t nblks, uint32_t fsize, uint32_t amode, uint32_t sfreq,
                         uint32_t lff) {
  return Pack({{32, 0x7FFE8001},
               {1, 1},
               {5, 31},
               {1, 0},
               {7, nblks},
               {14, fsize},
               {6, amode},
               {4, sfreq},
               {5, 15},
               {9, 0},
               {1, 0},
               {2, lff},
               {8, 0}});
}

constexpr uint32_t kStereo = kSpeakerFrontLeft | kSpeakerFrontRight;
constexpr uint32_t k51Side =
    kStereo | kSpeakerFrontCenter | kSpeakerLowFrequency | kSpeakerSideLeft | kSpeakerSideRight;

struct HeaderCase {
  const char* name;
  int stream;
  std::vector<uint8_t> header;
  AudioCodec codec;  // kNone: the header must be refused
  int sample_rate = 0, channels = 0;
  uint32_t mask = 0;
  int samples_per_frame = 0, frame_bytes = 0, bit_rate = 0;
};

TEST(AudioHeaders, FieldsOfEachSyntax) {
  const HeaderCase cases[] = {
      {"mpeg1 layer II 192k 48k stereo", 0xC0, Mpeg(3, 2, 10, 1, 0, 0), AudioCodec::kMp2, 48000, 2,
       kStereo, 1152, 576, 192000},
      {"mpeg1 layer I 448k 44.1k padded mono", 0xC1, Mpeg(3, 3, 14, 0, 1, 3), AudioCodec::kMp1,
       44100, 1, kSpeakerFrontCenter, 384, 488, 448000},
      {"mpeg1 layer III 128k 44.1k padded", 0xDF, Mpeg(3, 1, 9, 0, 1, 1), AudioCodec::kMp3, 44100,
       2, kStereo, 1152, 418, 128000},
      {"mpeg2 layer III 32k 24k mono", 0xC0, Mpeg(2, 1, 4, 1, 0, 3), AudioCodec::kMp3, 24000, 1,
       kSpeakerFrontCenter, 576, 96, 32000},
      {"mpeg2.5 layer III 8k 8k dual", 0xC0, Mpeg(0, 1, 1, 2, 0, 2), AudioCodec::kMp3, 8000, 2,
       kStereo, 576, 72, 8000},
      {"mpeg free format", 0xC0, Mpeg(3, 2, 0, 1, 0, 0), AudioCodec::kNone},
      {"mpeg bitrate 15", 0xC0, Mpeg(3, 2, 15, 1, 0, 0), AudioCodec::kNone},
      {"mpeg rate 3", 0xC0, Mpeg(3, 2, 10, 3, 0, 0), AudioCodec::kNone},
      {"mpeg version 1", 0xC0, Mpeg(1, 2, 10, 1, 0, 0), AudioCodec::kNone},
      {"mpeg layer 0", 0xC0, Mpeg(3, 0, 10, 1, 0, 0), AudioCodec::kNone},
      {"ac3 3/2+lfe 448k 48k", 0x80, Ac3(0, 30, 8, 7, 1), AudioCodec::kAc3, 48000, 6, k51Side, 1536,
       1792, 448000},
      {"ac3 2/0 192k 44.1k odd", 0x81, Ac3(1, 21, 8, 2, 0), AudioCodec::kAc3, 44100, 2, kStereo,
       1536, 836, 192000},
      {"ac3 1/0+lfe 96k 32k", 0x87, Ac3(2, 12, 6, 1, 1), AudioCodec::kAc3, 32000, 2,
       kSpeakerFrontCenter | kSpeakerLowFrequency, 1536, 576, 96000},
      {"ac3 2/1 half rate", 0x80, Ac3(0, 8, 9, 4, 0), AudioCodec::kAc3, 24000, 3,
       kStereo | kSpeakerBackCenter, 1536, 256, 32000},
      {"ac3 1+1 dual mono", 0x80, Ac3(0, 8, 8, 0, 0), AudioCodec::kAc3, 48000, 2, kStereo, 1536,
       256, 64000},
      {"ac3 fscod 3", 0x80, Ac3(3, 8, 8, 2, 0), AudioCodec::kNone},
      {"ac3 frmsizecod 38", 0x80, Ac3(0, 38, 8, 2, 0), AudioCodec::kNone},
      {"e-ac3", 0x80, Ac3(0, 8, 16, 2, 0), AudioCodec::kNone},
      {"dts 3/2+lfe 48k", 0x88, Dts(15, 2012, 9, 13, 2), AudioCodec::kDts, 48000, 6, k51Side, 512,
       2013, 1509750},
      {"dts stereo 44.1k 1024", 0x8F, Dts(31, 4095, 2, 8, 0), AudioCodec::kDts, 44100, 2, kStereo,
       1024, 4096, 1411200},
      {"dts 2/1", 0x88, Dts(15, 1000, 6, 13, 0), AudioCodec::kDts, 48000, 3,
       kStereo | kSpeakerBackCenter, 512, 1001, 750750},
      {"dts 6.1 arrangement", 0x88, Dts(15, 1000, 10, 13, 0), AudioCodec::kNone},
      {"dts few blocks", 0x88, Dts(4, 1000, 2, 13, 0), AudioCodec::kNone},
      {"dts short frame", 0x88, Dts(15, 94, 2, 13, 0), AudioCodec::kNone},
      {"dts rate 0", 0x88, Dts(15, 1000, 2, 0, 0), AudioCodec::kNone},
      {"dts lff 3", 0x88, Dts(15, 1000, 2, 13, 3), AudioCodec::kNone},
      {"lpcm 16 bit 48k stereo", 0xA0, {0x0C, 0x01, 0x80}, AudioCodec::kLpcm, 48000, 2, kStereo},
      {"lpcm 24 bit 96k 6 ch",
       0xA7,
       {0x00, 0x95, 0x80},
       AudioCodec::kLpcm,
       96000,
       6,
       kStereo | kSpeakerFrontCenter | kSpeakerLowFrequency | kSpeakerBackLeft | kSpeakerBackRight},
      {"lpcm 28 bit", 0xA0, {0x00, 0xC1, 0x80}, AudioCodec::kNone},
      {"lpcm 44.1k", 0xA0, {0x00, 0x21, 0x80}, AudioCodec::kNone},
      {"a subpicture stream", 0x20, Mpeg(3, 2, 10, 1, 0, 0), AudioCodec::kNone},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    AudioProperties p;
    const bool parsed = ParseAudioHeader(c.stream, c.header, &p);
    ASSERT_EQ(parsed, c.codec != AudioCodec::kNone);
    if (!parsed) continue;
    // Cut short, no header is found.
    AudioProperties unused;
    EXPECT_FALSE(ParseAudioHeader(
        c.stream, std::span(c.header).first(static_cast<size_t>(AudioHeaderBytes(c.stream)) - 1),
        &unused));
    EXPECT_EQ(p.codec, c.codec);
    EXPECT_EQ(p.stream, c.stream);
    EXPECT_EQ(p.sample_rate, c.sample_rate);
    EXPECT_EQ(p.channels, c.channels);
    EXPECT_EQ(p.channel_mask, c.mask);
    EXPECT_TRUE(PlausibleAudioProperties(p));
    if (c.codec == AudioCodec::kLpcm) continue;
    EXPECT_EQ(p.samples_per_frame, c.samples_per_frame);
    EXPECT_EQ(p.frame_bytes, c.frame_bytes);
    EXPECT_EQ(p.bit_rate, c.bit_rate);
  }
}

// A frame body that repeats the stream's header bytes where the next header
// would be is no false confirmation: probing needs a header where the
// previous frame ends.
TEST(AudioHeaders, ProbeFindsTheFirstConfirmedFrame) {
  const std::vector<uint8_t> mp2 = Mpeg(3, 2, 10, 1, 0, 0);  // 576-byte frames
  const std::vector<uint8_t> mp3 = Mpeg(3, 1, 9, 1, 0, 1);   // a header of other timing
  auto frames = [&](std::vector<uint8_t> data, const std::vector<uint8_t>& header, int count) {
    for (int i = 0; i < count; ++i) {
      data.insert(data.end(), header.begin(), header.end());
      data.resize(data.size() + 576 - header.size(), 0x55);
    }
    return data;
  };
  std::vector<uint8_t> garbage(100, 0x00);
  garbage.insert(garbage.begin() + 10, mp3.begin(), mp3.end());  // a stray header
  garbage.insert(garbage.begin() + 40, mp2.begin(), mp2.end());  // not followed by another
  AudioProperties p;
  ASSERT_TRUE(ProbeAudio(0xC0, frames(garbage, mp2, 2), &p));
  EXPECT_EQ(p.codec, AudioCodec::kMp2);
  EXPECT_EQ(p.sample_rate, 48000);
  // Data ending inside the first frame: that frame's header counts.
  ASSERT_TRUE(ProbeAudio(0xC0, std::vector<uint8_t>(mp3.begin(), mp3.end()), &p));
  EXPECT_EQ(p.codec, AudioCodec::kMp3);
  EXPECT_FALSE(ProbeAudio(0xC0, std::vector<uint8_t>(2000, 0x55), &p));
  EXPECT_FALSE(ProbeAudio(0x80, frames({}, mp2, 3), &p));  // no AC-3 in there
  EXPECT_FALSE(ProbeAudio(0xA0, std::vector<uint8_t>{0x00, 0x01}, &p));
}

TEST(AudioHeaders, ElementaryBytesOfPesPayloads) {
  struct Case {
    int stream;
    std::vector<uint8_t> payload;
    size_t data_bytes;  // 0: refused
    int first_frame;
  };
  const Case cases[] = {
      {0xC3, {0xFF, 0xFD, 0xA4}, 3, 0},
      {0x80, {0x80, 0x02, 0x00, 0x01, 0x0B, 0x77}, 2, 0},  // AC-3 at once
      {0x88, {0x88, 0x01, 0x06, 0x34, 0x7F}, 1, 0x633},    // DTS further in
      {0xA1, {0xA1, 0x07, 0x00, 0x04, 0x0C, 0x01, 0x80, 0x00}, 4, 3},
      {0x80, {0x80, 0x00, 0x00, 0x00, 0x0B}, 1, -1},  // no frame begins here
      {0x80, {0x80, 0x01, 0x00}, 0, 0},               // too short for its header
      {0xA0, {0xA0, 0x01, 0x00, 0x04, 0x0C, 0x01}, 0, 0},
      {0x81, {0x80, 0x01, 0x00, 0x01, 0x0B}, 0, 0},  // another sub-stream
      {0x20, {0x20, 0x00, 0x00, 0x00}, 0, 0},        // subpicture
      {0x80, {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.stream);
    AudioPayload payload;
    ASSERT_EQ(SplitAudioPayload(c.stream, c.payload, &payload), c.data_bytes > 0);
    if (c.data_bytes == 0) continue;
    EXPECT_EQ(payload.data.size(), c.data_bytes);
    EXPECT_EQ(payload.data.data() + payload.data.size(), c.payload.data() + c.payload.size());
    EXPECT_EQ(payload.first_frame, c.first_frame);
  }
}

// Probing packets as the demultiplexer keeps them: the frames run on from
// packet to packet; packets of other sub-streams do not count (here they
// would put the confirming header out of place, and the probe would fall
// back to the last, unconfirmed one).
TEST(AudioHeaders, ProbeOverPacketPayloads) {
  const std::vector<uint8_t> first = Ac3(0, 8, 8, 2, 0);  // 64 kbit/s: 256-byte frames
  const std::vector<uint8_t> next = Ac3(0, 12, 8, 2, 0);  // 96 kbit/s
  std::vector<std::vector<uint8_t>> packets = {{0x80, 1, 0, 1}, {0x81, 1, 0, 1}, {0x80, 1, 0, 1}};
  packets[0].insert(packets[0].end(), first.begin(), first.end());
  packets[0].resize(4 + 200, 0x55);
  packets[1].resize(4 + 56, 0x55);
  packets[2].resize(4 + 56, 0x55);
  packets[2].insert(packets[2].end(), next.begin(), next.end());
  AudioProperties p;
  ASSERT_TRUE(ProbeAudioPackets(0x80, packets, &p));
  EXPECT_EQ(p.stream, 0x80);
  EXPECT_EQ(p.bit_rate, 64000);
  EXPECT_FALSE(ProbeAudioPackets(0x81, packets, &p));
}

// Silent frames of MPEG audio parse as the stream's own and decode to
// silence of their length; the other codecs have none.
TEST(AudioHeaders, SilentFramesOfMpegAudio) {
  for (const std::vector<uint8_t>& header :
       {Mpeg(3, 2, 10, 1, 0, 0), Mpeg(3, 3, 14, 0, 1, 3), Mpeg(3, 1, 9, 0, 1, 1),
        Mpeg(2, 1, 4, 1, 0, 3), Mpeg(0, 1, 1, 2, 0, 2)}) {
    AudioProperties p, q;
    ASSERT_TRUE(ParseAudioHeader(0xC0, header, &p));
    const std::vector<uint8_t> frame = SilentAudioFrame(p);
    ASSERT_TRUE(ParseAudioHeader(0xC0, frame, &q));
    EXPECT_EQ(frame.size(), static_cast<size_t>(q.frame_bytes));
    q.frame_bytes = p.frame_bytes;  // without padding
    EXPECT_EQ(q, p);
    auto decoder = CreateAudioConverter(p, AudioOutput::kPcm);
    std::vector<uint8_t> frames;
    for (int i = 0; i < 4; ++i) frames.insert(frames.end(), frame.begin(), frame.end());
    std::vector<AudioPacket> out;
    decoder->Push(frames, kNoAudioPts, &out);
    decoder->Flush(&out);
    EXPECT_EQ(decoder->SamplesOut(), 4 * p.samples_per_frame);
    for (const AudioPacket& packet : out)
      EXPECT_EQ(packet.data, std::vector<uint8_t>(packet.data.size(), 0));
  }
  AudioProperties ac3;
  ASSERT_TRUE(ParseAudioHeader(0x80, Ac3(0, 30, 8, 7, 1), &ac3));
  EXPECT_TRUE(SilentAudioFrame(ac3).empty());
}

TEST(AudioHeaders, DescriptionsForAStreamList) {
  AudioProperties p;
  ASSERT_TRUE(ParseAudioHeader(0x80, Ac3(0, 30, 8, 7, 1), &p));
  EXPECT_EQ(DescribeAudio(p), "ac3 48000 Hz 6 ch (0x80)");
  ASSERT_TRUE(ParseAudioHeader(0xA2, std::vector<uint8_t>{0, 0x91, 0x80}, &p));
  EXPECT_EQ(DescribeAudio(p), "lpcm 96000 Hz 2 ch 24 bit (0xa2)");
  ASSERT_TRUE(ParseAudioHeader(0xC1, Mpeg(2, 1, 4, 1, 0, 3), &p));
  EXPECT_EQ(DescribeAudio(p), "mp3 24000 Hz 1 ch (0xc1)");
}

// One LPCM packet of private stream 1 with header byte 1 `format`, whose
// first audio frame begins `pointer` - 4 bytes into the samples.
std::vector<uint8_t> LpcmPacket(uint8_t stream, uint8_t format, std::vector<uint8_t> samples,
                                uint8_t pointer = 4) {
  std::vector<uint8_t> packet = {stream, 1, 0, pointer, 0x00, format, 0x80};
  packet.insert(packet.end(), samples.begin(), samples.end());
  return packet;
}

// 20- and 24-bit samples in their groups, cut between packets anywhere:
// copied to 24-bit little-endian PCM and decoded to their top 16 bits.
TEST(AudioHeaders, LpcmSampleLayouts) {
  struct Case {
    const char* name;
    uint8_t format;  // LPCM header byte 1
    std::vector<uint8_t> block;
    std::vector<uint32_t> samples;  // left-justified, in output order
  };
  const Case cases[] = {
      {"20 bit stereo",
       0x41,
       {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0xA5, 0x3C},
       {0x1234A000, 0x56785000, 0x9ABC3000, 0xDEF0C000}},
      {"24 bit stereo",
       0x81,
       {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 1, 2, 3, 4},
       {0x12340100, 0x56780200, 0x9ABC0300, 0xDEF00400}},
      {"24 bit mono", 0x80, {0x80, 0x00, 0x7F, 0xFF, 0x11, 0x22}, {0x80001100, 0x7FFF2200}},
      {"20 bit mono", 0x40, {0x80, 0x01, 0x7F, 0xFE, 0x9F}, {0x80019000, 0x7FFEF000}},
      {"16 bit 3 ch",
       0x02,
       {0x00, 0x01, 0xFF, 0xFF, 0x80, 0x00},
       {0x00010000, 0xFFFF0000, 0x80000000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AudioProperties p;
    ASSERT_TRUE(ParseAudioHeader(0xA0, std::vector<uint8_t>{0x00, c.format, 0x80}, &p));
    std::vector<uint8_t> all;  // three blocks, cut into packets of 1, 2, 3, ... bytes
    for (int i = 0; i < 3; ++i) all.insert(all.end(), c.block.begin(), c.block.end());
    for (AudioOutput output : {AudioOutput::kCopy, AudioOutput::kPcm}) {
      auto converter = CreateAudioConverter(p, output);
      ASSERT_TRUE(converter);
      std::vector<AudioPacket> out;
      for (size_t pos = 0, n = 1; pos < all.size(); pos += n, ++n) {
        const size_t end = std::min(all.size(), pos + n);
        converter->Push(LpcmPacket(0xA0, c.format, {all.begin() + pos, all.begin() + end}), -1,
                        &out);
      }
      converter->Flush(&out);
      const bool copy = output == AudioOutput::kCopy;
      const int bytes = copy && p.bits_per_sample > 16 ? 3 : 2;
      std::vector<uint8_t> expected;
      for (int i = 0; i < 3; ++i)
        for (uint32_t v : c.samples)
          for (int b = 0; b < bytes; ++b)
            expected.push_back(static_cast<uint8_t>(v >> (32 - 8 * bytes + 8 * b)));
      int64_t samples = 0;
      std::vector<uint8_t> pcm;
      for (const AudioPacket& packet : out) {
        pcm.insert(pcm.end(), packet.data.begin(), packet.data.end());
        samples += packet.samples;
      }
      EXPECT_EQ(pcm, expected) << (copy ? "copy" : "pcm");
      EXPECT_EQ(samples, static_cast<int64_t>(3 * c.samples.size() / p.channels));
      EXPECT_EQ(converter->Format().format.wBitsPerSample, 8 * bytes);
    }
  }
}

// A packet whose header is damaged or changes the format becomes silence
// of its length; the packets around it come through unchanged.
TEST(AudioHeaders, DamagedLpcmPacketsBecomeSilence) {
  AudioProperties p;
  ASSERT_TRUE(ParseAudioHeader(0xA0, std::vector<uint8_t>{0x00, 0x01, 0x80}, &p));  // 16 bit stereo
  for (uint8_t bad : {uint8_t{0xC1}, uint8_t{0x03}, uint8_t{0x21}}) {  // 28 bit, 4 ch, 44.1k
    auto converter = CreateAudioConverter(p, AudioOutput::kPcm);
    std::vector<std::string> lines;
    converter->SetDiagnosticSink([&](const std::string& line) { lines.push_back(line); });
    std::vector<AudioPacket> out;
    const std::vector<uint8_t> samples(400, 0x11);
    converter->Push(LpcmPacket(0xA0, 0x01, samples, 4 + 4), 9000, &out);
    converter->Push(LpcmPacket(0xA0, bad, samples), 9000 + 188, &out);
    converter->Push(LpcmPacket(0xA0, 0x01, samples), 9000 + 375, &out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(converter->SamplesOut(), 300);
    EXPECT_EQ(out[1].data, std::vector<uint8_t>(400, 0));
    EXPECT_EQ(out[2].data, samples);
    EXPECT_EQ(out[0].pts, 9000 - 90000 / 48000);  // the pointer is one sample in
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("audio 0xa0: "), std::string::npos) << lines[0];
  }
}

// Random bytes in packets of random sizes, for every kind of stream and
// both outputs: no crash, no output that is not whole samples.
TEST(AudioHeaders, ConvertersSurviveGarbage) {
  std::mt19937 rng(11);
  const std::pair<int, std::vector<uint8_t>> headers[] = {{0xC0, Mpeg(3, 2, 10, 1, 0, 0)},
                                                          {0x80, Ac3(0, 30, 8, 7, 1)},
                                                          {0x88, Dts(15, 2012, 9, 13, 2)},
                                                          {0xA0, {0x00, 0x81, 0x80}}};
  for (const auto& [stream, header] : headers) {
    AudioProperties p;
    ASSERT_TRUE(ParseAudioHeader(stream, header, &p));
    for (AudioOutput output : {AudioOutput::kPcm, AudioOutput::kCopy}) {
      auto converter = CreateAudioConverter(p, output);
      ASSERT_TRUE(converter) << stream;
      converter->SetDiagnosticSink([](const std::string&) {});
      std::vector<AudioPacket> out;
      for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> payload(rng() % 3000);
        for (auto& b : payload)
          b = static_cast<uint8_t>(rng() % 4 ? rng() : header[rng() % header.size()]);
        if (stream < 0xC0 && !payload.empty()) payload[0] = static_cast<uint8_t>(stream);
        converter->Push(payload, rng() % 2 ? -1 : rng(), &out);
      }
      converter->Flush(&out);
      const uint16_t block = converter->Format().format.nBlockAlign;
      const bool blocks = converter->Format().info.dwSampleSize != 0;
      for (const AudioPacket& packet : out) {
        ASSERT_GT(packet.samples, 0);
        if (blocks) {
          ASSERT_EQ(packet.data.size(), static_cast<size_t>(packet.samples) * block);
        }
      }
    }
  }
}

TEST(AudioHeaders, ImplausiblePropertiesGetNoConverter) {
  AudioProperties p;
  ASSERT_TRUE(ParseAudioHeader(0x80, Ac3(0, 30, 8, 7, 1), &p));
  auto changed = [&](auto change) {
    AudioProperties q = p;
    change(q);
    return CreateAudioConverter(q, AudioOutput::kPcm) == nullptr;
  };
  EXPECT_FALSE(changed([](AudioProperties&) {}));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.stream = 0xC0; }));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.channels = 9; }));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.channel_mask = 3; }));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.sample_rate = 0; }));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.samples_per_frame = 0; }));
  EXPECT_TRUE(changed([](AudioProperties& q) { q.codec = AudioCodec::kLpcm; }));
}

}  // namespace
