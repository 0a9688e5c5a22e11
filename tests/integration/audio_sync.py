"""The program's audio in the AVI against ffmpeg's decoding of the same
audio stream, on program streams ffmpeg makes here from noise.

- Round trips: LPCM decoded or copied is sample for sample ffmpeg's; MPEG
  audio, AC-3 and DTS decoded are within rounding of it, and copied they
  decode to it.
- Sync: where the AVI's audio lies against its video, measured by cross-
  correlation with ffmpeg's decoding aligned to the first video frame's time
  stamp, for audio that starts late, audio that starts early, audio with a
  gap, and two files whose clocks both start again; within one frame period.
- Split series: the pieces joined are the single file's audio, and each
  piece's audio lasts as long as its video, within one frame period.
- ffprobe, GStreamer (gst-discoverer-1.0) and mpv (when installed) open
  every file without warnings.

    audio_sync.py CONVERT WORKDIR

Prints one line per measurement; exits 1 on the first failure.
"""
import os
import shutil
import subprocess
import sys

import numpy as np

CONVERT, WORK = sys.argv[1], sys.argv[2]
RATE = 48000
FPS = 25
FRAME = RATE // FPS  # samples per frame period
SECONDS = 4

os.makedirs(WORK, exist_ok=True)
failures = []


def check(ok, text):
    print(("ok   " if ok else "FAIL ") + text, flush=True)
    if not ok:
        failures.append(text)


def run(args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)


def ffmpeg(*args):
    r = run(["ffmpeg", "-v", "error", "-nostdin", "-y", *args])
    if r.returncode != 0:
        sys.exit("ffmpeg failed: " + r.stderr.decode())


def path(name):
    return os.path.join(WORK, name)


def make(name, codec, video_at=0.0, audio_at=0.0, gap=None, channels=2, seed=1,
         seconds=SECONDS, video="-c:v mpeg2video -q:v 6", muxer="vob"):
    """A program stream of `seconds` of video and noise (each starting late by
    its offset), `gap` (start, end) seconds of audio left out."""
    source = path(name)
    noise = f"anoisesrc=sample_rate={RATE}:amplitude=0.3:seed={seed}:duration={seconds}"
    pictures = f"testsrc2=size=176x144:rate={FPS}:duration={seconds}"
    filters = [] if gap is None else ["-af", f"aselect='not(between(t,{gap[0]},{gap[1]}))'"]
    ffmpeg("-itsoffset", str(video_at), "-f", "lavfi", "-i", pictures,
           "-itsoffset", str(audio_at), "-f", "lavfi", "-i", noise,
           "-map", "0:v", "-map", "1:a", *filters, "-ac", str(channels),
           *video.split(), *codec.split(), "-f", muxer, source)
    return source


def first_time(source, stream="v:0"):
    r = run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
             "stream=start_time", "-of", "csv=p=0", source])
    return float(r.stdout.decode().split(",")[0])


def samples(args, channels, sample_format="s16le"):
    """ffmpeg's decoding of the first audio stream: channel 0 as integers."""
    r = run(["ffmpeg", "-v", "error", "-nostdin", *args, "-map", "0:a:0",
             "-f", sample_format, "-"])
    if sample_format == "s24le":
        raw = np.frombuffer(r.stdout, dtype=np.uint8).reshape(-1, 3).astype(np.int32)
        values = (raw[:, 0] << 8 | raw[:, 1] << 16 | raw[:, 2] << 24) >> 8
    else:
        values = np.frombuffer(r.stdout, dtype=np.int16).astype(np.int32)
    return values[: len(values) // channels * channels].reshape(-1, channels)[:, 0]


def reference(source, channels, sample_format="s16le"):
    """The source's audio with sample n at stream time n / RATE: gaps filled."""
    return samples(["-copyts", "-i", source, "-af", "aresample=async=1:first_pts=0"],
                   channels, sample_format)


def avi_audio(avi, channels, sample_format="s16le"):
    return samples(["-i", avi], channels, sample_format)


def convert(sources, avi, *options):
    r = run([CONVERT, "-q", "--audio", "first", *options, "-o", avi, *sources])
    if r.returncode != 0:
        sys.exit(f"vidorlan-convert {' '.join(options)} failed: {r.stderr.decode()}")
    return avi


def shift(avi, ref, at, expected, window=RATE // 4, search=RATE // 10):
    """The lag of avi[at : at + window] against ref[at + expected ...] that
    correlates best (0: exactly where expected), and the correlation."""
    w = avi[at:at + window].astype(np.float64)
    start = at + expected - search
    seg = ref[max(start, 0):start + 2 * search + window].astype(np.float64)
    if start < 0:
        seg = np.concatenate([np.zeros(-start), seg])
    if len(w) < window or len(seg) < 2 * search + window:
        return None, 0.0
    n = 1 << int(np.ceil(np.log2(len(seg) + window)))
    corr = np.fft.irfft(np.fft.rfft(seg, n) * np.conj(np.fft.rfft(w, n)), n)[:2 * search + 1]
    best = int(np.argmax(corr))
    energy = np.sqrt(np.dot(w, w) * np.dot(seg[best:best + window], seg[best:best + window]))
    return best - search, corr[best] / energy if energy else 0.0


def measure(case, avi, ref, parts, step=RATE // 2):
    """parts: (first AVI sample, end AVI sample, AVI sample minus stream
    sample); windows inside each part measured, every `step` samples."""
    for first, end, offset in parts:
        for at in range(first + RATE // 10, end - RATE // 2, step):
            lag, peak = shift(avi, ref, at, -offset)
            ok = lag is not None and abs(lag) < FRAME and peak > 0.9
            ms = "none" if lag is None else f"{lag * 1000 / RATE:+.2f} ms"
            check(ok, f"{case}: at {at / RATE:.2f} s offset {ms} (peak {peak:.3f})")


def video_frames(avi):
    r = run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
             "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", avi])
    text = r.stdout.decode().strip()
    return int(text) if text.isdigit() else 0


def readers_accept(avi):
    r = run(["ffprobe", "-v", "warning", "-show_streams", avi])
    check(r.returncode == 0 and not r.stderr, f"ffprobe reads {os.path.basename(avi)} "
          + r.stderr.decode().strip())
    r = run(["gst-discoverer-1.0", avi])
    text = r.stdout.decode()
    check(r.returncode == 0 and "audio #" in text and "warning" not in text.lower()
          and "missing" not in text.lower(),
          f"gst-discoverer-1.0 reads {os.path.basename(avi)}")
    if shutil.which("mpv"):
        # Played as fast as it decodes; the player's own A/V drift warning
        # means nothing then and is left out.
        r = run(["mpv", "--no-config", "--vo=null", "--ao=null", "--ao-null-untimed", "--untimed",
                 "--msg-level=all=warn,cplayer=error", avi])
        text = (r.stdout + r.stderr).decode().strip()
        check(r.returncode == 0 and not text, f"mpv plays {os.path.basename(avi)} {text}")


# --- Round trips -------------------------------------------------------------
ROUND_TRIPS = [  # name, ffmpeg codec, channels, tolerance decoded, sample format of copy
    ("lpcm16", "-c:a pcm_dvd", 2, 0, "s16le"),
    ("lpcm24", "-c:a pcm_dvd -sample_fmt s32", 2, 0, "s24le"),
    ("mp2", "-c:a mp2 -b:a 192k", 2, 1, "s16le"),
    ("mp3", "-c:a libmp3lame -b:a 128k", 2, 1, "s16le"),
    ("ac3", "-c:a ac3 -b:a 448k", 6, 1, "s16le"),
    ("dts", "-c:a dca -strict -2", 2, 1, "s16le"),
]
for name, codec, channels, tolerance, copy_format in ROUND_TRIPS:
    source = make(f"{name}.vob", codec, channels=channels)
    start = round(first_time(source) * RATE)
    for mode in ("pcm", "copy"):
        sample_format = copy_format if mode == "copy" else "s16le"
        avi = convert([source], path(f"{name}_{mode}.avi"), "--audio-format", mode)
        ref = reference(source, channels, sample_format)
        got = avi_audio(avi, channels, sample_format)
        # Copied frames start with a whole frame: its decoding differs from
        # the reference's only where a decoder's state from earlier frames
        # mattered, in the first two frames.
        skip = 2 * 1536 if mode == "copy" and not name.startswith("lpcm") else 0
        lag, _ = shift(got, ref, RATE, start) if mode == "copy" else (0, 0)
        lag = lag or 0
        a = got[skip:]
        b = ref[start + lag + skip:start + lag + skip + len(a)]
        n = min(len(a), len(b))
        largest = int(np.max(np.abs(a[:n] - b[:n]))) if n else -1
        check(n > RATE * (SECONDS - 0.5) and 0 <= largest <= tolerance and abs(lag) < FRAME,
              f"{name} {mode}: {n} samples, largest difference {largest}, "
              f"frame placed {lag * 1000 / RATE:+.2f} ms")
        readers_accept(avi)

# --- Sync --------------------------------------------------------------------
SYNC_CASES = [  # name, codec, make() offsets and gap
    ("late", "-c:a mp2 -b:a 192k", {"audio_at": 0.3}),
    ("early", "-c:a ac3 -b:a 192k", {"video_at": 0.3}),
    ("gap", "-c:a mp2 -b:a 192k", {"gap": (1.2, 1.7)}),
    ("gap_ac3", "-c:a ac3 -b:a 192k", {"gap": (1.2, 1.7)}),
]
for name, codec, offsets in SYNC_CASES:
    source = make(f"{name}.vob", codec, **offsets)
    start = round(first_time(source) * RATE)
    ref = reference(source, 2)
    for mode in ("pcm", "copy"):
        avi = convert([source], path(f"{name}_{mode}.avi"), "--audio-format", mode)
        got = avi_audio(avi, 2)
        end = video_frames(avi) * FRAME
        check(abs(len(got) - end) < FRAME,
              f"{name} {mode}: {len(got)} audio samples for {end // FRAME} frames")
        measure(f"{name} {mode}", got, ref, [(0, end, -start)])
        if name == "late":
            lead = int(np.max(np.abs(got[:round(0.25 * RATE)])))
            check(lead == 0, f"late {mode}: silence before the audio starts ({lead})")
        if name.startswith("gap"):
            middle = round((first_time(source, "a:0") + 1.45) * RATE) - start
            inside = got[middle - RATE // 10:middle + RATE // 10]
            check(int(np.max(np.abs(inside))) == 0, f"{name} {mode}: silence in the gap")
        readers_accept(avi)

# An MPEG-1 system stream of low bit rate: the demultiplexer meets all its
# audio, a minute and a half, before the first picture.
source = make("low_rate.mpg", "-c:a mp2 -b:a 64k", gap=(44, 45), channels=1, seconds=90,
              video="-c:v mpeg1video -b:v 150k", muxer="mpeg")
avi = convert([source], path("low_rate.avi"))
measure("low bit rate", avi_audio(avi, 1), reference(source, 1),
        [(0, video_frames(avi) * FRAME, -round(first_time(source) * RATE))], step=10 * RATE)

# Two files whose clocks both start again: each part placed by its own video.
first = make("chain1.vob", "-c:a mp2 -b:a 192k", audio_at=0.1, seed=3)
second = make("chain2.vob", "-c:a mp2 -b:a 192k", video_at=0.1, seed=4)
for mode in ("pcm", "copy"):
    avi = convert([first, second], path(f"chain_{mode}.avi"), "--audio-format", mode)
    got = avi_audio(avi, 2)
    frames_first = video_frames(convert([first], path("chain_first.avi")))
    middle = frames_first * FRAME
    measure(f"chain {mode} first file", got, reference(first, 2),
            [(0, middle, -round(first_time(first) * RATE))])
    measure(f"chain {mode} second file", got, reference(second, 2),
            [(middle, video_frames(avi) * FRAME,
              middle - round(first_time(second) * RATE))])
    readers_accept(avi)

# --- Split series --------------------------------------------------------------
def copied(avi):
    """The audio stream's bytes as the file stores them."""
    r = run(["ffmpeg", "-v", "error", "-nostdin", "-i", avi, "-map", "0:a:0", "-c", "copy",
             "-f", "mp2", "-"])
    return r.stdout


source = path("late.vob")
for mode in ("pcm", "copy"):
    whole = path(f"late_{mode}.avi")
    convert([source], path(f"split_{mode}.avi"), "--audio-format", mode, "--split-frames", "30")
    pieces = []
    while os.path.exists(path(f"split_{mode}{len(pieces)}.avi")):
        pieces.append(path(f"split_{mode}{len(pieces)}.avi"))
    for number, piece in enumerate(pieces):
        frames = video_frames(piece)
        audio = avi_audio(piece, 2) if frames else []
        check(abs(len(audio) - frames * FRAME) < FRAME,
              f"split {mode} piece {number}: {len(audio)} audio samples for {frames} frames")
        if frames:
            readers_accept(piece)
    # Decoders keep state from frame to frame, so copied frames are compared
    # as they are stored.
    if mode == "pcm":
        joined = np.concatenate([avi_audio(p, 2) for p in pieces if video_frames(p)])
        same = np.array_equal(joined, avi_audio(whole, 2))
    else:
        same = b"".join(copied(p) for p in pieces if video_frames(p)) == copied(whole)
    check(same, f"split {mode}: {len(pieces)} pieces joined are the single file's audio")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
