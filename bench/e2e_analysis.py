"""The arithmetic of the end-to-end measurements, kept apart from the processes so that it can be
checked on its own (bench/e2e_selfcheck.py): percentiles, WAV parsing, onset finding, and the
timelines that turn a frame index into a time on the monotonic clock."""

import array
import math
import struct
import sys


def percentile(values, fraction):
    """The value below which `fraction` of `values` lie, interpolating linearly between the two
    nearest ranks (so the median of an even count is the mean of the middle two). None when empty."""
    if not values:
        return None
    ordered = sorted(values)
    position = fraction * (len(ordered) - 1)
    lower = math.floor(position)
    upper = min(lower + 1, len(ordered) - 1)
    return ordered[lower] + (ordered[upper] - ordered[lower]) * (position - lower)


def summary(values):
    """median, p90 and max of `values`, or Nones when there are none."""
    if not values:
        return {"n": 0, "median": None, "p90": None, "max": None}
    return {"n": len(values), "median": percentile(values, 0.5), "p90": percentile(values, 0.9),
            "max": max(values)}


class WavLayout:
    """Where the samples of a RIFF/WAVE file start and how they are stored. The program's real-time
    output keeps growing while it is read, so the frame count comes from the file's size, not from
    the data chunk's size field (which may lag one period behind)."""

    def __init__(self, header):
        if len(header) < 12 or header[0:4] != b"RIFF" or header[8:12] != b"WAVE":
            raise ValueError("not a RIFF/WAVE file")
        position = 12
        self.format = None
        self.data_offset = None
        while position + 8 <= len(header):
            chunk, size = header[position:position + 4], struct.unpack_from("<I", header,
                                                                               position + 4)[0]
            if chunk == b"fmt ":
                tag, self.channels, self.rate, _, _, self.bits = struct.unpack_from(
                    "<HHIIHH", header, position + 8)
                if tag == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE: the real tag opens the sub-format GUID
                    tag = struct.unpack_from("<H", header, position + 32)[0]
                self.format = tag
            elif chunk == b"data":
                self.data_offset = position + 8
                break
            position += 8 + size + (size & 1)
        if self.format is None or self.data_offset is None:
            raise ValueError("no fmt or data chunk in the first %d bytes" % len(header))
        if (self.format, self.bits) not in ((3, 32), (1, 16)):
            raise ValueError("only 32-bit float and 16-bit PCM are read (format %d, %d bits)"
                             % (self.format, self.bits))
        self.frame_bytes = self.channels * self.bits // 8

    def frames_in(self, file_size):
        return max(0, (file_size - self.data_offset) // self.frame_bytes)


def read_wav(path):
    """(rate, samples of the first channel as floats in -1...1) of a WAV file that may still be
    growing; a partial last frame is ignored."""
    with open(path, "rb") as f:
        data = f.read()
    layout = WavLayout(data[:4096])
    body = data[layout.data_offset:]
    body = body[:len(body) - len(body) % layout.frame_bytes]
    if layout.format == 3:
        samples = array.array("f")
        samples.frombytes(body)
        scale = 1.0
    else:
        samples = array.array("h")
        samples.frombytes(body)
        scale = 1.0 / 32768.0
    if sys.byteorder != "little":
        samples.byteswap()
    channel = samples[::layout.channels] if layout.channels > 1 else samples
    return layout.rate, [value * scale for value in channel] if scale != 1.0 else channel


def write_wav(path, rate, raw):
    """Writes mono little-endian float32 bytes as a WAV file (the capture, kept for a look)."""
    raw = raw[:len(raw) - len(raw) % 4]
    header = (b"RIFF" + struct.pack("<I", 36 + len(raw)) + b"WAVE" + b"fmt "
              + struct.pack("<IHHIIHH", 16, 3, 1, rate, rate * 4, 4, 32)
              + b"data" + struct.pack("<I", len(raw)))
    with open(path, "wb") as f:
        f.write(header + raw)


def float_samples(raw):
    """Mono little-endian float32 bytes (the capture stream) as an array of floats."""
    samples = array.array("f")
    samples.frombytes(raw[:len(raw) - len(raw) % 4])
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


# An onset is a 5 ms window whose peak rises above THRESHOLD after at least QUIET_WINDOWS quiet
# ones (the rule the end-to-end tests count sounds with). Its frame is then refined backwards to the
# first sample above FLOOR that is not separated from the loud part by 1 ms of near silence, so that
# a soft attack counts from where it becomes audible rather than from where it crosses 0.01.
THRESHOLD = 0.01
FLOOR = 1e-4
QUIET_WINDOWS = 8


def onsets(samples, rate):
    """Frame indices where sounds start in `samples` (floats)."""
    window = rate // 200
    gap = rate // 1000
    found = []
    quiet = QUIET_WINDOWS
    for start in range(0, len(samples) - window + 1, window):
        block = samples[start:start + window]
        peak = max(max(block), -min(block))
        if peak <= THRESHOLD:
            quiet += 1
            continue
        if quiet >= QUIET_WINDOWS:
            crossing = start + next(i for i, v in enumerate(block) if abs(v) > THRESHOLD)
            first = crossing
            silent = 0
            index = crossing - 1
            while index >= max(0, start - window) and silent < gap:
                if abs(samples[index]) > FLOOR:
                    first = index
                    silent = 0
                else:
                    silent += 1
                index -= 1
            found.append(first)
        quiet = 0
    return found


class Timeline:
    """Maps a frame index of a stream that runs in real time to the monotonic clock, from
    observations (time seen, frames available then). A frame is never seen before it exists, so
    each observation gives an upper bound of the stream's start (time - frames / rate); the least of
    them is the one seen with the least delay. Only observations made once the frame existed, and
    within `span` seconds after, count: a stream that fell behind and skipped ahead (a renderer
    under load, a capture that dropped data) only ever starts later from then on, so observations
    from before the skip must not speak for frames after it.

    `lead` (seconds) is added to every time: a renderer that writes period k at the start of its
    time slot has frames (k+1)P available then, so the time of frame f is start + f / rate + P /
    rate; a capture stream's frames are delivered after they played, so its lead is 0."""

    def __init__(self, rate, lead=0.0, span=2.0):
        self.rate = rate
        self.lead = lead
        self.span = span
        self.observations = []  # (time, frames), in order of time

    def observe(self, time, frames):
        # With no frame yet there is nothing to bound: a file created before its first period
        # would otherwise pull the start too early.
        if frames <= 0:
            return
        if not self.observations or frames != self.observations[-1][1]:
            self.observations.append((time, frames))

    def start_near(self, frame):
        """The stream's start as seen from observations up to `span` after `frame`; None if none."""
        reach = self.span * self.rate
        starts = [t - n / self.rate for t, n in self.observations if frame < n <= frame + reach]
        if not starts:
            return None
        return min(starts)

    def time_of(self, frame):
        start = self.start_near(frame)
        return None if start is None else start + frame / self.rate + self.lead

    def jitter(self):
        """How late observations came after the least-delayed one, median and p90 in seconds: how
        much the lower envelope gains over taking any single observation."""
        if not self.observations:
            return None, None
        base = min(t - n / self.rate for t, n in self.observations)
        lateness = [t - n / self.rate - base for t, n in self.observations]
        return percentile(lateness, 0.5), percentile(lateness, 0.9)


def fault_cost(runs):
    """Seconds of CPU one page fault costs on this machine, from runs of programs that do little
    besides being loaded: (CPU seconds, minor faults) pairs of at least two different programs. The
    slope of the least-squares line through them; None when the fault counts do not differ. Loading
    a program is mostly faulting its libraries in, so this says how much of a start-up figure is
    the machine rather than the program."""
    if len(runs) < 2:
        return None
    mean_cpu = sum(c for c, _ in runs) / len(runs)
    mean_faults = sum(f for _, f in runs) / len(runs)
    spread = sum((f - mean_faults) ** 2 for _, f in runs)
    if spread == 0:
        return None
    return sum((f - mean_faults) * (c - mean_cpu) for c, f in runs) / spread


def nearest_onset(time, onset_times):
    """The onset closest to `time`, as an offset from it in seconds (None if there is none)."""
    times = [t for t in onset_times if t is not None]
    return min((t - time for t in times), key=abs) if times else None


def match_latencies(injections, onset_times, tolerance=0.002):
    """For each (press, release) injection time pair, the time from the press to the first onset at
    or after it (less `tolerance` for the clock's calibration error) and before the release's own
    sound could start. Returns (latencies in seconds, count of presses with no sound)."""
    latencies = []
    missed = 0
    ordered = sorted(t for t in onset_times if t is not None)
    for press, release in injections:
        candidates = [t for t in ordered if press - tolerance <= t < release]
        if candidates:
            # Kept signed: a slightly negative figure shows the calibration's error, not a fault.
            latencies.append(candidates[0] - press)
        else:
            missed += 1
    return latencies, missed
