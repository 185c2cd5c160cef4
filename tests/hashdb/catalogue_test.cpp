// The catalogue on every platform; what exists only on POSIX (fork,
// permission bits and users, symbolic links, mounts) is marked so.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <optional>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "platform/file.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"

namespace {

// Every call the catalogue makes of its observer, in order.
class RecordingProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t total) override { calls.push_back("Begin " + std::to_string(total)); }
  void Advance(std::uint64_t done) override {
    calls.push_back("Advance " + std::to_string(done));
    last_done = done;
  }
  void End() override { calls.push_back("End"); }

  std::vector<std::string> calls;
  std::uint64_t last_done = 0;
};

// Names and words that a careless reader or writer gets wrong.
std::vector<TestRecord> TrickyRecords() {
  return {
      {0, "Known Good - System"},
      {2, "Odd word"},                                        // on, but not 1
      {1, std::string("Short\0leftover bytes\xff\x01", 22)},  // bytes after the NUL
      {0, std::string(255, 'L')},                             // NUL in the field's last byte
      {0, ""},                                                // empty name
      {1, "Twin"},
      {0, "Twin"},
      {0xFFFFFFFFu, "All bits"},
  };
}

// The bytes on disk of path while holder may hold it. Windows lets nobody
// read a held file, not even its holder's own process: there an unchanged
// holder lets go for the read and takes the file up again.
std::string OnDisk(const std::string& path, CHashSetCatalogue& holder) {
#ifdef _WIN32
  if (holder.IsOpen() && !holder.IsChanged() && DefaultFileSystem().IdOf(path) &&
      DefaultFileSystem().IdOf(path) == DefaultFileSystem().IdOf(holder.GetPath())) {
    const std::string held = holder.GetPath();
    holder.Close();
    const std::string bytes = ReadBytes(path);
    EXPECT_TRUE(holder.Load(held).ok());
    return bytes;
  }
#else
  (void)holder;
#endif
  return ReadBytes(path);
}

class CatalogueTest : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ / name;
    WriteBytes(path, bytes);
    return path;
  }

  TempDir dir_;
  const std::string tail_ = std::string("\x00tail\xff", 6) + std::string(200000, 'h') + "end";
};

TEST_F(CatalogueTest, LoadShowsNamesAndFlagsInFileOrder) {
  const std::string path = Make("a.hdb", DatabaseBytes(TrickyRecords(), tail_));
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(path).ok());
  EXPECT_TRUE(catalogue.IsOpen());
  EXPECT_FALSE(catalogue.IsChanged());
  EXPECT_EQ(catalogue.GetPath(), path);
  ASSERT_EQ(catalogue.GetCount(), 8u);
  const struct {
    const char* name;
    bool alert;
  } expected[] = {{"Known Good - System", false},
                  {"Odd word", true},
                  {"Short", true},
                  {nullptr, false},
                  {"", false},
                  {"Twin", true},
                  {"Twin", false},
                  {"All bits", true}};
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(catalogue.GetName(i), expected[i].name ? expected[i].name : std::string(255, 'L'))
        << i;
    EXPECT_EQ(catalogue.GetAlert(i), expected[i].alert) << i;
  }
  EXPECT_EQ(catalogue.GetName(8), "");  // past the end: nothing, no crash
  EXPECT_FALSE(catalogue.GetAlert(8));
  EXPECT_FALSE(catalogue.SetAlert(8, true));
}

TEST_F(CatalogueTest, NameWithoutNulEndsWithItsField) {
  const std::string path = Make("n.hdb", DatabaseBytes({{0, std::string(256, 'N')}, {0, "next"}}));
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(path).ok());
  EXPECT_EQ(catalogue.GetName(0), std::string(256, 'N'));  // not run into the next record
  EXPECT_EQ(catalogue.GetName(1), "next");
}

TEST_F(CatalogueTest, UnchangedSaveAndCopyAreByteIdentical) {
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"tricky records", DatabaseBytes(TrickyRecords(), tail_)},
      {"no tail", DatabaseBytes(TrickyRecords())},
      {"count 0 with tail", DatabaseBytes({}, tail_)},
      {"count 0, header only", DatabaseBytes({}, "", std::string(16, '\0'))},
      {"name without NUL", DatabaseBytes({{1, std::string(256, 'N')}}, "t")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = Make("db.hdb", c.bytes);
    const std::string copy = dir_ / "copy.hdb";
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(path).ok());
    ASSERT_TRUE(catalogue.Save());
    EXPECT_EQ(OnDisk(path, catalogue), c.bytes);
    RecordingProgress progress;
    ASSERT_TRUE(catalogue.SaveAs(copy, progress));
    EXPECT_EQ(OnDisk(copy, catalogue), c.bytes);
    EXPECT_EQ(ReadBytes(path), c.bytes);
    ASSERT_TRUE(catalogue.Save());  // now into the copy
    EXPECT_EQ(OnDisk(copy, catalogue), c.bytes);
    catalogue.Close();
    std::filesystem::remove(copy);
  }
}

TEST_F(CatalogueTest, SetAlertStoresOneOrZero) {
  const struct {
    std::uint32_t word;
    bool on;
    bool changes;
    std::uint32_t stored;
  } cases[] = {
      {0, true, true, 1},   {1, true, false, 1}, {2, true, true, 1},  {0xFFFFFFFF, true, true, 1},
      {0, false, false, 0}, {1, false, true, 0}, {2, false, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("word " + std::to_string(c.word) + (c.on ? " on" : " off"));
    const std::string path = Make("w.hdb", DatabaseBytes({{0, "a"}, {c.word, "b"}}, tail_));
    const std::string before = ReadBytes(path);
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(path).ok());
    EXPECT_EQ(catalogue.SetAlert(1, c.on), c.changes);
    EXPECT_EQ(catalogue.IsChanged(), c.changes);
    EXPECT_EQ(catalogue.GetAlert(1), c.on);
    ASSERT_TRUE(catalogue.Save());
    EXPECT_FALSE(catalogue.IsChanged());
    std::string expected = before;
    expected.replace(AlertOffset(1), 4, Le32(c.stored));
    EXPECT_EQ(OnDisk(path, catalogue), expected);  // exactly those 4 bytes, nothing else
  }
}

TEST_F(CatalogueTest, OddWordsSurviveSavesUnlessSet) {
  const std::string path = Make("a.hdb", DatabaseBytes(TrickyRecords(), tail_));
  const std::string before = ReadBytes(path);
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(path).ok());
  ASSERT_TRUE(catalogue.SetAlert(0, true));
  ASSERT_TRUE(catalogue.SetAlert(0, false));  // back again: the file is as before
  EXPECT_TRUE(catalogue.IsChanged());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(catalogue.Save());
  EXPECT_EQ(OnDisk(path, catalogue), before);
}

TEST_F(CatalogueTest, SaveAsCopiesTailAndReportsProgress) {
  const std::string source_bytes = DatabaseBytes(TrickyRecords(), tail_);
  const std::string source = Make("a.hdb", source_bytes);
  const std::string target =
      Make("existing.hdb", std::string(500000, 'X'));  // longer than the copy
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(source).ok());
  ASSERT_TRUE(catalogue.SetAlert(0, true));
  RecordingProgress progress;
  ASSERT_TRUE(catalogue.SaveAs(target, progress));

  std::string expected = source_bytes;
  expected.replace(AlertOffset(0), 4, Le32(1));
  EXPECT_EQ(OnDisk(target, catalogue), expected);  // replaced completely
  EXPECT_EQ(ReadBytes(source), source_bytes);      // the source never gets the change
  EXPECT_EQ(catalogue.GetPath(), target);
  EXPECT_FALSE(catalogue.IsChanged());
  EXPECT_EQ(ListFolder(dir_.path()), "a.hdb existing.hdb ");

  ASSERT_GE(progress.calls.size(), 3u);
  EXPECT_EQ(progress.calls.front(), "Begin " + std::to_string(source_bytes.size()));
  EXPECT_EQ(progress.calls.back(), "End");
  EXPECT_EQ(progress.last_done, tail_.size());  // short of Begin's total by the table
  std::uint64_t previous = 0;
  for (std::size_t i = 1; i + 1 < progress.calls.size(); ++i) {
    const std::uint64_t done = std::stoull(progress.calls[i].substr(8));
    EXPECT_GT(done, previous);
    EXPECT_LE(done - previous, kTailCopyChunk);
    previous = done;
  }

  // The old file is free again; later saves go to the copy only.
  CHashSetCatalogue other;
  EXPECT_TRUE(other.Load(source).ok());
  other.Close();
  ASSERT_TRUE(catalogue.SetAlert(1, false));
  ASSERT_TRUE(catalogue.Save());
  EXPECT_EQ(ReadBytes(source), source_bytes);
  expected.replace(AlertOffset(1), 4, Le32(0));
  EXPECT_EQ(OnDisk(target, catalogue), expected);
}

TEST_F(CatalogueTest, SaveAsWithEmptyTailHasNoAdvance) {
  const std::string source = Make("a.hdb", DatabaseBytes({{0, "one"}}));
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(source).ok());
  RecordingProgress progress;
  ASSERT_TRUE(catalogue.SaveAs(dir_ / "b.hdb", progress));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Begin 280", "End"}));
}

TEST_F(CatalogueTest, SaveAsOwnPathSavesInPlaceWithoutProgress) {
  const std::string path = Make("a.hdb", DatabaseBytes({{0, "one"}}, tail_));
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(path).ok());
  ASSERT_TRUE(catalogue.SetAlert(0, true));
  RecordingProgress progress;
  ASSERT_TRUE(catalogue.SaveAs(path, progress));
  EXPECT_TRUE(progress.calls.empty());
  EXPECT_FALSE(catalogue.IsChanged());
  EXPECT_EQ(OnDisk(path, catalogue).substr(20, 4), Le32(1));
  EXPECT_EQ(ListFolder(dir_.path()), "a.hdb ");
}

#ifndef _WIN32
// A new copy takes the source's permission bits (less the umask, as cp gives
// them), so a private database stays private; an existing target keeps its
// own bits and owner. Also where the copy starts under a hidden name.
TEST_F(CatalogueTest, SaveAsPermissions) {
  const struct {
    mode_t source;
    mode_t umask;
    std::optional<mode_t> existing;
    mode_t expected;
  } cases[] = {
      {0600, 022, std::nullopt, 0600},
      {0640, 022, std::nullopt, 0640},
      {0664, 077, std::nullopt, 0600},
      {0600, 022, 0664, 0664},
  };
  const bool root = ::geteuid() == 0;
  for (FileSystem* files : {&DefaultFileSystem(), &FileSystemWithoutUnnamedFiles()}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.source) + " " + std::to_string(c.umask) + " " +
                   std::to_string(c.existing.value_or(0)));
      const std::string source = Make("a.hdb", DatabaseBytes({{0, "one"}}, tail_));
      ASSERT_EQ(::chmod(source.c_str(), c.source), 0);
      const std::string target = dir_ / "b.hdb";
      ::unlink(target.c_str());
      if (c.existing) {
        WriteBytes(target, "previous");
        ASSERT_EQ(::chmod(target.c_str(), *c.existing), 0);
        if (root) {
          ASSERT_EQ(::chown(target.c_str(), 4242, 4242), 0);
        }
      }
      CHashSetCatalogue catalogue(*files);
      ASSERT_TRUE(catalogue.Load(source).ok());
      RecordingProgress progress;
      const mode_t old_umask = ::umask(c.umask);
      const SaveResult result = catalogue.SaveAs(target, progress);
      ::umask(old_umask);
      ASSERT_TRUE(result);
      struct stat st {};
      ASSERT_EQ(::stat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, c.expected);
      if (c.existing && root) {
        EXPECT_EQ(st.st_uid, 4242u);
      }
    }
  }
}

#endif

TEST_F(CatalogueTest, SaveAsRefusesTheOpenFileUnderAnotherSpelling) {
  const std::string bytes = DatabaseBytes(TrickyRecords(), tail_);
  const std::string path = Make("a.hdb", bytes);
  std::filesystem::create_hard_link(path, dir_ / "hard.hdb");
  std::vector<std::string> spellings = {"a.hdb", "./a.hdb", "hard.hdb", dir_.path() + "//a.hdb"};
#ifdef _WIN32
  spellings.push_back("A.HDB");  // names compare without regard to case
  std::string listing = "a.hdb hard.hdb ";
#else
  ASSERT_EQ(symlink(path.c_str(), (dir_ / "link.hdb").c_str()), 0);
  spellings.push_back("link.hdb");
  std::string listing = "a.hdb hard.hdb link.hdb ";
#endif
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(path).ok());
    ASSERT_TRUE(catalogue.SetAlert(0, true));
    RecordingProgress progress;
    const SaveResult result = catalogue.SaveAs(spelling, progress);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error);
    ASSERT_TRUE(result.refusal);
    EXPECT_EQ(result.refusal->cause, 11);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_EQ(catalogue.GetPath(), path);
    EXPECT_TRUE(catalogue.IsChanged());
    catalogue.Close();  // without saving: the file on disk was never touched
    EXPECT_EQ(ReadBytes(path), bytes);
  }
  std::filesystem::current_path(here);
  EXPECT_EQ(ListFolder(dir_.path()), listing);
}

TEST_F(CatalogueTest, SaveAsRefusesATargetHeldElsewhere) {
  const std::string source = Make("a.hdb", DatabaseBytes({{0, "one"}}, tail_));
  const std::string target_bytes = DatabaseBytes({{1, "held"}});
  const std::string target = Make("held.hdb", target_bytes);
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(target).ok());
  CHashSetCatalogue catalogue;
  ASSERT_TRUE(catalogue.Load(source).ok());
  RecordingProgress progress;
  const SaveResult result = catalogue.SaveAs(target, progress);
  EXPECT_FALSE(result);
  ASSERT_TRUE(result.refusal);
  EXPECT_EQ(result.refusal->Message(),
            "A sharing violation occurred while accessing " + target + ".");
  EXPECT_EQ(OnDisk(target, holder), target_bytes);
  EXPECT_EQ(catalogue.GetPath(), source);
  EXPECT_EQ(ListFolder(dir_.path()), "a.hdb held.hdb ");
}

// Targets that cannot be written are refused before anything is copied.
TEST_F(CatalogueTest, SaveAsToAnImpossiblePathIsRefused) {
  const std::string source = Make("a.hdb", DatabaseBytes({{0, "one"}}, tail_));
  const struct {
    std::string target;
    int cause;
  } cases[] = {
#ifdef _WIN32
      {dir_ / "nowhere/b.hdb", 3},  // Windows: the path, not the file, is missing
#else
      {dir_ / "nowhere/b.hdb", 2},
#endif
      {dir_ / "a.hdb/b.hdb", 3},                     // a file used as a folder
      {dir_ / (std::string(300, 'n') + ".hdb"), 3},  // a name too long
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(source).ok());
    RecordingProgress progress;
    const SaveResult result = catalogue.SaveAs(c.target, progress);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error);
    ASSERT_TRUE(result.refusal);
    EXPECT_EQ(result.refusal->cause, c.cause);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_TRUE(catalogue.IsOpen());
  }
  EXPECT_EQ(ListFolder(dir_.path()), "a.hdb ");
}

TEST_F(CatalogueTest, TheHoldKeepsOthersOutUntilClose) {
  const std::string path = Make("a.hdb", DatabaseBytes({{0, "one"}}));
  CHashSetCatalogue first;
  ASSERT_TRUE(first.Load(path).ok());

  CHashSetCatalogue second;  // the same program
  LoadResult again = second.Load(path);
  ASSERT_TRUE(again.failure);
  EXPECT_EQ(again.failure->cause, 11);
  EXPECT_EQ(again.failure->message, "A sharing violation occurred while accessing " + path + ".");
  EXPECT_FALSE(second.IsOpen());

#ifndef _WIN32
  const pid_t child = fork();  // another program (Windows: FileWin32Test)
  if (child == 0) {
    CHashSetCatalogue other;
    const LoadResult result = other.Load(path);
    _exit(result.failure ? result.failure->cause : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 11);
#endif

  first.Close();
  EXPECT_TRUE(second.Load(path).ok());
}

TEST_F(CatalogueTest, LoadFailuresLeaveItClosed) {
  const std::string small = Make("small.hdb", DatabaseBytes({{0, "one"}}));
  const struct {
    const char* label;
    std::string bytes;
    int cause;
  } cases[] = {
      {"empty file", "", 14},
      {"19 bytes", std::string(19, 'p'), 14},
      {"record table one byte short", DatabaseBytes({{0, "a"}, {0, "b"}}).substr(0, 539), 14},
      {"count 0xFFFFFFFF on a small file",
       std::string(16, 'p') + Le32(0xFFFFFFFFu) + std::string(1000, 'r'), 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = Make("bad.hdb", c.bytes);
    CHashSetCatalogue catalogue;
    const LoadResult result = catalogue.Load(path);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->cause, c.cause);
    EXPECT_EQ(result.failure->message, "An attempt was made to access " + path + " past its end.");
    EXPECT_FALSE(catalogue.IsOpen());
    EXPECT_EQ(catalogue.GetCount(), 0u);
    EXPECT_EQ(ReadBytes(path), c.bytes);
    EXPECT_TRUE(catalogue.Load(small).ok());  // a failed Load leaves room for the next
  }

  CHashSetCatalogue catalogue;
  const LoadResult missing = catalogue.Load(dir_ / "missing.hdb");
  ASSERT_TRUE(missing.failure);
  EXPECT_EQ(missing.failure->message, dir_ / "missing.hdb" + " was not found.");
  EXPECT_EQ(catalogue.Load(dir_.path()).failure->cause, 5);
  EXPECT_EQ(catalogue.Load("").failure->message, "an unnamed file was not found.");
#ifndef _WIN32
  // The ANSI file calls on Windows stop at MAX_PATH.
  const std::string long_path =
      dir_.path() + std::string(3000, '/') + "x.hdb";  // beyond 260, within the platform's limit
  WriteBytes(dir_ / "x.hdb", DatabaseBytes({}));
  EXPECT_TRUE(catalogue.Load(long_path).ok());
#endif
}

// Load opens for reading and writing, so a file that may only be read is
// refused. Root may write anything, so as root the check runs as "nobody".
#ifdef _WIN32
TEST_F(CatalogueTest, ReadOnlyFileCannotBeLoaded) {
  const std::string path = Make("ro.hdb", DatabaseBytes({{0, "one"}}));
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE writer =
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (writer != INVALID_HANDLE_VALUE) {
    ::CloseHandle(writer);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "read-only files are writable here (Wine run as root)";
  }
  CHashSetCatalogue catalogue;
  const LoadResult result = catalogue.Load(path);
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->message, "Access to " + path + " was denied.");
}
#else
TEST_F(CatalogueTest, ReadOnlyFileCannotBeLoaded) {
  const std::string path = Make("ro.hdb", DatabaseBytes({{0, "one"}}));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    CHashSetCatalogue catalogue;
    const LoadResult result = catalogue.Load(path);
    _exit(result.failure && result.failure->message == "Access to " + path + " was denied." ? 0
                                                                                            : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "cannot run as another user here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST_F(CatalogueTest, CloseDropsChanges) {
  const std::string bytes = DatabaseBytes({{0, "one"}});
  const std::string path = Make("a.hdb", bytes);
  CHashSetCatalogue catalogue;
  catalogue.Close();  // nothing open: nothing happens
  ASSERT_TRUE(catalogue.Load(path).ok());
  ASSERT_TRUE(catalogue.SetAlert(0, true));
  catalogue.Close();
  EXPECT_FALSE(catalogue.IsOpen());
  EXPECT_FALSE(catalogue.IsChanged());
  EXPECT_EQ(catalogue.GetCount(), 0u);
  EXPECT_EQ(ReadBytes(path), bytes);
  RecordingProgress progress;
  EXPECT_FALSE(catalogue.Save());
  EXPECT_FALSE(catalogue.SaveAs(dir_ / "b.hdb", progress));
}

// Faults injected between the catalogue and the disk.
// The fault tests copy in 64 KiB chunks, so small tails take several steps.
constexpr std::size_t kFaultChunk = 65536;

class CatalogueFaultTest : public CatalogueTest {
 protected:
  void SetUp() override {
    SampleOptions options;
    options.sets = 8000;          // more than one block of records
    options.tail_bytes = 300000;  // several chunks of tail
    ASSERT_FALSE(WriteSampleDatabase(source_, options));
    source_bytes_ = ReadBytes(source_);
    WriteBytes(target_, "previous contents");
  }

  FaultFileSystem files_;
  std::string source_ = dir_ / "source.hdb";
  std::string target_ = dir_ / "target.hdb";
  std::string source_bytes_;
};

TEST_F(CatalogueFaultTest, ReadErrorMidLoad) {
  CHashSetCatalogue catalogue(files_, kFaultChunk);
  files_.FailOn(FileCall::kRead, 2, 10);  // the header reads, the records do not
  const LoadResult result = catalogue.Load(source_);
  ASSERT_TRUE(result.error);
  EXPECT_FALSE(result.failure);
  EXPECT_EQ(result.error->Message(),
            "A hardware I/O error was reported while accessing " + source_ + ".");
  EXPECT_FALSE(catalogue.IsOpen());
  catalogue.Close();
  EXPECT_TRUE(catalogue.Load(source_).ok());
  EXPECT_EQ(catalogue.GetCount(), 8000u);
}

TEST_F(CatalogueFaultTest, SaveErrorsKeepTheChangedFlag) {
  const struct {
    const char* label;
    std::function<void(FaultFileSystem&)> fault;
    int cause;
  } cases[] = {
      {"short write", [](FaultFileSystem& f) { f.ShortWriteOn(2, 100); }, 13},
      {"failing write", [](FaultFileSystem& f) { f.FailOn(FileCall::kWrite, 1, 10); }, 10},
      {"failing seek", [](FaultFileSystem& f) { f.FailOn(FileCall::kSeek, 1, 9); }, 9},
      {"failing flush", [](FaultFileSystem& f) { f.FailOn(FileCall::kFlush, 1, 10); }, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CHashSetCatalogue catalogue(files_, kFaultChunk);
    ASSERT_TRUE(catalogue.Load(source_).ok());
    ASSERT_TRUE(catalogue.SetAlert(0, true));
    c.fault(files_);
    const SaveResult result = catalogue.Save();
    EXPECT_FALSE(result);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->cause, c.cause);
    EXPECT_EQ(result.error->path, source_);
    EXPECT_TRUE(catalogue.IsChanged());
    files_.ClearFaults();
    EXPECT_TRUE(catalogue.Save());  // and the next try works
    EXPECT_FALSE(catalogue.IsChanged());
    catalogue.Close();
    WriteBytes(source_, source_bytes_);
  }
}

TEST_F(CatalogueFaultTest, FailedCopyLeavesNoPartialFile) {
  const struct {
    const char* label;
    std::function<void(FaultFileSystem&)> fault;
    int cause;
    bool began;
  } cases[] = {
      {"disk full in the tail", [](FaultFileSystem& f) { f.SetFreeSpace(2200000); }, 13, true},
      {"disk full in the records", [](FaultFileSystem& f) { f.SetFreeSpace(1000); }, 13, false},
      {"short write", [](FaultFileSystem& f) { f.ShortWriteOn(5, 10); }, 13, true},
      {"source read fails in the tail",
       [](FaultFileSystem& f) { f.FailOn(FileCall::kRead, 3, 10); }, 10, true},
      {"failing flush", [](FaultFileSystem& f) { f.FailOn(FileCall::kFlush, 1, 10); }, 10, true},
      {"failing rename", [](FaultFileSystem& f) { f.FailOn(FileCall::kReplace, 1, 5); }, 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CHashSetCatalogue catalogue(files_, kFaultChunk);
    ASSERT_TRUE(catalogue.Load(source_).ok());
    ASSERT_TRUE(catalogue.SetAlert(0, true));
    c.fault(files_);
    RecordingProgress progress;
    const SaveResult result = catalogue.SaveAs(target_, progress);
    files_.ClearFaults();
    EXPECT_FALSE(result);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->cause, c.cause);
    EXPECT_EQ(ListFolder(dir_.path()), "source.hdb target.hdb ");
    EXPECT_EQ(ReadBytes(target_), "previous contents");
#ifndef _WIN32
    EXPECT_EQ(ReadBytes(source_), source_bytes_);  // Windows: checked after the Save below
#endif
    EXPECT_EQ(!progress.calls.empty(), c.began);
    if (!progress.calls.empty()) {
      EXPECT_NE(progress.calls.back(), "End");
    }
    // Still on the source, still changed: Save writes there.
    EXPECT_EQ(catalogue.GetPath(), source_);
    EXPECT_TRUE(catalogue.IsChanged());
    ASSERT_TRUE(catalogue.Save());
    std::string saved = source_bytes_;
    saved.replace(AlertOffset(0), 4, Le32(1));
    EXPECT_TRUE(OnDisk(source_, catalogue) == saved);  // the copy's failure never reached it
    catalogue.Close();
    WriteBytes(source_, source_bytes_);
  }
}

// Lengths beyond 4 GiB are counted in full: a sparse source of 5 GiB, whose copy
// is stopped after its first chunk so the test stays quick.
TEST_F(CatalogueFaultTest, FilesBeyondFourGibReportTheirLength) {
  const std::string big = dir_ / "big.hdb";
  WriteBytes(big, DatabaseBytes({{0, "one"}}));
  constexpr std::uint64_t kLength = (5ull << 30) + 300;
  std::filesystem::resize_file(big, kLength);
  CHashSetCatalogue catalogue(files_, kFaultChunk);
  ASSERT_TRUE(catalogue.Load(big).ok());
  files_.FailOn(FileCall::kRead, 2, 10);
  RecordingProgress progress;
  const SaveResult result = catalogue.SaveAs(dir_ / "copy.hdb", progress);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Begin " + std::to_string(kLength),
                                                      "Advance " + std::to_string(kFaultChunk)}));
  EXPECT_FALSE(Exists(dir_ / "copy.hdb"));
}

#ifndef _WIN32
// A real full disk: a tiny tmpfs, for which the test must be root.
TEST_F(CatalogueFaultTest, RealDiskFullOnATinyFileSystem) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  TempDir mount_point;
  if (mount("tmpfs", mount_point.path().c_str(), "tmpfs", 0, "size=2200k") != 0) {
    GTEST_SKIP() << "tmpfs cannot be mounted here";
  }
  // Unmounted however the test ends, before the mount point is removed.
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{mount_point.path()};
  const std::string target = mount_point / "copy.hdb";
  WriteBytes(target, "kept");
  {
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(source_).ok());
    RecordingProgress progress;
    const SaveResult result = catalogue.SaveAs(target, progress);
    EXPECT_FALSE(result);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->Message(), "Disk full while accessing " + target + ".");
    EXPECT_EQ(ListFolder(mount_point.path()), "copy.hdb ");
    EXPECT_EQ(ReadBytes(target), "kept");
    EXPECT_EQ(catalogue.GetPath(), source_);
  }
}

#endif

}  // namespace
