// The C# binding under Mono: the documented file, the refusals it makes
// before the call, and the C library's messages for errno.
using System;
using System.IO;

static class QuorbelBindingTest
{
    static readonly byte[] Example = {
        0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
        0x4d, 0x54, 0x72, 0x6b, 0, 0, 0, 0x2e, 0, 0xff, 3, 7,
        0x74, 0x72, 0x61, 0x63, 0x6b, 0x20, 0x31, 0, 0xff, 0x58, 4, 4, 2, 0x24, 8,
        0, 0xff, 0x51, 3, 0x3d, 9, 0, 0, 0x90, 0x41, 0x7f, 0x30, 0x80, 0x41, 0,
        0, 0x90, 0x42, 0x7f, 0x30, 0x80, 0x42, 0, 0, 0xff, 0x2f, 0 };
    static int failures;

    static void Expect(bool condition, string what)
    {
        Console.WriteLine((condition ? "ok: " : "FAILED: ") + what);
        if (!condition) failures++;
    }

    static Exception Thrown(Action call)
    {
        try { call(); } catch (Exception error) { return error; }
        return null;
    }

    static int Main(string[] args)
    {
        string dir = args[0];
        string path = Path.Combine(dir, "example.mid");
        Quorbel.WriteMIDI("AB", 48, path);
        Expect(Convert.ToBase64String(File.ReadAllBytes(path)) == Convert.ToBase64String(Example),
               "writes the documented example");
        File.Delete(path);

        Expect(Thrown(() => Quorbel.WriteMIDI("A\0B", 48, path)) is ArgumentException &&
               Thrown(() => Quorbel.WriteMIDI("AB", 48, path + "\0.mid")) is ArgumentException &&
               Thrown(() => Quorbel.WriteMIDI(null, 48, path)) is ArgumentNullException &&
               Thrown(() => Quorbel.WriteMIDI("AB", 48, null)) is ArgumentNullException &&
               Directory.GetFileSystemEntries(dir).Length == 0,
               "refuses NUL and null before the call, writing nothing");

        foreach (var failure in new[] {
                     Tuple.Create(-1, "x.mid", 22, "Invalid argument"),
                     Tuple.Create(48, "no/x.mid", 2, "No such file or directory"),
                     Tuple.Create(48, ".", 21, "Is a directory") }) {
            var error = Thrown(() => Quorbel.WriteMIDI("AB", failure.Item1, Path.Combine(dir, failure.Item2)))
                as QuorbelException;
            Expect(error != null && error.NativeError == failure.Item3 && error.Message.EndsWith(": " + failure.Item4),
                   $"errno {failure.Item3} reads '{failure.Item4}': {error?.Message}");
        }
        return failures == 0 ? 0 : 1;
    }
}
