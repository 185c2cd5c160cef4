#include "hashdb/hash_set_catalogue.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace {

constexpr std::size_t kMaxLoadFailureMessage = 1023;
// The record table moves in blocks of whole records of about 1 MiB.
constexpr std::size_t kRecordsPerBlock = (1u << 20) / kRecordSize;

LoadFailure MakeLoadFailure(int cause, const std::string& path) {
  return LoadFailure{cause, FileErrorMessage(cause, path, kMaxLoadFailureMessage)};
}

// Reads exactly size bytes; the file ending first is cause 14.
FileStatus ReadFully(File& file, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    std::size_t done = 0;
    if (auto error = file.Read(bytes, size, done)) return error;
    if (done == 0) return FileError{14, file.Path()};
    bytes += done;
    size -= done;
  }
  return std::nullopt;
}

// The header and the record table, at the file's current position.
FileStatus WriteTable(File& file, const HashDatabaseHeader& header, const std::uint8_t* table,
                      std::uint32_t count) {
  if (auto error = file.Write(header.bytes.data(), header.bytes.size())) return error;
  for (std::size_t first = 0; first < count; first += kRecordsPerBlock) {
    const std::size_t block = std::min<std::size_t>(kRecordsPerBlock, count - first);
    if (auto error = file.Write(table + first * kRecordSize, block * kRecordSize)) return error;
  }
  return std::nullopt;
}

}  // namespace

CHashSetCatalogue::CHashSetCatalogue() : CHashSetCatalogue(DefaultFileSystem()) {}

CHashSetCatalogue::CHashSetCatalogue(FileSystem& files, std::size_t tail_chunk)
    : files_(files), tail_chunk_(tail_chunk > 0 ? tail_chunk : kTailCopyChunk) {}

CHashSetCatalogue::~CHashSetCatalogue() { Close(); }

LoadResult CHashSetCatalogue::Load(const std::string& path) {
  LoadResult result;
  if (IsOpen()) {
    // Callers close first; the open database is left as it is.
    result.failure = MakeLoadFailure(11, path);
    return result;
  }
  FileError open_error;
  std::unique_ptr<File> file =
      files_.Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, open_error);
  if (!file) {
    result.failure = MakeLoadFailure(open_error.cause, path);
    return result;
  }

  std::uint64_t length = 0;
  if (auto error = file->Length(length)) {
    result.error = error;
    return result;
  }
  HashDatabaseHeader header;
  if (length < kHeaderSize) {
    result.failure = MakeLoadFailure(14, path);
    return result;
  }
  if (auto error = ReadFully(*file, header.bytes.data(), header.bytes.size())) {
    result.error = error;
    return result;
  }
  // A count the file cannot hold is refused before anything is allocated.
  const std::uint32_t count = header.hash_set_count();
  if (TailOffset(count) > length) {
    result.failure = MakeLoadFailure(14, path);
    return result;
  }
  // Every byte is overwritten by the read, so the block is not cleared first.
  LargeBuffer table(static_cast<std::size_t>(TailOffset(count) - kHeaderSize));
  if (count > 0 && !table.data()) {
    result.failure = MakeLoadFailure(1, path);  // no memory for the table
    return result;
  }
  for (std::size_t first = 0; first < count; first += kRecordsPerBlock) {
    const std::size_t block = std::min<std::size_t>(kRecordsPerBlock, count - first);
    if (auto error = ReadFully(*file, table.data() + first * kRecordSize, block * kRecordSize)) {
      result.error = error;
      return result;
    }
  }

  file_ = std::move(file);
  path_ = path;
  header_ = header;
  table_ = std::move(table);
  count_ = count;
  ForgetDirty();
  changed_ = false;
  return result;
}

SaveResult CHashSetCatalogue::Save() {
  SaveResult result;
  if (!IsOpen()) return result;
  // Only the header and the records changed since the last load or save are
  // written: the other records already hold exactly these bytes on disk, so the
  // file ends up as a full rewrite would leave it, at the cost of the change.
  FileStatus error = file_->Seek(0);
  if (!error) error = file_->Write(header_.bytes.data(), header_.bytes.size());
  std::sort(dirty_.begin(), dirty_.end());
  for (std::size_t i = 0; !error && i < dirty_.size();) {
    // Neighbouring records go out in one write.
    std::size_t end = i + 1;
    while (end < dirty_.size() && dirty_[end] == dirty_[end - 1] + 1 &&
           end - i < kRecordsPerBlock) {
      ++end;
    }
    error = file_->Seek(kHeaderSize + std::uint64_t{kRecordSize} * dirty_[i]);
    if (!error) {
      error = file_->Write(table_.data() + std::size_t{dirty_[i]} * kRecordSize,
                           (end - i) * kRecordSize);
    }
    i = end;
  }
  if (!error) error = file_->Flush();
  if (error) {
    // The records stay marked, so the next Save writes them again.
    result.error = error;
    return result;
  }
  ForgetDirty();
  changed_ = false;
  result.saved = true;
  return result;
}

SaveResult CHashSetCatalogue::SaveAs(const std::string& path, SaveProgress& progress) {
  SaveResult result;
  if (!IsOpen()) return result;
  if (path == path_) return Save();

  // The open database under another spelling (relative, "./", a link): refused
  // before anything is touched.
  const std::optional<FileId> target_id = files_.IdOf(path);
  const std::optional<FileId> source_id = file_->Id();
  if (target_id && source_id && *target_id == *source_id) {
    result.refusal = FileError{11, AbsolutePath(path)};
    return result;
  }

  // A new copy takes the source's permission bits, as cp gives them; an
  // existing target keeps its own. The target is checked (a plain file, no
  // planted link) before anything of it is opened.
  FileError create_error;
  std::unique_ptr<File> copy =
      files_.CreateReplacementFor(path, file_->Permissions().value_or(kNewFileMode), create_error);
  if (!copy) {
    create_error.path = AbsolutePath(path);
    result.refusal = create_error;
    return result;
  }

  // An existing target is held until the copy has replaced it, so one that
  // another program holds (or that may not be written) is refused.
  std::unique_ptr<File> old_target;
  if (target_id) {
    FileError error;
    old_target = files_.Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error);
    if (!old_target && error.cause != 2) {
      files_.Discard(std::move(copy));
      result.refusal = FileError{error.cause, AbsolutePath(path)};
      return result;
    }
  }

  FileStatus error = WriteTable(*copy, header_, table_.data(), count_);
  std::uint64_t source_length = 0;
  if (!error) error = file_->Length(source_length);
  if (!error) error = file_->Seek(TailOffset(GetCount()));
  if (!error) {
    progress.Begin(source_length);
    std::vector<unsigned char> buffer(tail_chunk_);
    std::uint64_t total = 0;
    for (;;) {
      std::size_t done = 0;
      error = file_->Read(buffer.data(), buffer.size(), done);
      if (error || done == 0) break;
      error = copy->Write(buffer.data(), done);
      if (error) break;
      total += done;
      progress.Advance(total);
    }
  }
  if (!error) error = copy->Flush();
  if (!error && old_target && kReplacingNeedsTargetClosed) old_target->Close();
  if (!error) error = files_.ReplaceWith(*copy, path);
  if (error) {
    files_.Discard(std::move(copy));
    result.error = error;
    return result;
  }

  if (old_target) old_target->Close();
  file_->Close();
  file_ = std::move(copy);
  path_ = path;
  ForgetDirty();
  changed_ = false;
  progress.End();
  result.saved = true;
  return result;
}

void CHashSetCatalogue::Close() {
  if (!file_) return;
  file_->Close();
  file_.reset();
  path_.clear();
  header_ = HashDatabaseHeader{};
  table_ = LargeBuffer();
  count_ = 0;
  ForgetDirty();
  changed_ = false;
}

bool CHashSetCatalogue::IsOpen() const { return file_ != nullptr; }

const std::string& CHashSetCatalogue::GetPath() const { return path_; }

std::uint32_t CHashSetCatalogue::GetCount() const { return count_; }

std::string CHashSetCatalogue::GetName(std::uint32_t index) const {
  return std::string(GetNameView(index));
}

std::string_view CHashSetCatalogue::GetNameView(std::uint32_t index) const {
  if (index >= count_) return std::string_view();
  const char* field = reinterpret_cast<const char*>(RecordBytes(index) + 4);
  return std::string_view(field, ::strnlen(field, kNameFieldSize));
}

bool CHashSetCatalogue::GetAlert(std::uint32_t index) const {
  return index < count_ && AlertWord(index) != 0;
}

std::span<const std::uint8_t> CHashSetCatalogue::GetRecordTable() const {
  return {table_.data(), static_cast<std::size_t>(TailOffset(count_) - kHeaderSize)};
}

bool CHashSetCatalogue::SetAlert(std::uint32_t index, bool on) {
  if (index >= count_) return false;
  const std::uint32_t word = on ? 1 : 0;
  if (AlertWord(index) == word) return false;
  std::uint8_t* bytes = table_.data() + std::size_t{index} * kRecordSize;
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
  MarkDirty(index);
  changed_ = true;
  return true;
}

bool CHashSetCatalogue::IsChanged() const { return changed_; }

// Fields are read where they lie in the table; nothing is copied out.
const std::uint8_t* CHashSetCatalogue::RecordBytes(std::uint32_t index) const {
  return table_.data() + std::size_t{index} * kRecordSize;
}

std::uint32_t CHashSetCatalogue::AlertWord(std::uint32_t index) const {
  const std::uint8_t* b = RecordBytes(index);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

void CHashSetCatalogue::MarkDirty(std::uint32_t index) {
  if (dirty_mark_.empty()) dirty_mark_.resize(count_);
  if (dirty_mark_[index]) return;
  dirty_mark_[index] = true;
  dirty_.push_back(index);
}

void CHashSetCatalogue::ForgetDirty() {
  dirty_.clear();
  dirty_mark_.clear();
}
