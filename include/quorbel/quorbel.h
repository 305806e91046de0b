/*
 * Quorbel: turns a line of text into a Standard MIDI File.
 *
 * The library exports one function, WriteMIDI. Every byte of the text, in
 * the system's multibyte encoding, becomes one note of the same length on
 * MIDI channel 1, one after another without gaps. The output is a format-0
 * file with one track: 96 ticks per quarter note, the track name "track 1",
 * 4/4 time and 15 beats per minute (24 ticks last one second).
 *
 * This header compiles as C11 and as C++.
 */
#ifndef QUORBEL_QUORBEL_H
#define QUORBEL_QUORBEL_H

#include <stdint.h>

/* QUORBEL_VERSION_MAJOR, _MINOR, _PATCH, _TWEAK and _STRING: made by the
 * build, installed beside this header. */
#include <quorbel/version.h>

#if defined(_WIN32)
#include <wchar.h>
/* One UTF-16 code unit: wchar_t is 16 bits on Windows. */
typedef wchar_t QuorbelUTF16Unit;
#define QUORBEL_CALL __cdecl
#if defined(QUORBEL_BUILDING_LIBRARY)
#define QUORBEL_API __declspec(dllexport)
#else
#define QUORBEL_API __declspec(dllimport)
#endif
#else
#if !defined(__cplusplus)
#include <uchar.h>
#endif
/* One UTF-16 code unit. */
typedef char16_t QuorbelUTF16Unit;
#define QUORBEL_CALL
#define QUORBEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The result of a call that wrote the whole file. 999, not 0 or 1, since
 * it is the value hosts of this library have always tested for. */
#define QUORBEL_OK 999

/* The largest note length: the largest delta time a MIDI file can hold. */
#define QUORBEL_MAX_NOTE_TICKS 0x0FFFFFFF

/*
 * What every call guarantees.
 *
 * How the file reaches path depends on what path names:
 *
 *   nothing, or a regular file   Replaced atomically. The file is written
 *                                to a temporary beside it and renamed over
 *                                path once complete: after QUORBEL_OK, path
 *                                holds the whole new file; after 0, path is
 *                                exactly as it was and no temporary is left.
 *                                Other hard links keep the old file.
 *                                On Linux the temporary has no name until it
 *                                is complete, so a process killed meanwhile
 *                                leaves nothing (short of a kill between
 *                                the naming and the rename, two adjacent
 *                                system calls; a new file is named in one
 *                                step). On Windows it is marked for
 *                                deletion until complete, to the same end.
 *                                Where the file system does not allow
 *                                either, and on macOS and the BSDs, a killed
 *                                process can leave a .quorbel-*.tmp.
 *   a regular file the caller    Written in place, not atomically: where the
 *   may write, where a rename    directory is not the caller's to write, is
 *   cannot replace it            sticky and neither it nor the file is the
 *                                caller's, is append-only or immutable, or
 *                                the file is mounted over another. Before
 *                                the first byte changes, a file past the
 *                                caller's file size limit is refused (EFBIG)
 *                                and so is one the file system has no room
 *                                for (ENOSPC: space reserved on Linux, free
 *                                space counted elsewhere); the old file
 *                                stays whole. An I/O error or a crash
 *                                midway can still leave it mixed. Other
 *                                hard links see the new bytes.
 *   a device, FIFO or terminal   Written in place, as it is. A FIFO that no
 *                                process is reading gives ENXIO, and so
 *                                does a socket, which cannot be opened.
 *   an open file through /proc   Opened anew and truncated, as cp would
 *   (/dev/stdout, /dev/fd/N)     open it: /dev/stdout redirected with >>
 *                                loses what it held. A host that wants its
 *                                own descriptor written at its offset writes
 *                                to an unnamed file and copies it (the tool's
 *                                -o - does).
 *
 * Who this guards against: another local user who can write to some
 * directory on the path, and who may rename, link and swap files there
 * while the call runs. A call follows a symbolic link only where the
 * kernel's own open would (fs.protected_symlinks included), writes only the
 * file the path named when the call began, and never gives a file wider
 * access than the one it replaces. Where a path keeps changing under the
 * call so that it cannot be sure what the path names, it fails with EAGAIN.
 *
 * The whole length is known before the first byte, so the file is written
 * front to back and never sought: pipes and FIFOs take any length.
 * A replaced file keeps its permission bits, its owner where the system
 * allows (set-id bits only along with the owner), and its extended
 * attributes, its POSIX ACL among them, of any size. The new file's ACL is
 * exactly the old one's: none where it had none, whatever default ACL the
 * directory gives new files. If an ACL or user attribute cannot be read or
 * copied, the call fails and the old file stays. Attributes that only
 * privilege may set (security.*, trusted.*) are copied where allowed. On
 * macOS and the BSDs only the owner and the permission bits are kept. On
 * Windows, ReplaceFileW keeps the replaced file's attributes and ACL. A file
 * the caller may not write is refused with EACCES. On POSIX systems a
 * symbolic link stays a link: the file it leads to when the call begins is
 * replaced, even if the link is retargeted meanwhile (on Windows the link
 * itself is replaced). The replacement is atomic, not durable: nothing is
 * forced to the disk, so a power failure soon after may lose the new file.
 *
 * The call allocates no heap memory. It maps memory of its own in two
 * cases. A long file is written in pieces of 512 KiB from one mapping of
 * 512 KiB (where none can be had, in the writer's own 16 KiB, slower but
 * the same file). On POSIX systems that mapping is made by the first call
 * that writes a file of 1 MiB or more, and kept: later calls that write
 * 64 KiB or more borrow it, one at a time, and a call of 1 MiB or more that
 * finds it in use makes its own for the call. It is unmapped when the
 * library is unloaded or the process ends. On Windows it is made for each
 * call that writes 256 KiB or more. And extended attributes over
 * 2 KiB are copied through up to 128 KiB mapped for the call. It uses at
 * most about 29 KiB of stack whatever the size of the text (29,496 bytes
 * measured on x86-64 Linux, a process's first call included, whose lazy
 * binding costs the most). Apart from that one mapping it keeps no state:
 * calls from several threads share nothing but the file system.
 */

/*
 * Writes `notes` as a Standard MIDI File at `path`.
 *
 * notes      Null-terminated UTF-16 text, of any length. It is converted to
 *            the system's multibyte encoding: UTF-8 on Linux and other POSIX
 *            systems, whatever the locale; the ANSI code page on Windows. An
 *            unpaired surrogate becomes U+FFFD (bytes EF BF BD in UTF-8).
 *            Each byte b of the result becomes one note, number b & 0x7F,
 *            note on with velocity 127 and note off with velocity 0.
 *            NULL is the empty text.
 * noteTicks  The length of every note in ticks, 0 to QUORBEL_MAX_NOTE_TICKS.
 *            96 ticks make a quarter note; 24 ticks last one second.
 * path       Null-terminated UTF-16 path of the file to create. An existing
 *            file is replaced. UTF-8 on POSIX.
 *
 * Returns QUORBEL_OK (999) when the whole file was written and closed.
 * Returns 0 when it was not, and sets errno:
 *   EINVAL   noteTicks is negative or above QUORBEL_MAX_NOTE_TICKS, or path
 *            is NULL. Nothing is opened: an existing file is left untouched.
 *   EILSEQ   path holds an unpaired surrogate, so it names no file. Nothing
 *            is opened.
 *   ENAMETOOLONG  path is longer than the system allows.
 *   any other value  the error of the open, write or close that failed:
 *            ENOENT (including an empty path), EACCES, EISDIR, ENOSPC, EFBIG,
 *            EIO and the like. EFBIG also when the track would pass the
 *            4 GiB a MIDI track can hold: known from the text before
 *            anything is opened, so nothing is touched.
 *   ENXIO    path is a FIFO that no process is reading, or a socket.
 *   EAGAIN   the path kept changing under the call (another process
 *            renaming or swapping links along it): nothing was written.
 *   EIO      also when the track written differs from the length announced
 *            in its header: never a file with a wrong length.
 * On success errno is left as the caller had it.
 */
QUORBEL_API int32_t QUORBEL_CALL WriteMIDI(const QuorbelUTF16Unit *notes,
                                           int32_t noteTicks,
                                           const QuorbelUTF16Unit *path);

#ifdef __cplusplus
}
#endif

#endif /* QUORBEL_QUORBEL_H */
