"""The quorbel tool: what it writes, what it says, and how it exits."""
import os
import stat
import subprocess
import time
import unittest

from tool import (EXAMPLE, EXAMPLE_TEXT, EXAMPLE_TICKS, MAX_NOTE_TICKS, TOOL, ToolTestCase,
                  as_lines, multibyte, posix_only, proc_can_be_hidden, run, run_without_proc,
                  shared_logic)


class Writing(ToolTestCase):
    def test_text_arguments_are_joined_by_single_spaces(self):
        out = self.path("hello.mid")
        result = run("-o", out, "hello", "world!")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(),
                         f"{out}: 12 notes, 12 s, 148 bytes\n")
        self.assertEqual(result.stderr, b"")
        data = open(out, "rb").read()
        self.assertEqual(len(data), 148)
        notes = data[48:-4][2::8]  # the note number of every note on
        self.assertEqual(notes, b"hello world!")

    def test_without_text_all_of_standard_input_is_the_text(self):
        out = self.path("in.mid")
        result = run("--output", out, "--ticks=48", stdin=b"a b\n\nc")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(),
                         f"{out}: 6 notes, 12 s, 100 bytes\n")
        self.assertEqual(open(out, "rb").read()[48:-4][2::8], b"a b\n\nc")

    @shared_logic
    def test_note_length_sets_delta_times_and_reported_seconds(self):
        out = self.path("t.mid")
        for args, seconds, size, delta in (
                (["-t", "0"], "0", 60, b"\x00"),
                (["-t200"], "8.333", 61, b"\x81\x48"),
                (["--ticks", str(MAX_NOTE_TICKS)], "11184810.625", 63,
                 b"\xff\xff\xff\x7f")):
            result = run(*args, "-o", out, "A")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout.decode(),
                             f"{out}: 1 note, {seconds} s, {size} bytes\n")
            data = open(out, "rb").read()
            self.assertEqual(len(data), size)
            self.assertEqual(data[52:52 + len(delta)], delta)

    def test_non_ascii_text_is_one_note_per_utf8_byte(self):
        out = self.path("\u00fcn\u00ef\u540d.mid")
        result = run("-o", out, "\u00e9\u20ac")
        self.assertEqual(result.returncode, 0, result.stderr)
        count = len(multibyte("\u00e9\u20ac"))
        self.assertIn(f": {count} notes, {count} s, {52 + 8 * count} bytes", result.stdout.decode())
        notes = open(out, "rb").read()[48:-4][2::8]
        self.assertEqual(notes, bytes(b & 0x7F for b in multibyte("\u00e9\u20ac")))

    @posix_only
    def test_standard_output_as_the_file_keeps_the_summary_out_of_it(self):
        if os.environ.get("QUORBEL_PROC_LINKS") == "0":
            return  # /dev/stdout is an open file only where /proc is known
        result = run("-o", "/dev/stdout", EXAMPLE_TEXT, "-t", EXAMPLE_TICKS)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, EXAMPLE)
        self.assertIn(f"2 notes, 4 s, {len(EXAMPLE)} bytes".encode(), result.stderr)

    @posix_only
    def test_a_device_keeps_no_size_and_the_summary_tells_none(self):
        result = run("-o", "/dev/null", "AB")
        self.assertEqual((result.returncode, result.stdout), (0, b"/dev/null: 2 notes, 2 s\n"))

    def test_dash_writes_through_standard_output_as_it_stands(self):
        # Appended to, and between other output: nothing truncated or
        # overwritten, as with any tool's standard output.
        log = self.path("log")
        with open(log, "wb") as f:
            f.write(b"header\n")
        script = '"$0" -o - -t "$2" "$3" >> "$1"; (echo x; "$0" -o - -t "$2" "$3"; echo y) >> "$1"'
        result = subprocess.run(["sh", "-c", script, TOOL, log, EXAMPLE_TICKS, EXAMPLE_TEXT],
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        data = open(log, "rb").read()
        self.assertEqual(data, b"header\n" + EXAMPLE + b"x\n" + EXAMPLE + b"y\n")
        self.assertEqual(
            result.stderr.count(f"standard output: 2 notes, 4 s, {len(EXAMPLE)} bytes".encode()), 2)
        # Through a pipe, a file far longer than any buffer, length and all.
        result = run("-o", "-", stdin=b"A" * 30000)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(result.stdout), 52 + 30000 * 8)
        self.assertEqual(int.from_bytes(result.stdout[18:22], "big"), 30 + 30000 * 8)

    @posix_only
    def test_non_blocking_pipes_are_waited_for(self):
        # As an event loop leaves its pipes: an empty or full one is waited on.
        text_read, text_write = os.pipe()
        file_read, file_write = os.pipe()
        os.set_blocking(text_read, False)
        os.set_blocking(file_write, False)
        tool = subprocess.Popen([TOOL, "-o", "-"], stdin=text_read, stdout=file_write,
                                stderr=subprocess.PIPE)
        os.close(text_read)
        os.close(file_write)
        time.sleep(0.5)  # long enough for the tool to find no text yet
        with open(text_write, "wb") as f:
            f.write(b"A" * 200000)
        time.sleep(0.5)  # and to fill the pipe
        with open(file_read, "rb") as reader:
            data = reader.read()
        _, errors = tool.communicate(timeout=60)
        self.assertEqual((tool.returncode, len(data)), (0, 52 + 200000 * 8), errors)

    @posix_only
    def test_dash_where_proc_is_not_mounted_leaves_tmpdir_as_it_was(self):
        # There the scratch file is named in TMPDIR: gone after a success
        # and a failure alike.
        if not proc_can_be_hidden():
            self.skipTest("no mount namespace of our own here, or a tool that needs "
                          "/proc to start (as a sanitizer's runtime does)")
        tmp = self.path("tmp")
        os.mkdir(tmp)
        env = dict(os.environ, TMPDIR=tmp)
        result = run_without_proc("-o", "-", "-t", EXAMPLE_TICKS, EXAMPLE_TEXT, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, EXAMPLE)
        result = run_without_proc("-o", "-", stdin=b"A" * 3000, env=env, file_blocks=1)
        self.assertEqual((result.returncode, result.stdout), (1, b""), result.stderr)
        self.assertEqual(os.listdir(tmp), [])
        # A TMPDIR with no UTF-16 form is refused, not cut at its bad byte.
        victim = os.fsencode(self.path("victim"))
        with open(victim, "wb") as f:
            f.write(b"untouched")
        os.mkdir(victim + b"\xff")
        env["TMPDIR"] = victim + b"\xff"
        result = run_without_proc("-o", "-", "AB", env=env)
        self.assertEqual((result.returncode, result.stdout), (1, b""), result.stderr)
        self.assertEqual(open(victim, "rb").read(), b"untouched")
        self.assertEqual(os.listdir(victim + b"\xff"), [])

    @shared_logic
    def test_options_may_follow_the_text_and_dashes_end_them(self):
        out = self.path("order.mid")
        result = run("A", "-t48", "B", "-o", out, "--", "-5", "--ticks")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(open(out, "rb").read()[48:-4][2::8], b"A B -5 --ticks")
        self.assertEqual(open(out, "rb").read()[52], 48)

    @shared_logic
    def test_help_and_version(self):
        result = run("--help")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith(b"Usage: quorbel [-t TICKS] -o FILE"))
        result = run("--version")
        version = os.environ.get("QUORBEL_VERSION", "").encode()
        self.assertEqual((result.returncode, result.stdout), (0, b"quorbel " + version + b"\n"))

    def test_help_and_version_on_a_full_device_exit_1(self):
        # The C runtime's own write error, which differs by system.
        for option in ("--help", "--version"):
            with open("/dev/full", "w") as full:
                result = subprocess.run([TOOL, option], stdout=full,
                                        stderr=subprocess.PIPE, timeout=60)
            self.assertEqual(result.returncode, 1, option)
            self.assertIn(b"No space left on device", result.stderr)


class Errors(ToolTestCase):
    def assertUsageError(self, result, message):
        self.assertEqual(result.returncode, 2, result.stderr)
        first_line = result.stderr.decode().splitlines()[0]
        self.assertEqual(first_line, "quorbel: " + message)
        self.assertEqual(result.stdout, b"")

    @shared_logic
    def test_usage_errors_exit_2_and_write_nothing(self):
        out = self.path("x.mid")
        self.assertUsageError(run("hello"), "missing -o FILE: name the file to write")
        bad_ticks = ("invalid note length '{}': expected a whole number of "
                     f"ticks from 0 to {MAX_NOTE_TICKS}")
        for ticks in ("-1", "abc", str(MAX_NOTE_TICKS + 1), "+5", "5x",
                      "99999999999999999999999"):
            self.assertUsageError(run("-o", out, "-t", ticks, "A"),
                                  bad_ticks.format(ticks))
        self.assertUsageError(run("-o", out, "--frobnicate", "A"),
                              "unknown option '--frobnicate'")
        self.assertUsageError(run("-o", out, "-x", "A"), "unknown option '-x'")
        self.assertUsageError(run("hello", "--bogus=1", "-o", out),
                              "unknown option '--bogus'")
        self.assertUsageError(run("-o", out, "-t5x"), bad_ticks.format("5x"))
        self.assertUsageError(run("-o", out, "--help=yes"),
                              "option '--help' takes no value")
        self.assertUsageError(run("-o", out, "-5"), "unknown option '-5'")
        self.assertUsageError(run("-o"), "option '-o' needs a value")
        self.assertUsageError(run("-o", out, "--ticks"),
                              "option '--ticks' needs a value")
        self.assertFalse(os.path.exists(out))

    @posix_only
    def test_invalid_utf8_names_the_byte(self):
        out = self.path("x.mid")
        self.assertUsageError(run("-o", out, stdin=b"ab\xc3\x28"),
                              "text is not valid UTF-8 at byte 2")
        # In joined arguments the offset counts the joining spaces.
        self.assertUsageError(run("-o", out, "ab", b"c\xff"),
                              "text is not valid UTF-8 at byte 4")
        for sequence in (b"\xc0\xaf", b"\xed\xa0\x80", b"\xed\xbf\xbf", b"\xf4\x90\x80\x80",
                         b"\xe2\x82"):  # overlong, surrogates, too big, cut
            self.assertUsageError(run("-o", out, stdin=b"x" + sequence),
                                  "text is not valid UTF-8 at byte 1")
        self.assertEqual(run("-o", "-", stdin=b"\xed\x9f\xbf").returncode, 0)  # U+D7FF
        self.assertUsageError(run("-o", os.fsencode(self.dir) + b"/\xff.mid", "A"),
                              f"output path is not valid UTF-8 at byte {len(self.dir) + 1}")
        self.assertEqual(os.listdir(self.dir), [])

    def test_empty_and_spaced_arguments_arrive_as_given(self):
        # On Windows the arguments come as one command line that the C
        # runtime splits: an empty one or one with a space must stay whole.
        out = self.path("x.mid")
        for ticks in ("", " 5"):
            self.assertUsageError(run("-o", out, "-t", ticks, "A"),
                                  f"invalid note length '{ticks}': expected a whole number "
                                  f"of ticks from 0 to {MAX_NOTE_TICKS}")
        self.assertFalse(os.path.exists(out))

    def test_a_nul_byte_in_the_text_is_refused(self):
        out = self.path("x.mid")
        self.assertUsageError(run("-o", out, stdin=b"ab\0cd"),
                              "text holds a NUL byte at byte 2")
        self.assertFalse(os.path.exists(out))

    @posix_only
    def test_unreadable_standard_input_exits_1_and_writes_nothing(self):
        out = self.path("x.mid")
        directory = os.open(self.dir, os.O_RDONLY)  # read() gives EISDIR
        self.addCleanup(os.close, directory)
        result = subprocess.run([TOOL, "-o", out], stdin=directory,
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         "quorbel: cannot read standard input: Is a directory\n")
        self.assertFalse(os.path.exists(out))

    @posix_only
    def test_a_summary_that_cannot_be_written_exits_1(self):
        out = self.path("x.mid")
        with open("/dev/full", "w") as full:
            result = subprocess.run([TOOL, "-o", out, "A"], stdout=full,
                                    stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"quorbel: cannot write the summary: No space left on device",
                      result.stderr)
        # -o - with standard output closed has nowhere to write the file.
        result = subprocess.run(["sh", "-c", '"$0" -o - A >&-', TOOL],
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"quorbel: cannot write 'standard output': Bad file descriptor",
                      result.stderr)

    @posix_only
    def test_the_file_size_limit_fails_the_call_and_leaves_nothing(self):
        out = self.path("big.mid")
        result = subprocess.run(["sh", "-c", f'ulimit -f 16; exec "$0" -o "$1"', TOOL, out],
                                input=b"z" * 100000, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"File too large", result.stderr)
        self.assertEqual(os.listdir(self.dir), [])
        # Through -o -, whatever part of the file was made stays out.
        result = subprocess.run(["sh", "-c", 'ulimit -f 1; exec "$0" -o -', TOOL],
                                input=b"z" * 3000, capture_output=True, timeout=60)
        self.assertEqual((result.returncode, result.stdout), (1, b""), result.stderr)

    @posix_only
    def test_a_fifo_without_a_reader_is_refused_not_waited_for(self):
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        result = run("-o", fifo, "A")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         f"quorbel: cannot write '{fifo}': No such device or address\n")
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))

    def test_a_file_that_cannot_be_written_exits_1_with_the_reason(self):
        result = run("-o", "no/such/x.mid", "A", cwd=self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         "quorbel: cannot write 'no/such/x.mid': "
                         "No such file or directory\n")
        self.assertEqual(result.stdout, b"")

    @posix_only
    def test_a_full_device_exits_1_and_stays(self):
        result = run("-o", "/dev/full", "A")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         "quorbel: cannot write '/dev/full': No space left on device\n")
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/full").st_mode))


if __name__ == "__main__":
    unittest.main()
