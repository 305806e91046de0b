"""Files written by the tool, as independent MIDI readers see them."""
import shutil
import subprocess
import unittest

from tool import ToolTestCase, run

try:
    import mido
except ImportError:  # reported as a skip, never as a pass
    mido = None


def write(case, text, ticks):
    out = case.path("read.mid")
    result = run("-t", str(ticks), "-o", out, text)
    case.assertEqual(result.returncode, 0, result.stderr)
    return out


@unittest.skipIf(mido is None, "python3-mido is not installed")
class Mido(ToolTestCase):
    def test_reads_the_fixed_settings_and_one_note_per_byte(self):
        for text, ticks in (("Hi!", 48), ("AA", 0), ("~ z", 200), ("\u00e9", 16384)):
            midi = mido.MidiFile(write(self, text, ticks))
            self.assertEqual((midi.type, midi.ticks_per_beat, len(midi.tracks)),
                             (0, 96, 1))
            expected = [
                mido.MetaMessage("track_name", name="track 1", time=0),
                mido.MetaMessage("time_signature", numerator=4, denominator=4,
                                 clocks_per_click=36,
                                 notated_32nd_notes_per_beat=8, time=0),
                mido.MetaMessage("set_tempo", tempo=4000000, time=0),
            ]
            for byte in text.encode():
                expected.append(mido.Message("note_on", channel=0,
                                             note=byte & 0x7F, velocity=127, time=0))
                expected.append(mido.Message("note_off", channel=0,
                                             note=byte & 0x7F, velocity=0, time=ticks))
            expected.append(mido.MetaMessage("end_of_track", time=0))
            self.assertEqual(list(midi.tracks[0]), expected, text)
            # 24 ticks last one second at 15 beats per minute.
            self.assertAlmostEqual(midi.length, len(text.encode()) * ticks / 24)


@unittest.skipIf(shutil.which("midicsv") is None, "midicsv is not installed")
class Midicsv(ToolTestCase):
    def test_lists_exactly_the_expected_events(self):
        path = write(self, "AB", 48)
        csv = subprocess.run(["midicsv", path], capture_output=True, check=True,
                             text=True).stdout
        self.assertEqual(csv.splitlines(), [
            "0, 0, Header, 0, 1, 96",
            "1, 0, Start_track",
            '1, 0, Title_t, "track 1"',
            "1, 0, Time_signature, 4, 2, 36, 8",
            "1, 0, Tempo, 4000000",
            "1, 0, Note_on_c, 0, 65, 127",
            "1, 48, Note_off_c, 0, 65, 0",
            "1, 48, Note_on_c, 0, 66, 127",
            "1, 96, Note_off_c, 0, 66, 0",
            "1, 96, End_track",
            "0, 0, End_of_file",
        ])


if __name__ == "__main__":
    unittest.main()
