using System;
using System.IO;

namespace Quorbel;

/// <summary>A MIDI file that <see cref="Midi.WriteMIDI"/> could not write.</summary>
public class QuorbelException : IOException
{
    /// <summary>Creates an exception with a default message.</summary>
    public QuorbelException() { }

    /// <summary>Creates an exception with the given message.</summary>
    public QuorbelException(string? message) : base(message) { }

    /// <summary>Creates an exception with the given message and cause.</summary>
    public QuorbelException(string? message, Exception? innerException) : base(message, innerException) { }

    /// <summary>Creates an exception for the system error
    /// <paramref name="nativeErrorCode"/> while writing <paramref name="path"/>.</summary>
    public QuorbelException(string? message, int nativeErrorCode, string? path) : base(message)
    {
        NativeErrorCode = nativeErrorCode;
        Path = path;
    }

    /// <summary>The system's error: <c>errno</c> on Linux and other POSIX
    /// systems (2, ENOENT, for a missing folder), the Windows error code
    /// on Windows.</summary>
    public int NativeErrorCode { get; }

    /// <summary>The path of the file, as it was given.</summary>
    public string? Path { get; }
}
