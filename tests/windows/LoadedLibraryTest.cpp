// QUORBEL.dll as a Windows host application meets it: loaded at run time,
// bound by name and by ordinal, its files checked byte for byte and its
// version record read back.

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Framework.h"
#include "DocumentedExample.h"
#include "ExpectedMIDIFile.h"
#include "TempDirectory.h"
#include "quorbel/quorbel.h"

namespace {

using quorbel::test::TempDirectory;
using WriteMIDIFunction = decltype(&WriteMIDI);
using Bytes = std::vector<unsigned char>;

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    module = ::LoadLibraryW(L"QUORBEL.dll");
    ASSERT_NE(module, nullptr) << "LoadLibrary failed: " << ::GetLastError();
    writeMIDI = reinterpret_cast<WriteMIDIFunction>(
        reinterpret_cast<void*>(::GetProcAddress(module, "WriteMIDI")));
    ASSERT_NE(writeMIDI, nullptr);

    ASSERT_FALSE(scratch.path().empty());
    directory = quorbel::test::Native(scratch.path()).make_preferred().wstring();
  }

  void TearDown() override {
    if (module != nullptr) {
      EXPECT_TRUE(::FreeLibrary(module));
      EXPECT_EQ(::GetModuleHandleW(L"QUORBEL.dll"), nullptr) << "still loaded";
    }
  }

  std::wstring PathOf(const std::wstring& name) const { return directory + L"\\" + name; }

  std::vector<std::wstring> Entries() const {
    std::vector<std::wstring> names;
    for (const std::string& name : scratch.Entries()) {
      names.push_back(quorbel::test::Native(name).wstring());
    }
    return names;
  }

  static Bytes ReadAll(const std::wstring& path) {
    Bytes bytes;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    unsigned char piece[4096];
    DWORD got = 0;
    while (::ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) {
      bytes.insert(bytes.end(), piece, piece + got);
    }
    ::CloseHandle(file);
    return bytes;
  }

  HMODULE module = nullptr;
  WriteMIDIFunction writeMIDI = nullptr;
  TempDirectory scratch;  // removed after TearDown has unloaded the library
  std::wstring directory;
};

TEST_F(LoadedLibrary, WriteMIDIIsTheSameFunctionByNameAndByOrdinalOne) {
  const FARPROC byOrdinal = ::GetProcAddress(module, MAKEINTRESOURCEA(1));
  EXPECT_EQ(reinterpret_cast<void*>(byOrdinal), reinterpret_cast<void*>(writeMIDI));
  EXPECT_EQ(::GetProcAddress(module, MAKEINTRESOURCEA(2)), nullptr);
}

TEST_F(LoadedLibrary, WritesTheDocumentedExample) {
  const std::wstring path = PathOf(L"example.mid");
  ASSERT_EQ(writeMIDI(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, path.c_str()), QUORBEL_OK);
  EXPECT_EQ(ReadAll(path), Bytes(std::begin(kDocumentedExample), std::end(kDocumentedExample)));

  // A long text leaves the writer's buffer several times, behind a track
  // length that went out first.
  const std::wstring text(100000, L'q');
  ASSERT_EQ(writeMIDI(text.c_str(), 200, path.c_str()), QUORBEL_OK);
  const Bytes bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 52u + 100000 * 9);
  EXPECT_EQ(quorbel::test::TrackLengthField(bytes), 30u + 100000 * 9);
}

TEST_F(LoadedLibrary, RefusalsAndFailuresAreReportedAndCreateNothing) {
  const std::wstring path = PathOf(L"refused.mid");
  errno = 0;
  ::SetLastError(0);
  EXPECT_EQ(writeMIDI(L"AB", -1, path.c_str()), 0);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(writeMIDI(L"AB", 0x10000000, path.c_str()), 0);
  EXPECT_EQ(writeMIDI(L"AB", 48, nullptr), 0);
  EXPECT_EQ(errno, EINVAL);

  errno = 0;
  EXPECT_EQ(writeMIDI(L"AB", 48, PathOf(L"no\\such\\x.mid").c_str()), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  // The last error is the system's own, not a translation of errno back.
  EXPECT_EQ(writeMIDI(L"AB", 48, PathOf(L"what?.mid").c_str()), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

  // A path with an unpaired surrogate names no file, here as everywhere.
  const std::wstring lone = PathOf(L"a") + wchar_t(0xD800) + L".mid";
  EXPECT_EQ(writeMIDI(L"AB", 48, lone.c_str()), 0);
  EXPECT_EQ(errno, EILSEQ);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(writeMIDI(L"AB", 48, directory.c_str()), 0);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_TRUE(Entries().empty());
}

// All or nothing: the new file takes the old one's place only when whole.
TEST_F(LoadedLibrary, AnExistingFileIsReplacedWholeOrKeptWhole) {
  const std::wstring path = PathOf(L"song.mid");
  const Bytes old(5000, 'o');
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file, old.data(), DWORD(old.size()), &written, nullptr));
  ::CloseHandle(file);

  EXPECT_EQ(writeMIDI(L"AB", -1, path.c_str()), 0);
  EXPECT_EQ(ReadAll(path), old);

  // A file another program holds open without sharing cannot be
  // replaced: the call fails and keeps it.
  const HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  errno = 0;
  EXPECT_EQ(writeMIDI(L"AB", 48, path.c_str()), 0);
  EXPECT_EQ(errno, EACCES);
  ::CloseHandle(held);
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"song.mid"}) << "a temporary was left";

  ASSERT_EQ(writeMIDI(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, path.c_str()), QUORBEL_OK);
  EXPECT_EQ(ReadAll(path).size(), sizeof kDocumentedExample);
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"song.mid"});
  EXPECT_NE(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u)
      << "the replaced file's attributes were not kept";
}

TEST_F(LoadedLibrary, ADeviceIsWrittenInPlace) {
  EXPECT_EQ(writeMIDI(L"AB", 48, L"NUL"), QUORBEL_OK);
  EXPECT_EQ(writeMIDI(L"AB", 48, PathOf(L"NUL").c_str()), QUORBEL_OK);
  EXPECT_TRUE(Entries().empty());
}

TEST_F(LoadedLibrary, ANonASCIIPathIsCreatedWithExactlyThatName) {
  const std::wstring name = L"\u00FCn\u00EF\u540D.mid";
  ASSERT_EQ(writeMIDI(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, PathOf(name).c_str()), QUORBEL_OK);
  EXPECT_EQ(Entries(), std::vector<std::wstring>{name});
  EXPECT_EQ(ReadAll(PathOf(name)),
            Bytes(std::begin(kDocumentedExample), std::end(kDocumentedExample)));
}

TEST_F(LoadedLibrary, TextIsTakenInTheANSICodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "expectations are for code page 1252";
  // e-acute is E9, the euro sign 80, and a character 1252 lacks becomes '?'.
  const std::wstring path = PathOf(L"ansi.mid");
  ASSERT_EQ(writeMIDI(L"\u00E9\u20AC\u540D", 1, path.c_str()), QUORBEL_OK);
  const Bytes bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 52u + 3 * 8);
  EXPECT_EQ((Bytes{bytes[50], bytes[58], bytes[66]}), (Bytes{0xE9 & 0x7F, 0x00, '?'}));
}

// The DLL file as the loader lays it out, and the module layer's variables
// found through the COFF symbol table the build leaves in it.
struct DLLImage {
  Bytes bytes;

  uint32_t Read32(size_t at) const {
    if (at + 4 > bytes.size()) return 0;
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
  }
  uint32_t Read16(size_t at) const {
    return at + 2 > bytes.size() ? 0 : bytes[at] | bytes[at + 1] << 8;
  }
  size_t Header() const { return Read32(0x3C) + 4; }  // after the "PE\0\0" signature
  size_t Section(uint32_t index) const {
    return Header() + 20 + Read16(Header() + 16) + index * 40;
  }

  // Where a variable of quorbel::module whose mangled name contains `name`
  // lies, relative to the load address; 0 if the table or the symbol is
  // missing.
  uint32_t VariableOffset(const char* name) const {
    const size_t symbols = Read32(Header() + 8);
    const size_t symbolCount = Read32(Header() + 12);
    const size_t strings = symbols + symbolCount * 18;
    if (symbols == 0 || strings > bytes.size()) return 0;
    for (size_t i = 0; i < symbolCount; ++i) {
      const size_t symbol = symbols + i * 18;
      std::string symbolName;
      if (Read32(symbol) == 0) {
        const size_t at = strings + Read32(symbol + 4);
        if (at >= bytes.size()) continue;
        symbolName = reinterpret_cast<const char*>(&bytes[at]);
      } else {
        symbolName.assign(reinterpret_cast<const char*>(&bytes[symbol]), 8);
        symbolName.resize(std::strlen(symbolName.c_str()));
      }
      const uint32_t section = Read16(symbol + 12);
      if (symbolName.find("quorbel6module") != std::string::npos &&
          symbolName.find(name) != std::string::npos && section > 0) {
        return Read32(Section(section - 1) + 12) + Read32(symbol + 8);
      }
      i += bytes[symbol + 17];  // auxiliary records
    }
    return 0;
  }

  // Where the `size` bytes at `offset` from the load address start in the
  // file; 0 unless the file holds all of them.
  size_t FileOffset(uint32_t offset, size_t size) const {
    for (uint32_t i = 0; i < Read16(Header() + 2); ++i) {
      const uint32_t address = Read32(Section(i) + 12);
      if (offset >= address && offset - address + size <= Read32(Section(i) + 16)) {
        return Read32(Section(i) + 20) + (offset - address);
      }
    }
    return 0;
  }
};

DLLImage ImageOf(HMODULE module) {
  wchar_t path[MAX_PATH];
  if (::GetModuleFileNameW(module, path, MAX_PATH) == 0) return {};
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return {Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
}

// The loader ran the entry point: the attach registered the library with
// its instance handle, and one registration object hangs on the record.
TEST_F(LoadedLibrary, TheAttachRegisteredTheLibrary) {
  const uint32_t offset = ImageOf(module).VariableOffset("13libraryRecordE");
  ASSERT_NE(offset, 0u) << "the DLL's symbol table does not locate its module record";
  const auto* record = reinterpret_cast<const quorbel::module::ExtensionModuleRecord*>(
      reinterpret_cast<const char*>(module) + offset);
  EXPECT_EQ(record->instance, static_cast<void*>(module));
  EXPECT_TRUE(record->initialized);
  ASSERT_NE(record->registrations, nullptr) << "the attach registration did not run";
  EXPECT_EQ(record->registrations->record, record);
  EXPECT_EQ(record->registrations->next, nullptr);
}

// The framework's lists built while the module loads pass to their
// companion slots at attach. Here they start empty, so a copy of the DLL
// whose framework state starts with lists in it shows what the entry point
// did with them.
TEST_F(LoadedLibrary, TheAttachHandsTheLoadingListsToTheirCompanions) {
  using quorbel::module::ModuleState;
  DLLImage image = ImageOf(module);
  const uint32_t frameworkOffset = image.VariableOffset("16processFrameworkE");
  ASSERT_NE(frameworkOffset, 0u) << "the DLL's symbol table does not locate its framework";
  auto* framework = reinterpret_cast<quorbel::module::Framework*>(
      reinterpret_cast<char*>(module) + frameworkOffset);
  const auto stateOffset = static_cast<uint32_t>(
      reinterpret_cast<char*>(framework->CurrentModuleState()) - reinterpret_cast<char*>(module));
  const size_t at = image.FileOffset(stateOffset, sizeof(ModuleState));
  ASSERT_NE(at, 0u) << "the framework state is not among the DLL's initial data";

  ModuleState loading;
  loading.listHeads[0] = reinterpret_cast<void*>(0x1111);
  loading.listHeads[1] = reinterpret_cast<void*>(0x2222);
  std::memcpy(&image.bytes[at], &loading, sizeof loading);
  const std::wstring path = PathOf(L"seeded.dll");
  std::ofstream(std::filesystem::path(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.bytes.data()), std::streamsize(image.bytes.size()));

  const HMODULE copy = ::LoadLibraryW(path.c_str());
  ASSERT_NE(copy, nullptr) << "LoadLibrary failed: " << ::GetLastError();
  const ModuleState attached =
      *reinterpret_cast<const ModuleState*>(reinterpret_cast<const char*>(copy) + stateOffset);
  EXPECT_TRUE(::FreeLibrary(copy));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(attached.companions[i], loading.listHeads[i]) << i;
    EXPECT_EQ(attached.listHeads[i], nullptr) << i;
  }
}

std::wstring VersionString(const Bytes& record, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!::VerQueryValueW(record.data(), query.c_str(), &value, &length)) return L"<missing>";
  return length == 0 ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

TEST_F(LoadedLibrary, CarriesItsVersionRecord) {
  wchar_t path[MAX_PATH];
  ASSERT_NE(::GetModuleFileNameW(module, path, MAX_PATH), 0u);
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
  ASSERT_NE(size, 0u);
  Bytes record(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, record.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwStrucVersion, 0x00010000u);
  EXPECT_EQ(fixed->dwFileFlagsMask, static_cast<DWORD>(VS_FFI_FILEFLAGSMASK));
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);  // .0.1
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

  WORD* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);  // US English
  EXPECT_EQ(translation[1], 1200);    // UTF-16

  EXPECT_EQ(VersionString(record, L"FileVersion"), QUORBEL_TEST_VERSION_COMMAS);
  EXPECT_EQ(VersionString(record, L"ProductVersion"), QUORBEL_TEST_VERSION_COMMAS);
  EXPECT_EQ(VersionString(record, L"FileDescription"), L"Quorbel DLL");
  EXPECT_EQ(VersionString(record, L"InternalName"), L"Quorbel");
  EXPECT_EQ(VersionString(record, L"OriginalFilename"), L"Quorbel.DLL");
  EXPECT_EQ(VersionString(record, L"ProductName"), L"Quorbel Dynamic Link Library");
  EXPECT_EQ(VersionString(record, L"CompanyName"), L"");
  EXPECT_EQ(VersionString(record, L"LegalTrademarks"), L"");
}

}  // namespace
