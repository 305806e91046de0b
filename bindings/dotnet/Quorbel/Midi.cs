using System;
using System.Runtime.InteropServices;

namespace Quorbel;

/// <summary>
/// Writes text as a Standard MIDI File: every byte of the text, in UTF-8
/// (the ANSI code page on Windows), becomes one note of the same length,
/// one after another on MIDI channel 1.
/// </summary>
public static class Midi
{
    /// <summary>The longest note <see cref="WriteMIDI"/> takes, in ticks
    /// (the native header's QUORBEL_MAX_NOTE_TICKS, the largest a MIDI
    /// variable-length quantity holds).</summary>
    public const int MaxNoteTicks = QuorbelHeader.MaxNoteTicks;

    /// <summary>
    /// Writes <paramref name="text"/> as a MIDI file at <paramref name="path"/>,
    /// replacing any file there.
    /// </summary>
    /// <param name="text">The text: each byte of it becomes one note, number
    /// <c>byte &amp; 0x7F</c>. "é" is two bytes in UTF-8, so two notes.</param>
    /// <param name="noteTicks">The length of every note: 0 to
    /// <see cref="MaxNoteTicks"/> ticks, 96 to a quarter note, 24 to a second.</param>
    /// <param name="path">The file to write, relative to the current directory
    /// or absolute.</param>
    /// <exception cref="ArgumentNullException"><paramref name="text"/> or
    /// <paramref name="path"/> is <see langword="null"/>.</exception>
    /// <exception cref="ArgumentException"><paramref name="text"/> or
    /// <paramref name="path"/> holds a NUL character.</exception>
    /// <exception cref="ArgumentOutOfRangeException"><paramref name="noteTicks"/>
    /// is negative or above <see cref="MaxNoteTicks"/>.</exception>
    /// <exception cref="QuorbelException">The file was not written; a file
    /// already at <paramref name="path"/> is as it was.</exception>
    public static void WriteMIDI(string text, int noteTicks, string path)
    {
        ArgumentNullException.ThrowIfNull(text);
        ArgumentNullException.ThrowIfNull(path);
        // The native side reads up to the first NUL: "a\0b.mid" would write "a".
        if (text.Contains('\0'))
            throw new ArgumentException("The text holds a NUL character.", nameof(text));
        if (path.Contains('\0'))
            throw new ArgumentException("The path holds a NUL character.", nameof(path));
        ArgumentOutOfRangeException.ThrowIfNegative(noteTicks);
        ArgumentOutOfRangeException.ThrowIfGreaterThan(noteTicks, MaxNoteTicks);

        if (NativeMethods.WriteMIDI(text, noteTicks, path) == NativeMethods.Ok)
            return;
        // errno, or the Windows error code on Windows, kept by the call.
        int error = Marshal.GetLastPInvokeError();
        throw new QuorbelException(
            $"Cannot write '{path}': {Marshal.GetPInvokeErrorMessage(error)}", error, path);
    }
}
