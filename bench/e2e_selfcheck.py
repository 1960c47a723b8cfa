#!/usr/bin/env python3
"""Checks the arithmetic bench/e2e relies on, on made-up signals and clocks: a wrong percentile,
a missed or doubled onset, or a timeline placed off by a period would skew every figure it prints
without any sign of it."""

import array
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_analysis as analysis  # noqa: E402

RATE = 48000


def click(length, level=0.5):
    """A decaying tone that starts with a soft edge: its first audible sample comes before it
    crosses the onset threshold."""
    return [level * (i / 96 if i < 96 else 1.0) * (1 - i / length) * (1 if i % 8 < 4 else -1)
            for i in range(length)]


class Percentiles(unittest.TestCase):
    def test_interpolates_between_ranks(self):
        cases = [([], 0.5, None), ([7], 0.9, 7), ([1, 2, 3, 4], 0.5, 2.5),
                 ([4, 1, 3, 2], 0.0, 1), (list(range(11)), 0.9, 9), ([1, 2], 1.0, 2)]
        for values, fraction, expected in cases:
            self.assertEqual(analysis.percentile(values, fraction), expected, (values, fraction))

    def test_summary_of_nothing_says_so(self):
        self.assertEqual(analysis.summary([])["n"], 0)
        self.assertEqual(analysis.summary([3, 1, 2])["max"], 3)


class Onsets(unittest.TestCase):
    def test_each_sound_once_from_its_first_audible_sample(self):
        samples = [0.0] * RATE
        starts = [4800, 9000, 20000]  # the second follows the first's end by 80 ms of silence
        for start in starts:
            samples[start:start + 240] = click(240)
        # Within 40 ms of the last sound: the same sound still ringing, not a new one.
        samples[20000 + 240 + 480:20000 + 240 + 480 + 240] = click(240)
        found = analysis.onsets(samples, RATE)
        self.assertEqual(found, [s + 1 for s in starts])  # sample 0 of click() is silent

    def test_quiet_noise_is_no_onset(self):
        samples = [0.009 * (1 if i % 2 else -1) for i in range(RATE // 10)]
        self.assertEqual(analysis.onsets(samples, RATE), [])


class Wav(unittest.TestCase):
    def test_float_file_still_growing(self):
        # A float WAV with a chunk before "data" and a partial last frame, as a file read while
        # it is written looks.
        samples = array.array("f", [0.0, 0.25, -0.5])
        body = samples.tobytes() + b"\x00\x00"
        fmt = struct.pack("<HHIIHH", 3, 1, RATE, RATE * 4, 4, 32)
        data = (b"RIFF" + struct.pack("<I", 0) + b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt
                + b"PEAK" + struct.pack("<I", 4) + b"\x00" * 4 + b"data" + struct.pack("<I", 0)
                + body)
        with tempfile.NamedTemporaryFile(suffix=".wav") as f:
            f.write(data)
            f.flush()
            rate, read = analysis.read_wav(f.name)
        self.assertEqual(rate, RATE)
        self.assertEqual(list(read), [0.0, 0.25, -0.5])
        layout = analysis.WavLayout(data)
        self.assertEqual(layout.frames_in(len(data)), 3)

    def test_written_capture_reads_back(self):
        samples = array.array("f", [0.5, -0.25, 0.0, 1.0])
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "capture.wav")
            analysis.write_wav(path, RATE, samples.tobytes())
            self.assertEqual(analysis.read_wav(path), (RATE, samples))

    def test_not_a_wav(self):
        with self.assertRaises(ValueError):
            analysis.WavLayout(b"RIFX....WAVE")


class Timelines(unittest.TestCase):
    def test_lower_envelope_of_late_observations(self):
        # A renderer that writes period k at 10 + k * P / RATE, seen between 0.1 and 3 ms late.
        period = 128
        timeline = analysis.Timeline(RATE, lead=period / RATE)
        timeline.observe(9.0, 0)  # the empty file, made before rendering started
        for k in range(400):
            lateness = 0.0001 + (k * 7919 % 29) / 10000
            timeline.observe(10 + k * period / RATE + lateness, (k + 1) * period)
        self.assertAlmostEqual(timeline.time_of(0), 10.0001, places=6)
        self.assertAlmostEqual(timeline.time_of(RATE), 11.0001, places=6)

    def test_follows_a_skip_locally(self):
        # The stream jumped 50 ms late after 5 s (periods were skipped under load).
        timeline = analysis.Timeline(RATE, span=1.0)
        for k in range(1, 1000):
            t = k * 0.01 + (0.05 if k > 500 else 0)
            timeline.observe(t, k * 480)
        self.assertAlmostEqual(timeline.time_of(480 * 100), 1.0, places=6)
        self.assertAlmostEqual(timeline.time_of(480 * 900), 9.05, places=6)
        # Right after the skip: the observations before it would place the frame 50 ms early.
        self.assertAlmostEqual(timeline.time_of(480 * 505), 5.1, places=6)
        self.assertIsNone(analysis.Timeline(RATE).time_of(0))


class FaultCost(unittest.TestCase):
    def test_slope_of_cpu_over_faults(self):
        # 40 us a fault on top of 1 ms of fixed work, with the runs' noise cancelling out.
        runs = [(0.001 + 50 * 40e-6 + 1e-5, 50), (0.001 + 50 * 40e-6 - 1e-5, 50),
                (0.001 + 850 * 40e-6, 850)]
        self.assertAlmostEqual(analysis.fault_cost(runs), 40e-6, places=9)
        self.assertIsNone(analysis.fault_cost([(0.01, 100), (0.02, 100)]))
        self.assertIsNone(analysis.fault_cost([(0.01, 100)]))


class Matching(unittest.TestCase):
    def test_first_onset_after_each_press_before_its_release(self):
        injections = [(1.0, 1.1), (2.0, 2.1), (3.0, 3.1)]
        onset_times = [1.004, 1.105, 2.1005, 2.999, None]  # the second key's sound never came
        latencies, missed = analysis.match_latencies(injections, onset_times)
        self.assertEqual(missed, 1)
        self.assertEqual([round(v, 6) for v in latencies], [0.004, -0.001])


if __name__ == "__main__":
    unittest.main()
