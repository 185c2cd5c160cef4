// What files do the same way on every platform.
#include "platform/file.h"

FileStatus ReplaceFileContents(FileSystem& files, const std::string& path,
                               const std::string& contents) {
  FileError error;
  std::unique_ptr<File> replacement = files.CreateReplacementFor(path, kNewFileMode, error);
  if (!replacement) return error;
  FileStatus status = replacement->Write(contents.data(), contents.size());
  if (!status) status = replacement->Flush();
  if (!status) status = files.ReplaceWith(*replacement, path);
  if (status) {
    files.Discard(std::move(replacement));
    return status;
  }
  replacement->Close();
  return std::nullopt;
}
