using System;
using System.IO;
using Quorbel;
using Xunit;

public sealed class MidiTests : IDisposable
{
    private readonly string _dir = Directory.CreateTempSubdirectory("quorbel-").FullName;

    public void Dispose() => Directory.Delete(_dir, recursive: true);

    // The documented file for two notes of 48 ticks: header, tempo and
    // time signature, then each note on and off.
    private static byte[] TwoNotes(byte first, byte second) => new byte[] {
        0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
        0x4d, 0x54, 0x72, 0x6b, 0, 0, 0, 0x2e, 0, 0xff, 3, 7,
        0x74, 0x72, 0x61, 0x63, 0x6b, 0x20, 0x31, 0, 0xff, 0x58, 4, 4, 2, 0x24, 8,
        0, 0xff, 0x51, 3, 0x3d, 9, 0, 0, 0x90, first, 0x7f, 0x30, 0x80, first, 0,
        0, 0x90, second, 0x7f, 0x30, 0x80, second, 0, 0, 0xff, 0x2f, 0 };

    [Fact]
    public void WritesTheDocumentedExample()
    {
        string path = Path.Combine(_dir, "example.mid");
        Midi.WriteMIDI("AB", 48, path);
        Assert.Equal(TwoNotes(0x41, 0x42), File.ReadAllBytes(path));
    }

    [Fact]
    public void EveryUtf8ByteIsANote()
    {
        // "é" is C3 A9 in UTF-8: notes 0x43 and 0x29. The path is not ASCII either.
        string path = Path.Combine(_dir, "é.mid");
        Midi.WriteMIDI("é", 48, path);
        Assert.Equal(TwoNotes(0x43, 0x29), File.ReadAllBytes(path));
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
