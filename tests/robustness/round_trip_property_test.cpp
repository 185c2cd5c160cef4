// Randomised round trips: random databases and random SetAlert sequences,
// checked against a model that works on the file's bytes alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hashdb/hash_set_catalogue.h"
#include "platform/file.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"
#include "tests/robustness/memory_folders.h"

namespace {

// The copy in 64 KiB chunks, so the tails around a chunk boundary stay small.
constexpr std::size_t kChunk = 65536;

// Every call of the observer, so the order and the totals can be checked.
class ProgressLog final : public SaveProgress {
 public:
  void Begin(std::uint64_t total) override {
    ++begins;
    begin_total = total;
  }
  void Advance(std::uint64_t done) override {
    if (begins != 1 || ends != 0) misordered = true;
    advances.push_back(done);
  }
  void End() override {
    if (begins != 1) misordered = true;
    ++ends;
  }

  int begins = 0;
  int ends = 0;
  bool misordered = false;
  std::uint64_t begin_total = 0;
  std::vector<std::uint64_t> advances;
};

// The model: the database as bytes, with the alert words read and written at
// their offsets, nothing else interpreted.
struct Model {
  std::string bytes;
  std::uint32_t count = 0;
  std::size_t tail_size = 0;
  std::vector<std::string> names;  // what GetName must give

  std::uint32_t Word(std::uint32_t i) const {
    std::uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[AlertOffset(i) + b]))
              << (8 * b);
    }
    return word;
  }
  // What SetAlert must do: store 1 or 0 unless the word already is exactly that.
  bool Set(std::uint32_t i, bool on) {
    if (i >= count) return false;
    const std::uint32_t want = on ? 1 : 0;
    if (Word(i) == want) return false;
    bytes.replace(AlertOffset(i), 4, Le32(want));
    return true;
  }
};

std::string RandomBytes(std::mt19937_64& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t word = random();
    std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, size - i));
  }
  return bytes;
}

std::uint32_t Pick(std::mt19937_64& random, std::uint32_t below) {
  return static_cast<std::uint32_t>(random() % below);
}

// A name field of each kind a reader can get wrong: plain, empty, 255 bytes,
// bytes after the NUL, no NUL at all, random bytes with NULs anywhere.
std::string RandomNameField(std::mt19937_64& random, std::string& name) {
  std::string field;
  switch (Pick(random, 6)) {
    case 0:
      name = "Set " + std::to_string(random() % 100000);
      field = name;
      break;
    case 1:
      name.clear();
      field = std::string(1, '\0') + RandomBytes(random, Pick(random, 255));
      break;
    case 2:
      name = std::string(255, static_cast<char>('A' + Pick(random, 26)));
      field = name;
      break;
    case 3:
      name = "Renamed";
      field = name + std::string(1, '\0') + RandomBytes(random, Pick(random, 248));
      break;
    case 4:
      field = RandomBytes(random, 256);
      for (char& c : field) {
        if (c == '\0') c = 'x';
      }
      name = field;  // no NUL: all 256 bytes
      break;
    default:
      field = RandomBytes(random, 256);
      name = field.substr(0, field.find('\0'));
      break;
  }
  field.resize(256, '\0');
  return field;
}

std::uint32_t RandomWord(std::mt19937_64& random) {
  const std::uint32_t words[] = {0, 1, 2, 0xFFFFFFFFu, 0x100u};
  return Pick(random, 3) == 0 ? static_cast<std::uint32_t>(random()) : words[Pick(random, 5)];
}

// Tail sizes around the chunk of the copy, and others.
std::size_t RandomTailSize(std::mt19937_64& random) {
  constexpr std::size_t k = kChunk;
  const std::size_t sizes[] = {0, 1, k - 1, k, k + 1, 2 * k - 1, 2 * k, 2 * k + 1, 3 * k};
  return Pick(random, 3) == 0 ? Pick(random, 200000) : sizes[Pick(random, 9)];
}

std::uint32_t RandomCount(std::mt19937_64& random) {
  switch (Pick(random, 16)) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 4033;  // one record past the first 1 MiB block of the table
    default: return 2 + Pick(random, 60);
  }
}

Model RandomDatabase(std::mt19937_64& random) {
  Model model;
  model.count = RandomCount(random);
  std::vector<TestRecord> records;
  for (std::uint32_t i = 0; i < model.count; ++i) {
    std::string name;
    std::string field = RandomNameField(random, name);
    records.push_back({RandomWord(random), field});
    model.names.push_back(name);
  }
  model.tail_size = RandomTailSize(random);
  const std::string preamble =
      Pick(random, 4) == 0 ? std::string(16, '\0') : RandomBytes(random, 16);
  model.bytes = DatabaseBytes(records, RandomBytes(random, model.tail_size), preamble);
  return model;
}

// A random batch of SetAlert calls, indices a little past the end included,
// applied to the catalogue and the model alike.
void RandomTicks(std::mt19937_64& random, CHashSetCatalogue& catalogue, Model& model,
                 bool& changed) {
  const std::uint32_t ticks = Pick(random, 25);
  for (std::uint32_t t = 0; t < ticks; ++t) {
    const std::uint32_t i = Pick(random, model.count + 3);
    const bool on = Pick(random, 2) == 1;
    const bool expected = model.Set(i, on);
    ASSERT_EQ(catalogue.SetAlert(i, on), expected) << "SetAlert(" << i << ", " << on << ")";
    changed = changed || expected;
    ASSERT_EQ(catalogue.IsChanged(), changed);
    if (i < model.count) {
      ASSERT_EQ(catalogue.GetAlert(i), model.Word(i) != 0);
    }
  }
}

void ExpectCopyProgress(const ProgressLog& progress, const Model& source) {
  EXPECT_FALSE(progress.misordered);
  EXPECT_EQ(progress.begins, 1);
  EXPECT_EQ(progress.ends, 1);
  EXPECT_EQ(progress.begin_total, source.bytes.size());
  std::uint64_t previous = 0;
  for (std::uint64_t done : progress.advances) {
    EXPECT_GT(done, previous);
    EXPECT_LE(done - previous, kChunk);
    previous = done;
  }
  EXPECT_EQ(previous, source.tail_size);
}

TEST(RoundTripProperty, RandomDatabasesAndTicksMatchTheByteModel) {
  const TemporaryFoldersInMemory in_memory;
  TempDir dir;
  const std::string source = dir / "source.hdb";
  const std::string copy = dir / "copy.hdb";
  std::mt19937_64 random(20261211);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Model model = RandomDatabase(random);
    const std::string original = model.bytes;
    WriteBytes(source, original);

    CHashSetCatalogue catalogue(DefaultFileSystem(), kChunk);
    ASSERT_TRUE(catalogue.Load(source).ok());
    ASSERT_EQ(catalogue.GetCount(), model.count);
    for (std::uint32_t i = 0; i < model.count; ++i) {
      ASSERT_EQ(catalogue.GetName(i), model.names[i]) << i;
      ASSERT_EQ(catalogue.GetAlert(i), model.Word(i) != 0) << i;
    }
    bool changed = false;
    ASSERT_NO_FATAL_FAILURE(RandomTicks(random, catalogue, model, changed));

    if (Pick(random, 2) == 0) {
      // In place: the file becomes the model, the tail and length untouched.
      ASSERT_TRUE(catalogue.Save());
      EXPECT_FALSE(catalogue.IsChanged());
      ASSERT_EQ(ReadBytes(source), model.bytes);
    } else {
      // A copy gets the model; the source keeps its bytes; later saves go to the copy.
      if (Pick(random, 2) == 0) WriteBytes(copy, RandomBytes(random, Pick(random, 300000)));
      ProgressLog progress;
      ASSERT_TRUE(catalogue.SaveAs(copy, progress));
      ExpectCopyProgress(progress, model);
      EXPECT_EQ(catalogue.GetPath(), copy);
      EXPECT_FALSE(catalogue.IsChanged());
      ASSERT_EQ(ReadBytes(copy), model.bytes);
      ASSERT_EQ(ReadBytes(source), original);
      {
        // The hold moved with the catalogue: the copy is held, the source free.
        CHashSetCatalogue other;
        const LoadResult held = other.Load(copy);
        ASSERT_TRUE(held.failure);
        EXPECT_EQ(held.failure->cause, 11);
        EXPECT_TRUE(other.Load(source).ok());
      }
      changed = false;
      ASSERT_NO_FATAL_FAILURE(RandomTicks(random, catalogue, model, changed));
      ASSERT_TRUE(catalogue.Save());
      ASSERT_EQ(ReadBytes(copy), model.bytes);
      ASSERT_EQ(ReadBytes(source), original);
      EXPECT_EQ(ListFolder(dir.path()), "copy.hdb source.hdb ");
    }
    catalogue.Close();
    ::unlink(copy.c_str());
  }
}

}  // namespace
