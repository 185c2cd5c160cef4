#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "platform/file.h"
#include "platform/replacement_name.h"

namespace {

FileError LastError(const std::string& path) {
  return FileError{FileErrorCauseFromWin32(::GetLastError()), path};
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder a path's last component lies in ("." for a bare name) and that
// component.
std::string FolderOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
  }
  if (separator == 0 || (separator == 2 && path[1] == ':')) return path.substr(0, separator + 1);
  return path.substr(0, separator);
}

std::string BaseNameOf(const std::string& path) {
  auto separator = path.find_last_of("\\/");
  if (separator == std::string::npos && path.size() >= 2 && path[1] == ':') separator = 1;
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string Joined(const std::string& folder, const std::string& name) {
  return !folder.empty() && IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

// Opens path for reading and writing. A database is shared with nobody; a
// replacement only allows the rename that puts it in its target's place
// (MoveFileEx opens it for deletion), never another reader or writer; it is
// opened for deletion itself, so Discard can delete it through its handle.
HANDLE OpenHandle(const std::string& path, DWORD disposition, DWORD share, DWORD attributes) {
  const DWORD access = GENERIC_READ | GENERIC_WRITE | (share & FILE_SHARE_DELETE ? DELETE : 0);
  return ::CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

class Win32File final : public File {
 public:
  Win32File(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~Win32File() override { Close(); }

  HANDLE Handle() const { return handle_; }
  // For a replacement: its hidden name until it is placed; empty after.
  std::string hidden_path;
  // The attributes the file it replaces had, to give them to it when placed.
  DWORD target_attributes = 0;

  void Placed(std::string path) {
    path_ = std::move(path);
    hidden_path.clear();
  }

  const std::string& Path() const override { return path_; }

  FileStatus Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return FileError{6, path_};
    // One call reads at most a DWORD's worth; fewer bytes than asked are fine.
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, want, &got, nullptr)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) return std::nullopt;
      return LastError(path_);
    }
    done = got;
    return std::nullopt;
  }

  FileStatus Write(const void* data, std::size_t size) override {
    if (handle_ == INVALID_HANDLE_VALUE) return FileError{6, path_};
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(handle_, bytes, want, &put, nullptr)) return LastError(path_);
      if (put == 0) return FileError{13, path_};
      bytes += put;
      size -= put;
    }
    return std::nullopt;
  }

  FileStatus Seek(std::uint64_t offset) override {
    if (handle_ == INVALID_HANDLE_VALUE) return FileError{6, path_};
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return FileError{9, path_};
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return LastError(path_);
    return std::nullopt;
  }

  FileStatus Length(std::uint64_t& length) override {
    length = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return FileError{6, path_};
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_, &size)) return LastError(path_);
    length = static_cast<std::uint64_t>(size.QuadPart);
    return std::nullopt;
  }

  FileStatus Flush() override {
    if (handle_ == INVALID_HANDLE_VALUE) return FileError{6, path_};
    if (!::FlushFileBuffers(handle_)) return LastError(path_);
    return std::nullopt;
  }

  std::optional<FileId> Id() const override {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle_ == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle_, &info)) {
      return std::nullopt;
    }
    return FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }

  // Windows files have access lists, not permission bits: a new file takes
  // those of its folder.
  std::optional<std::uint32_t> Permissions() const override { return std::nullopt; }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
  std::string path_;  // what messages name
};

// Removes hidden replacements in folder that a process now gone left behind
// (killed before it could delete them): only files with exactly our naming,
// never one of a live process.
void RemoveLeftoverReplacements(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  const HANDLE listing = ::FindFirstFileA(Joined(folder, ".*.tmp*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> leftovers;
  do {
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    const std::optional<std::uint64_t> owner = ReplacementOwner(entry.cFileName);
    if (!owner || *owner == ::GetCurrentProcessId()) continue;
    // Gone: no such process any more, or one that has ended and is only
    // still known through a handle somebody keeps.
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(*owner));
    bool gone = false;
    if (process) {
      gone = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      ::CloseHandle(process);
    } else {
      gone = ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    if (gone) leftovers.push_back(entry.cFileName);
  } while (::FindNextFileA(listing, &entry));
  ::FindClose(listing);
  for (const std::string& name : leftovers) ::DeleteFileA(Joined(folder, name).c_str());
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, HoldMode hold,
                             FileError& error) override {
    if (path.empty()) {
      error = FileError{2, path};
      return nullptr;
    }
    const DWORD disposition = mode == OpenMode::kCreate ? OPEN_ALWAYS : OPEN_EXISTING;
    for (;;) {
      const HANDLE handle = OpenHandle(path, disposition, 0, FILE_ATTRIBUTE_NORMAL);
      if (handle != INVALID_HANDLE_VALUE) {
        if (::GetFileType(handle) != FILE_TYPE_DISK) {
          // A device or pipe name (NUL, COM1, \\.\pipe\...) is no file.
          ::CloseHandle(handle);
          error = FileError{5, path};
          return nullptr;
        }
        return std::make_unique<Win32File>(handle, AbsolutePath(path));
      }
      const DWORD code = ::GetLastError();
      if (code == ERROR_SHARING_VIOLATION && hold == HoldMode::kWait) {
        ::Sleep(5);
        continue;
      }
      error = FileError{FileErrorCauseFromWin32(code), path};
      return nullptr;
    }
  }

  std::unique_ptr<File> CreateReplacementFor(const std::string& path, std::uint32_t,
                                             FileError& error) override {
    if (path.empty()) {
      error = FileError{2, path};
      return nullptr;
    }
    // The name given is replaced; Windows symbolic links (rare, made only
    // with a privilege) are replaced as names, not followed.
    DWORD target_attributes = ::GetFileAttributesA(path.c_str());
    if (target_attributes == INVALID_FILE_ATTRIBUTES) {
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        // A folder that is missing or a name too long: said now, not after
        // the whole copy has been written.
        error = LastError(path);
        return nullptr;
      }
      target_attributes = 0;
    } else if (target_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
      error = FileError{5, path};
      return nullptr;
    }
    const std::string folder = FolderOf(path);
    RemoveLeftoverReplacements(folder);

    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string hidden =
          Joined(folder, ReplacementName(BaseNameOf(path), ::GetCurrentProcessId(), counter++,
                                         ::GetTickCount64()));
      const HANDLE handle =
          OpenHandle(hidden, CREATE_NEW, FILE_SHARE_DELETE, FILE_ATTRIBUTE_HIDDEN);
      if (handle == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_EXISTS) continue;
        error = LastError(path);
        return nullptr;
      }
      auto file = std::make_unique<Win32File>(handle, AbsolutePath(path));
      file->hidden_path = hidden;
      file->target_attributes = target_attributes;
      return file;
    }
    error = FileError{8, path};  // "could not be created because the directory is full"
    return nullptr;
  }

  FileStatus ReplaceWith(File& replacement, const std::string& path) override {
    auto* file = dynamic_cast<Win32File*>(&replacement);
    if (!file || file->hidden_path.empty()) return FileError{6, AbsolutePath(path)};
    // Write-through: the new name is on the disk when the call returns.
    if (!::MoveFileExA(file->hidden_path.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError(AbsolutePath(path));
    }
    // No longer hidden; what the old file had (archive, not indexed) it keeps.
    FILE_BASIC_INFO basic;
    if (::GetFileInformationByHandleEx(file->Handle(), FileBasicInfo, &basic, sizeof basic)) {
      const DWORD kept =
          file->target_attributes & ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
      basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
      (void)::SetFileInformationByHandle(file->Handle(), FileBasicInfo, &basic, sizeof basic);
    }
    file->Placed(AbsolutePath(path));
    return std::nullopt;
  }

  void Discard(std::unique_ptr<File> replacement) override {
    if (!replacement) return;
    auto* file = dynamic_cast<Win32File*>(replacement.get());
    if (file && !file->hidden_path.empty()) {
      // Deleted when the handle closes, below.
      FILE_DISPOSITION_INFO disposition{TRUE};
      if (!::SetFileInformationByHandle(file->Handle(), FileDispositionInfo, &disposition,
                                        sizeof disposition)) {
        replacement->Close();
        ::DeleteFileA(file->hidden_path.c_str());
        return;
      }
    }
    replacement->Close();
  }

  std::optional<FileId> IdOf(const std::string& path) override {
    if (path.empty()) return std::nullopt;
    // No access to the data asked for, so a held file is identified too.
    const HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    Win32File file(handle, path);
    return file.Id();
  }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static Win32FileSystem files;
  return files;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  // "C:\x", "\\server\share", "\x": absolute, or rooted on the current drive.
  if (IsSeparator(path[0]) || (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])))
    return path;
  if (path.size() >= 2 && path[1] == ':') {
    // "C:x": relative to that drive's own current folder, which only the
    // system knows.
    char full[MAX_PATH * 4];
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
  }
  const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return path;
  std::string folder(needed, '\0');
  const DWORD length = ::GetCurrentDirectoryA(needed, folder.data());
  if (length == 0 || length >= needed) return path;
  folder.resize(length);
  return Joined(folder, path);
}
