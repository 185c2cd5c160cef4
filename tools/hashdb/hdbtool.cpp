// hdbtool: the hash database library on the command line, for examiners who
// script. Same hold on the file and same messages as the editor.
// Exit codes: 0 done, 1 an error (its message on stderr), 2 a usage error.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hashdb/cp1252.h"
#include "hashdb/default_database.h"
#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "platform/file.h"
#include "platform/registry.h"
#include "platform/terminal_text.h"

#ifndef HDBTOOL_VERSION
#define HDBTOOL_VERSION "1.0"
#endif

namespace {

constexpr int kOk = 0;
constexpr int kError = 1;
constexpr int kUsage = 2;

constexpr const char* kHelp =
    R"(Usage: hdbtool COMMAND [ARGUMENTS]

Reads and changes the alert flags of a hash database (.hdb). The database is
held exclusively while hdbtool works on it, as the editor holds it.

Commands:
  list FILE [--json]        one line per hash set in file order: index, TAB,
                            1 or 0 (alert on or off), TAB, the name's bytes
                            with TAB, line break, CR and backslash written as
                            \t \n \r \\ and other control bytes as \xHH;
                            --json: an array of {"index", "alert", "name"},
                            alert true or false, names decoded from Windows-1252
  set FILE [--on SEL]... [--off SEL]... [--dry-run]
                            switches alerts on or off and saves in place;
                            --dry-run prints the sets that would change (as
                            list does, with the new flag) and writes nothing
  copy FILE NEWFILE [--on SEL]... [--off SEL]...
                            applies the changes to a copy saved as NEWFILE;
                            FILE stays as it is, and NEWFILE naming FILE
                            itself is refused; the copy takes its name only
                            when complete, so a failure or a kill leaves no
                            partial file; a new NEWFILE gets FILE's
                            permission bits, an existing one keeps its own;
                            a symbolic link another user owns in a sticky,
                            world-writable folder is not followed
  check FILE                validates the file without changing it: exit 0
                            when sound, 1 with the reason otherwise
  default                   opens the default database named in the registry
                            stand-in and prints its path
  make-sample FILE [--sets N] [--tail-bytes B]
                            writes a sample database (default 40 sets and a
                            64 KiB tail)
  --help, --version

SEL is a hash set's index, or name=TEXT for every set named exactly TEXT.
Changes apply in the order given.

Exit status: 0 done, 1 error (message on stderr), 2 usage error.
)";

int Usage(const std::string& problem) {
  std::cerr << "hdbtool: " << problem << "\nTry 'hdbtool --help'.\n";
  return kUsage;
}

int Fail(const std::string& message) {
  std::cerr << message << "\n";
  return kError;
}

// The command line after the command: positional arguments and options, in any
// order; "--" ends the options.
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<bool, std::string>> changes;   // (on, selector) in order
  bool json = false;
  bool dry_run = false;
  std::optional<std::string> sets;
  std::optional<std::string> tail_bytes;
};

std::optional<std::string> ParseArguments(int argc, char** argv, Arguments& out) {
  bool options = true;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (!options || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      out.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    std::optional<std::string> inline_value;
    if (const auto eq = arg.find('='); eq != std::string::npos) {
      inline_value = arg.substr(eq + 1);
      arg.resize(eq);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < argc) return std::string(argv[++i]);
      return std::nullopt;
    };
    if (arg == "--on" || arg == "--off") {
      auto selector = value();
      if (!selector) return arg + " needs a selector";
      out.changes.emplace_back(arg == "--on", *selector);
    } else if (arg == "--sets" || arg == "--tail-bytes") {
      auto number = value();
      if (!number) return arg + " needs a number";
      (arg == "--sets" ? out.sets : out.tail_bytes) = *number;
    } else if (arg == "--json" && !inline_value) {
      out.json = true;
    } else if (arg == "--dry-run" && !inline_value) {
      out.dry_run = true;
    } else {
      return "unknown option " + std::string(argv[i]);
    }
  }
  return std::nullopt;
}

std::optional<std::uint64_t> ParseNumber(const std::string& text, std::uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// The option combinations each command takes.
std::optional<std::string> CheckOptions(const std::string& command, const Arguments& args) {
  const bool changes_allowed = command == "set" || command == "copy";
  if (!changes_allowed && !args.changes.empty()) return "--on and --off belong to set and copy";
  if (command != "list" && args.json) return "--json belongs to list";
  if (command != "set" && args.dry_run) return "--dry-run belongs to set";
  if (command != "make-sample" && (args.sets || args.tail_bytes)) {
    return "--sets and --tail-bytes belong to make-sample";
  }
  for (const auto& [on, selector] : args.changes) {
    if (selector.rfind("name=", 0) != 0 && !ParseNumber(selector, UINT32_MAX)) {
      return "a selector is an index or name=TEXT, not '" + selector + "'";
    }
  }
  return std::nullopt;
}

bool Load(CHashSetCatalogue& catalogue, const std::string& path) {
  const LoadResult result = catalogue.Load(path);
  if (result.failure) std::cerr << result.failure->message << "\n";
  if (result.error) std::cerr << result.error->Message() << "\n";
  return result.ok();
}

// Applies the --on/--off changes in order. False (after a message) when a
// selector names no hash set, before anything is saved.
bool ApplyChanges(CHashSetCatalogue& catalogue, const Arguments& args) {
  for (const auto& [on, selector] : args.changes) {
    if (selector.rfind("name=", 0) == 0) {
      const std::string name = selector.substr(5);
      bool found = false;
      for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) {
        if (catalogue.GetNameView(i) == name) {
          catalogue.SetAlert(i, on);
          found = true;
        }
      }
      if (!found) {
        std::cerr << "No hash set in " << catalogue.GetPath() << " is named \"" << name << "\".\n";
        return false;
      }
    } else {
      const std::uint64_t index = *ParseNumber(selector, UINT32_MAX);
      if (index >= catalogue.GetCount()) {
        std::cerr << catalogue.GetPath() << " has no hash set " << index << " (it has "
                  << catalogue.GetCount() << ").\n";
        return false;
      }
      catalogue.SetAlert(static_cast<std::uint32_t>(index), on);
    }
  }
  return true;
}

// Lines are gathered and written in large blocks: a million sets print in one
// pass over the table instead of a million stream calls.
class LineWriter {
 public:
  ~LineWriter() { Flush(); }
  void Line(std::uint32_t index, bool alert, std::string_view name) {
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, index).ptr;
    buffer_.append(number, end);
    buffer_ += alert ? "\t1\t" : "\t0\t";
    AppendEscapedLine(buffer_, name);
    buffer_ += '\n';
    if (buffer_.size() >= (1u << 20)) Flush();
  }
  void Flush() {
    std::cout.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  std::string buffer_;
};

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int List(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  const std::uint32_t count = catalogue.GetCount();
  if (!args.json) {
    LineWriter out;
    for (std::uint32_t i = 0; i < count; ++i) out.Line(i, catalogue.GetAlert(i), catalogue.GetNameView(i));
  } else {
    std::cout << '[';
    for (std::uint32_t i = 0; i < count; ++i) {
      std::cout << (i ? ",\n " : "\n ") << "{\"index\":" << i
                << ",\"alert\":" << (catalogue.GetAlert(i) ? "true" : "false")
                << ",\"name\":" << JsonString(Cp1252ToUtf8(catalogue.GetName(i))) << '}';
    }
    std::cout << (count ? "\n]\n" : "]\n");
  }
  std::cout.flush();
  return std::cout ? kOk : kError;
}

int Set(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  if (args.dry_run) {
    std::vector<bool> before(catalogue.GetCount());
    for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) before[i] = catalogue.GetAlert(i);
    if (!ApplyChanges(catalogue, args)) return kError;
    LineWriter out;
    for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) {
      if (catalogue.GetAlert(i) != before[i]) out.Line(i, catalogue.GetAlert(i), catalogue.GetNameView(i));
    }
    return kOk;
  }
  if (!ApplyChanges(catalogue, args)) return kError;
  const SaveResult saved = catalogue.Save();
  if (saved.error) return Fail(saved.error->Message());
  return saved ? kOk : kError;
}

// A bar on stderr for a terminal; nothing otherwise.
class TerminalProgress final : public SaveProgress {
 public:
  explicit TerminalProgress(std::uint64_t tail_offset)
      : tail_offset_(tail_offset), shown_(::isatty(STDERR_FILENO) == 1) {}

  void Begin(std::uint64_t total) override {
    total_ = total;
    Draw(tail_offset_);
  }
  void Advance(std::uint64_t done) override { Draw(tail_offset_ + done); }
  void End() override {
    Draw(total_);
    if (shown_) std::cerr << '\n';
  }

 private:
  // Beside the tail, the header and record table are written too, so the bar
  // counts them as done and ends at the whole file.
  void Draw(std::uint64_t position) {
    if (!shown_) return;
    const int percent = total_ ? static_cast<int>(position * 100 / total_) : 100;
    if (percent == last_percent_) return;
    last_percent_ = percent;
    const int filled = percent * 40 / 100;
    std::cerr << "\rCopying [" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(40 - filled), '.') << "] " << percent << '%'
              << std::flush;
  }

  std::uint64_t tail_offset_;
  bool shown_;
  std::uint64_t total_ = 0;
  int last_percent_ = -1;
};

int Copy(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  // FILE is never written, under any spelling of NEWFILE: the catalogue would
  // take the very same spelling as a save in place.
  const std::optional<FileId> source = DefaultFileSystem().IdOf(args.positional[0]);
  if (source && source == DefaultFileSystem().IdOf(args.positional[1])) {
    return Fail(FileError{11, AbsolutePath(args.positional[1]),
                          "It is the database being copied; a copy never writes over its source."}
                    .Message());
  }
  if (!ApplyChanges(catalogue, args)) return kError;
  TerminalProgress progress(TailOffset(catalogue.GetCount()));
  const SaveResult saved = catalogue.SaveAs(args.positional[1], progress);
  if (saved.error || saved.refusal) {
    if (::isatty(STDERR_FILENO) == 1) std::cerr << '\n';
    return Fail((saved.error ? saved.error : saved.refusal)->Message());
  }
  return saved ? kOk : kError;
}

int Check(const Arguments& args) {
  const std::string& path = args.positional[0];
  FileError error;
  std::unique_ptr<File> file =
      DefaultFileSystem().Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error);
  if (!file) return Fail(FileErrorMessage(error.cause, path));
  std::uint64_t length = 0;
  if (auto failed = file->Length(length)) return Fail(failed->Message());
  if (length < kHeaderSize) {
    return Fail(path + ": no header: the file has " + std::to_string(length) +
                " bytes, the header needs 20.");
  }
  HashDatabaseHeader header;
  std::size_t done = 0;
  if (auto failed = file->Read(header.bytes.data(), header.bytes.size(), done)) {
    return Fail(failed->Message());
  }
  if (done != header.bytes.size()) return Fail(path + ": the header could not be read whole.");
  const std::uint32_t count = header.hash_set_count();
  if (TailOffset(count) > length) {
    return Fail(path + ": record table past the end: " + std::to_string(count) + " hash sets need " +
                std::to_string(TailOffset(count)) + " bytes, the file has " +
                std::to_string(length) + ".");
  }
  // Names are checked straight from the file, a block at a time.
  std::vector<HashSetRecord> block(4096);
  for (std::uint32_t first = 0; first < count;) {
    const std::size_t records = std::min<std::size_t>(block.size(), count - first);
    auto* bytes = reinterpret_cast<unsigned char*>(block.data());
    std::size_t want = records * kRecordSize;
    while (want > 0) {
      if (auto failed = file->Read(bytes, want, done)) return Fail(failed->Message());
      if (done == 0) return Fail(path + ": the file ended inside its record table.");
      bytes += done;
      want -= done;
    }
    for (std::size_t i = 0; i < records; ++i) {
      if (block[i].name().size() == kNameFieldSize) {
        return Fail(path + ": the name of hash set " + std::to_string(first + i) +
                    " has no terminating NUL.");
      }
    }
    first += static_cast<std::uint32_t>(records);
  }
  std::cout << path << ": sound, " << count << " hash sets, a tail of " << (length - TailOffset(count))
            << " bytes\n";
  return kOk;
}

class StderrBoxes final : public MessageBoxes {
 public:
  BoxAnswer Show(const std::string& text, const std::string&, BoxButtons, BoxIcon) override {
    std::cerr << text << "\n";
    return BoxAnswer::Ok;
  }
};

int Default() {
  CHashSetCatalogue catalogue;
  SystemRegistry registry;
  StderrBoxes boxes;
  if (!FindDefaultDatabase(catalogue, registry, boxes)) return kError;
  std::cout << catalogue.GetPath() << "\n";
  return kOk;
}

int MakeSample(const Arguments& args) {
  SampleOptions options;
  if (args.sets) {
    const auto sets = ParseNumber(*args.sets, UINT32_MAX);
    // Beyond this the record table ends past 2 GiB, outside what the format supports.
    if (!sets || *sets > 8259552) return Usage("--sets takes a number from 0 to 8259552");
    options.sets = static_cast<std::uint32_t>(*sets);
  }
  if (args.tail_bytes) {
    const auto bytes = ParseNumber(*args.tail_bytes, UINT64_MAX >> 2);
    if (!bytes) return Usage("--tail-bytes takes a number of bytes");
    options.tail_bytes = *bytes;
  }
  if (auto error = WriteSampleDatabase(args.positional[0], options)) return Fail(error->Message());
  return kOk;
}

struct Command {
  const char* name;
  std::size_t positional;
  int (*run)(const Arguments&);
  const char* usage;
};

const Command kCommands[] = {
    {"list", 1, List, "list FILE [--json]"},
    {"set", 1, Set, "set FILE [--on SEL]... [--off SEL]... [--dry-run]"},
    {"copy", 2, Copy, "copy FILE NEWFILE [--on SEL]... [--off SEL]..."},
    {"check", 1, Check, "check FILE"},
    {"default", 0, [](const Arguments&) { return Default(); }, "default"},
    {"make-sample", 1, MakeSample, "make-sample FILE [--sets N] [--tail-bytes B]"},
};

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Lines end in "\n" on every platform, so scripts get the same bytes.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
  if (argc < 2) return Usage("a command is needed");
  const std::string command = argv[1];
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return kOk;
    }
    if (arg == "--version") {
      std::cout << "hdbtool " << HDBTOOL_VERSION << "\n";
      return kOk;
    }
  }
  for (const Command& known : kCommands) {
    if (command != known.name) continue;
    Arguments args;
    if (auto problem = ParseArguments(argc, argv, args)) return Usage(*problem);
    if (args.positional.size() != known.positional) {
      return Usage(std::string("usage: hdbtool ") + known.usage);
    }
    if (auto problem = CheckOptions(command, args)) return Usage(*problem);
    return known.run(args);
  }
  return Usage("unknown command '" + command + "'");
}
