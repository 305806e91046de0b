using System;
using System.IO;
using System.Linq;
using System.Text.Json;
using Quorbel;
using Xunit;

public sealed class MidiTests : IDisposable
{
    private readonly string _dir = Directory.CreateTempSubdirectory("quorbel-").FullName;

    public void Dispose() => Directory.Delete(_dir, recursive: true);

    // The documented example that every suite compares with, copied beside
    // the tests by the build: the file, and the text and note length that
    // make it.
    private static readonly string Fixtures = Path.Combine(AppContext.BaseDirectory, "fixtures");
    private static readonly byte[] Example = File.ReadAllBytes(Path.Combine(Fixtures, "example.mid"));
    private static readonly JsonElement MadeOf =
        JsonDocument.Parse(File.ReadAllText(Path.Combine(Fixtures, "example.json"))).RootElement;
    private static readonly string ExampleText = MadeOf.GetProperty("text").GetString()!;
    private static readonly int ExampleTicks = MadeOf.GetProperty("noteTicks").GetInt32();

    [Fact]
    public void WritesTheDocumentedExample()
    {
        string path = Path.Combine(_dir, "example.mid");
        Midi.WriteMIDI(ExampleText, ExampleTicks, path);
        Assert.Equal(Example, File.ReadAllBytes(path));
    }

    [Fact]
    public void EveryUtf8ByteIsANote()
    {
        // "é" is C3 A9 in UTF-8: two notes, 0x43 and 0x29, as many bytes as
        // the example's two ASCII letters and so the same file but for the
        // note numbers, which no other byte of it equals. The path is not
        // ASCII either.
        Assert.Equal(2, ExampleText.Length);
        string path = Path.Combine(_dir, "é.mid");
        Midi.WriteMIDI("é", ExampleTicks, path);
        byte first = (byte)ExampleText[0], second = (byte)ExampleText[1];
        byte[] expected = Example.Select(b => b == first ? (byte)0x43 : b == second ? (byte)0x29 : b).ToArray();
        Assert.Equal(expected, File.ReadAllBytes(path));
    }

    [Fact]
    public void RefusesNullAndNulBeforeWritingAnything()
    {
        string path = Path.Combine(_dir, "x.mid");
        Assert.Equal("text", Assert.Throws<ArgumentNullException>(() => Midi.WriteMIDI(null!, 48, path)).ParamName);
        Assert.Equal("path", Assert.Throws<ArgumentNullException>(() => Midi.WriteMIDI("AB", 48, null!)).ParamName);
        Assert.Equal("text", Assert.Throws<ArgumentException>(() => Midi.WriteMIDI("A\0B", 48, path)).ParamName);
        Assert.Equal("path", Assert.Throws<ArgumentException>(() => Midi.WriteMIDI("AB", 48, path + "\0.mid")).ParamName);
        Assert.Empty(Directory.GetFileSystemEntries(_dir));
    }

    [Fact]
    public void TakesNoteLengthsFromZeroToMaxNoteTicks()
    {
        string path = Path.Combine(_dir, "x.mid");
        foreach (int ticks in new[] { -1, Midi.MaxNoteTicks + 1 })
            Assert.Equal("noteTicks",
                Assert.Throws<ArgumentOutOfRangeException>(() => Midi.WriteMIDI("AB", ticks, path)).ParamName);
        Assert.False(File.Exists(path));
        Midi.WriteMIDI("AB", 0, path);
        Midi.WriteMIDI("AB", Midi.MaxNoteTicks, path);
    }

    [Fact]
    public void AMissingFolderThrowsWithErrnoAndPath()
    {
        string path = Path.Combine(_dir, "no", "x.mid");
        var error = Assert.Throws<QuorbelException>(() => Midi.WriteMIDI("AB", 48, path));
        Assert.Equal(2, error.NativeErrorCode);   // ENOENT
        Assert.Equal(path, error.Path);
        Assert.Equal($"Cannot write '{path}': No such file or directory", error.Message);
    }
}
