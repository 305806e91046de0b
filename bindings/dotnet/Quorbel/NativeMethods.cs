using System;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;

namespace Quorbel;

internal static partial class NativeMethods
{
    private const string Library = "quorbel";
    internal const int Ok = 999;

    // On Linux the runtime package of a distribution installs only the
    // SONAME, libquorbel.so.1; the unversioned name comes with the
    // development package. This package's own runtimes/<rid>/native/ file
    // comes first, found by the runtime's usual probing.
    static NativeMethods() =>
        NativeLibrary.SetDllImportResolver(typeof(NativeMethods).Assembly, Resolve);

    private static IntPtr Resolve(string name, Assembly assembly, DllImportSearchPath? searchPath)
    {
        if (name != Library)
            return IntPtr.Zero;
        if (NativeLibrary.TryLoad(name, assembly, searchPath, out IntPtr handle))
            return handle;
        if (OperatingSystem.IsLinux() &&
            (NativeLibrary.TryLoad("libquorbel.so.1", out handle) ||
             NativeLibrary.TryLoad("libquorbel.so", out handle)))
            return handle;
        return IntPtr.Zero;   // the runtime then throws DllNotFoundException
    }

    // Both strings go over as the runtime holds them, UTF-16, pinned
    // rather than copied. Cdecl matters on 32-bit Windows, where the
    // default is stdcall.
    [LibraryImport(Library, EntryPoint = "WriteMIDI", StringMarshalling = StringMarshalling.Utf16,
                   SetLastError = true)]
    [UnmanagedCallConv(CallConvs = new[] { typeof(CallConvCdecl) })]
    internal static partial int WriteMIDI(string notes, int noteTicks, string path);
}
