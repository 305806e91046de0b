// Quorbel from C#: WriteMIDI through P/Invoke, for Mono and .NET alike.
using System;
using System.ComponentModel;
using System.IO;
using System.Runtime.InteropServices;

/// <summary>Writes a line of text as a Standard MIDI File with the native
/// Quorbel library.</summary>
public static class Quorbel
{
    public const int Ok = 999;
    public const int MaxNoteTicks = 0x0FFFFFFF;

    // "quorbel" is the unversioned libquorbel.so on Linux, found on
    // LD_LIBRARY_PATH, in the system's folders or beside the program, and
    // QUORBEL.dll on Windows. CharSet.Unicode passes UTF-16 everywhere.
    [DllImport("quorbel", EntryPoint = "WriteMIDI", CharSet = CharSet.Unicode,
               CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    static extern int NativeWriteMIDI(string notes, int noteTicks, string path);

    [DllImport("libc", EntryPoint = "strerror")]
    static extern IntPtr StrError(int errno);

    /// <summary>Writes <paramref name="text"/> at <paramref name="path"/>:
    /// one note of <paramref name="noteTicks"/> ticks (0 to MaxNoteTicks)
    /// for every byte of the text in the system's encoding.</summary>
    /// <exception cref="ArgumentNullException">text or path is null.</exception>
    /// <exception cref="ArgumentException">text or path holds a NUL, which
    /// would end the string early on the native side.</exception>
    /// <exception cref="QuorbelException">the file was not written; the
    /// file at path is as it was.</exception>
    public static void WriteMIDI(string text, int noteTicks, string path)
    {
        Check(text, nameof(text));
        Check(path, nameof(path));
        if (NativeWriteMIDI(text, noteTicks, path) == Ok)
            return;
        // errno off Windows, the thread's last error on Windows. .NET 6+
        // also names it Marshal.GetLastPInvokeError; Mono has only this name.
        int error = Marshal.GetLastWin32Error();
        string reason = Environment.OSVersion.Platform == PlatformID.Win32NT
            ? new Win32Exception(error).Message
            : Marshal.PtrToStringAnsi(StrError(error));
        throw new QuorbelException(error, path, $"cannot write '{path}': {reason}");
    }

    // A NUL would end the string early on the native side: "a\0b.mid"
    // would write "a".
    static void Check(string value, string name)
    {
        if (value == null)
            throw new ArgumentNullException(name);
        if (value.IndexOf('\0') >= 0)
            throw new ArgumentException($"{name} holds a NUL character, which would end it early", name);
    }
}

/// <summary>A file that WriteMIDI did not write.</summary>
public class QuorbelException : IOException
{
    /// <summary>errno off Windows, the Windows error code on Windows.</summary>
    public int NativeError { get; }
    public string Path { get; }

    public QuorbelException(int nativeError, string path, string message) : base(message)
    {
        NativeError = nativeError;
        Path = path;
    }
}
