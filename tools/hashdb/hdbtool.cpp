// hdbtool: the hash database library on the command line, for examiners who
// script. Same hold on the file and same messages as the editor.
// Exit codes: 0 done, 1 an error (its message on stderr), 2 a usage error;
// diff answers like diff(1): 0 the alerts agree, 1 they differ, 2 trouble.

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#endif
#include <unistd.h>

#include <cerrno>

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
#include "tools/hashdb/audit_log.h"
#include "tools/hashdb/output_formats.h"
#include "tools/hashdb/set_matching.h"
#include "velmora_version.h"

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
  set FILE [--on SEL]... [--off SEL]... [--dry-run] [--log LOG]
                            switches alerts on or off and saves in place;
                            --dry-run prints the sets that would change (as
                            list does, with the new flag) and writes nothing
  copy FILE NEWFILE [--on SEL]... [--off SEL]... [--log LOG]
                            applies the changes to a copy saved as NEWFILE;
                            FILE stays as it is, and NEWFILE naming FILE
                            itself is refused; the copy takes its name only
                            when complete, so a failure or a kill leaves no
                            partial file; a new NEWFILE gets FILE's
                            permission bits, an existing one keeps its own;
                            a symbolic link another user owns in a sticky,
                            world-writable folder is not followed
  diff A B [--json]         the hash sets whose alert differs between A and
                            B, matched by name: the i-th set of a name in A
                            with the i-th set of that name in B, in file
                            order; sets left over are on one side only. One
                            line each: A's index, TAB, B's index, TAB, A's
                            flag, TAB, B's flag, TAB, the name escaped as
                            list escapes it, with - for the side that lacks
                            the set; first A's sets in A's order, then those
                            only in B in B's order. --json: an array of
                            {"index_a", "alert_a", "index_b", "alert_b",
                            "name"}, null for the missing side. Exit 0 when
                            the alerts agree (every pair has the same flag;
                            sets on one side only are listed, with their
                            flag, but have nothing to differ from), 1 when
                            they differ, 2 on an error
  apply FILE --from OTHER [--dry-run] [--log LOG]
                            sets FILE's alerts to OTHER's, by name, pairing
                            sets as diff does, and saves in place; a name
                            naming a different number of sets in FILE and
                            OTHER is left alone and reported on stderr, as
                            is a name missing from FILE whose set in OTHER
                            is on; prints the sets that changed as list does
  apply FILE --names-from LIST --on|--off [--dry-run] [--log LOG]
                            switches every set named by a line of LIST on or
                            off (LIST - is standard input; one name a line,
                            its bytes as they are but a trailing CR; blank
                            lines skipped); a name no set has is an error
                            before anything is written
  export FILE --csv|--json  --csv: RFC 4180 with CRLF line ends, a header
                            index,alert,name, alert 1 or 0, names decoded
                            from Windows-1252 to UTF-8 (on a terminal,
                            control characters in names show as ?);
                            --json as list
  stats FILE                sets, alerts on, duplicate names (names that
                            more than one set has), sets sharing a name,
                            tail bytes, and the SHA-256 of the record table
                            (the 260-byte records, from offset 20)
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

--log LOG appends one JSON line to LOG after a successful save (never on
--dry-run or a failure): time (UTC), user, host, command, the database's
absolute path, source (copy, apply), the SHA-256 of the record table before
and after, and every set whose flag changed (index, alert, name). LOG must
be a regular file with one name, or missing (then created 0600); a symbolic
link is not followed. A LOG that cannot be written is an error before
anything is saved; one that fails after the save gives exit 1 with a
message, and the save stands.

Exit status: 0 done, 1 error (message on stderr), 2 usage error; diff: 0 the
alerts agree, 1 they differ, 2 an error.
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
  std::vector<std::pair<bool, std::string>> changes;  // (on, selector) in order
  bool json = false;
  bool csv = false;
  bool dry_run = false;
  std::optional<std::string> sets;
  std::optional<std::string> tail_bytes;
  std::optional<std::string> from;        // apply: the database to take flags from
  std::optional<std::string> names_from;  // apply: a name list, "-" for standard input
  std::optional<bool> names_on;           // apply: --on or --off, without a selector
  std::optional<std::string> log;
};

std::optional<std::string> ParseArguments(const std::string& command, int argc, char** argv,
                                          Arguments& out) {
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
    if ((arg == "--on" || arg == "--off") && command == "apply") {
      // apply switches whole name lists: --on and --off take no selector.
      if (inline_value) return arg + " takes no value with apply";
      if (out.names_on && *out.names_on != (arg == "--on"))
        return "--on and --off exclude each other";
      out.names_on = arg == "--on";
    } else if (arg == "--on" || arg == "--off") {
      auto selector = value();
      if (!selector) return arg + " needs a selector";
      out.changes.emplace_back(arg == "--on", *selector);
    } else if (arg == "--sets" || arg == "--tail-bytes") {
      auto number = value();
      if (!number) return arg + " needs a number";
      (arg == "--sets" ? out.sets : out.tail_bytes) = *number;
    } else if (arg == "--from" || arg == "--names-from" || arg == "--log") {
      auto path = value();
      if (!path || path->empty()) return arg + " needs a file";
      (arg == "--from" ? out.from : arg == "--names-from" ? out.names_from : out.log) = *path;
    } else if (arg == "--json" && !inline_value) {
      out.json = true;
    } else if (arg == "--csv" && !inline_value) {
      out.csv = true;
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
  if (command != "list" && command != "diff" && command != "export" && args.json) {
    return "--json belongs to list, diff and export";
  }
  if (command != "export" && args.csv) return "--csv belongs to export";
  if (command == "export" && args.csv == args.json) return "export takes one of --csv and --json";
  if (command != "set" && command != "apply" && args.dry_run)
    return "--dry-run belongs to set and apply";
  if (command != "set" && command != "copy" && command != "apply" && args.log) {
    return "--log belongs to set, copy and apply";
  }
  if (command != "apply" && (args.from || args.names_from))
    return "--from and --names-from belong to apply";
  if (command == "apply") {
    if (args.from.has_value() == args.names_from.has_value())
      return "apply takes one of --from and --names-from";
    if (args.names_from && !args.names_on) return "--names-from needs --on or --off";
    if (args.from && args.names_on) return "--on and --off go with --names-from";
  }
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

std::string NoSetNamed(const CHashSetCatalogue& catalogue, std::string_view name) {
  return "No hash set in " + EscapeLineText(catalogue.GetPath()) + " is named \"" +
         EscapeLineText(name) + "\".";
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
        std::cerr << NoSetNamed(catalogue, name) << "\n";
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

// Output is gathered and written in large blocks: a million sets print in one
// pass over the table instead of a million stream calls.
class LineWriter {
 public:
  ~LineWriter() { Flush(); }
  // index TAB 1|0 TAB escaped name: the line of list.
  void Line(std::uint32_t index, bool alert, std::string_view name) {
    Number(index);
    buffer_ += alert ? "\t1\t" : "\t0\t";
    AppendEscapedLine(buffer_, name);
    End();
  }
  void Number(std::uint64_t value) {
    char number[24];
    buffer_.append(number, std::to_chars(number, number + sizeof number, value).ptr);
  }
  std::string& Text() { return buffer_; }
  // After each record: writes out what has gathered once it is large.
  void End(char last = '\n') {
    buffer_ += last;
    if (buffer_.size() >= (1u << 20)) Flush();
  }
  void Flush() {
    std::cout.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  std::string buffer_;
};

// A JSON array of {"index","alert","name"}, names decoded from Windows-1252.
void WriteJsonSets(const CHashSetCatalogue& catalogue) {
  LineWriter out;
  const std::uint32_t count = catalogue.GetCount();
  out.Text() += '[';
  for (std::uint32_t i = 0; i < count; ++i) {
    out.Text() += i ? ",\n {\"index\":" : "\n {\"index\":";
    out.Number(i);
    out.Text() +=
        catalogue.GetAlert(i) ? ",\"alert\":true,\"name\":" : ",\"alert\":false,\"name\":";
    AppendJsonString(out.Text(), Cp1252ToUtf8(catalogue.GetNameView(i)));
    out.End('}');
  }
  out.Text() += count ? "\n]\n" : "]\n";
}

// index,alert,name with CRLF line ends (RFC 4180), names decoded from
// Windows-1252. RFC 4180 has no escapes, so on a terminal control characters
// in names show as '?' (as ls shows them) rather than drive it; redirected,
// the names are exact.
void WriteCsvSets(const CHashSetCatalogue& catalogue) {
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  LineWriter out;
  out.Text() += "index,alert,name\r\n";
  for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) {
    out.Number(i);
    out.Text() += catalogue.GetAlert(i) ? ",1," : ",0,";
    const std::string name = Cp1252ToUtf8(catalogue.GetNameView(i));
    AppendCsvField(out.Text(), terminal ? ControlsShownAsQuestionMarks(name) : name);
    out.Text() += '\r';
    out.End();
  }
}

int Finish() {
  std::cout.flush();
  return std::cout ? kOk : kError;
}

int List(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  if (args.json) {
    WriteJsonSets(catalogue);
  } else {
    LineWriter out;
    for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) {
      out.Line(i, catalogue.GetAlert(i), catalogue.GetNameView(i));
    }
  }
  return Finish();
}

int Export(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  if (args.csv) {
    WriteCsvSets(catalogue);
  } else {
    WriteJsonSets(catalogue);
  }
  return Finish();
}

std::string TableSha256(const CHashSetCatalogue& catalogue) {
  return Sha256Hex(catalogue.GetRecordTable());
}

int Stats(const Arguments& args) {
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  const std::uint32_t count = catalogue.GetCount();
  std::uint64_t alerts = 0;
  for (std::uint32_t i = 0; i < count; ++i) alerts += catalogue.GetAlert(i);
  // A name's entry counts its sets; names with more than one are duplicates.
  std::uint64_t duplicate_names = 0, sets_sharing = 0;
  {
    const NameIndex names(catalogue);
    for (std::uint32_t i = 0; i < count; ++i) {
      const NameIndex::Entry* entry = names.Find(catalogue.GetNameView(i));
      if (entry->count < 2) continue;
      ++sets_sharing;
      if (entry->first == i) ++duplicate_names;
    }
  }
  struct stat st {};
  if (::stat(catalogue.GetPath().c_str(), &st) != 0) {
    return Fail(FileError{FileErrorCauseFromErrno(errno), catalogue.GetPath()}.Message());
  }
  const std::string sha = TableSha256(catalogue);
  if (sha.empty()) return Fail("SHA-256 is not available: the record table could not be summed.");
  LineWriter out;
  out.Text() += "sets: " + std::to_string(count) + "\nalerts on: " + std::to_string(alerts) +
                "\nduplicate names: " + std::to_string(duplicate_names) +
                "\nsets sharing a name: " + std::to_string(sets_sharing) + "\ntail bytes: " +
                std::to_string(static_cast<std::uint64_t>(st.st_size) - TailOffset(count)) +
                "\nrecord table sha256: " + sha + "\n";
  out.Flush();
  return Finish();
}

// The sets whose flag changed since before was taken, with their new flag.
std::vector<FlagChange> ChangedFlags(const CHashSetCatalogue& catalogue,
                                     const std::vector<bool>& before) {
  std::vector<FlagChange> changed;
  for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) {
    if (catalogue.GetAlert(i) != before[i]) changed.push_back({i, catalogue.GetAlert(i)});
  }
  return changed;
}

std::vector<bool> Flags(const CHashSetCatalogue& catalogue) {
  std::vector<bool> flags(catalogue.GetCount());
  for (std::uint32_t i = 0; i < catalogue.GetCount(); ++i) flags[i] = catalogue.GetAlert(i);
  return flags;
}

void PrintChanges(const CHashSetCatalogue& catalogue, const std::vector<FlagChange>& changes) {
  LineWriter out;
  for (const FlagChange& change : changes)
    out.Line(change.index, change.on, catalogue.GetNameView(change.index));
}

// The log named by --log, checked before anything is written; none without it.
struct LogTarget {
  std::optional<AuditLog> log;
  bool refused = false;
};

LogTarget OpenLog(const Arguments& args, std::vector<std::string> databases) {
  LogTarget target;
  if (!args.log || args.dry_run) return target;
  FileError error;
  std::optional<AuditLog> opened = AuditLog::Open(*args.log, std::move(databases), error);
  if (opened) {
    target.log.emplace(std::move(*opened));
  } else {
    std::cerr << error.Message() << "\n";
    target.refused = true;
  }
  return target;
}

// Appends the run's line to the log after a successful save. A log that cannot
// take it is an error, but the save stands.
int WriteLog(LogTarget& target, AuditEntry entry, const CHashSetCatalogue& catalogue,
             const std::vector<FlagChange>& changes) {
  if (!target.log) return kOk;
  entry.time = std::time(nullptr);
  entry.user = CurrentUserName();
  entry.host = CurrentHostName();
  entry.database = AbsolutePath(catalogue.GetPath());
  entry.table_sha256_after = TableSha256(catalogue);
  for (const FlagChange& change : changes) {
    entry.changed.push_back({change.index, change.on, catalogue.GetName(change.index)});
  }
  if (auto error = target.log->Append(AuditLine(entry))) {
    return Fail(error->Message() + " " + EscapeLineText(catalogue.GetPath()) +
                " was saved; this run is missing from the log.");
  }
  return kOk;
}

int Set(const Arguments& args) {
  LogTarget log = OpenLog(args, {args.positional[0]});
  if (log.refused) return kError;
  CHashSetCatalogue catalogue;
  if (!Load(catalogue, args.positional[0])) return kError;
  // The flags before are read only when something reports the changes: on a
  // million sets that pass costs more than the save of one change.
  const bool report = args.dry_run || log.log;
  const std::vector<bool> before = report ? Flags(catalogue) : std::vector<bool>();
  AuditEntry entry;
  entry.command = "set";
  if (log.log) entry.table_sha256_before = TableSha256(catalogue);
  if (!ApplyChanges(catalogue, args)) return kError;
  const std::vector<FlagChange> changed =
      report ? ChangedFlags(catalogue, before) : std::vector<FlagChange>();
  if (args.dry_run) {
    PrintChanges(catalogue, changed);
    return Finish();
  }
  const SaveResult saved = catalogue.Save();
  if (saved.error) return Fail(saved.error->Message());
  if (!saved) return kError;
  return WriteLog(log, std::move(entry), catalogue, changed);
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
  LogTarget log = OpenLog(args, {args.positional[0], args.positional[1]});
  if (log.refused) return kError;
  if (args.log && AbsolutePath(*args.log) == AbsolutePath(args.positional[1])) {
    return Fail(FileError{5, *args.log, "It is the copy being written, not a log."}.Message());
  }
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
  const std::vector<bool> before = log.log ? Flags(catalogue) : std::vector<bool>();
  AuditEntry entry;
  entry.command = "copy";
  entry.source = AbsolutePath(args.positional[0]);
  if (log.log) entry.table_sha256_before = TableSha256(catalogue);
  if (!ApplyChanges(catalogue, args)) return kError;
  const std::vector<FlagChange> changed =
      log.log ? ChangedFlags(catalogue, before) : std::vector<FlagChange>();
  TerminalProgress progress(TailOffset(catalogue.GetCount()));
  const SaveResult saved = catalogue.SaveAs(args.positional[1], progress);
  if (saved.error || saved.refusal) {
    if (::isatty(STDERR_FILENO) == 1) std::cerr << '\n';
    return Fail((saved.error ? saved.error : saved.refusal)->Message());
  }
  if (!saved) return kError;
  return WriteLog(log, std::move(entry), catalogue, changed);
}

// Loads b unless it is the file a already holds (any spelling): then a stands
// for both, since a second hold of one file fails.
const CHashSetCatalogue* LoadSecond(const CHashSetCatalogue& a, CHashSetCatalogue& b,
                                    const std::string& path) {
  const std::optional<FileId> id = DefaultFileSystem().IdOf(path);
  if (id && id == DefaultFileSystem().IdOf(a.GetPath())) return &a;
  return Load(b, path) ? &b : nullptr;
}

void AppendIndexOrDash(std::string& out, const std::optional<std::uint32_t>& index) {
  out += index ? std::to_string(*index) : "-";
}

int Diff(const Arguments& args) {
  constexpr int kTrouble = 2;
  CHashSetCatalogue a, b_held;
  if (!Load(a, args.positional[0])) return kTrouble;
  const CHashSetCatalogue* b = LoadSecond(a, b_held, args.positional[1]);
  if (!b) return kTrouble;
  const DiffResult diff = DiffAlerts(a, *b);
  LineWriter out;
  if (args.json) {
    out.Text() += '[';
    for (std::size_t i = 0; i < diff.lines.size(); ++i) {
      const DiffLine& line = diff.lines[i];
      std::string& text = out.Text();
      text += i ? ",\n {\"index_a\":" : "\n {\"index_a\":";
      text += line.index_a ? std::to_string(*line.index_a) : "null";
      text += ",\"alert_a\":";
      text += line.index_a ? (line.alert_a ? "true" : "false") : "null";
      text += ",\"index_b\":";
      text += line.index_b ? std::to_string(*line.index_b) : "null";
      text += ",\"alert_b\":";
      text += line.index_b ? (line.alert_b ? "true" : "false") : "null";
      text += ",\"name\":";
      AppendJsonString(text, Cp1252ToUtf8(line.name));
      out.End('}');
    }
    out.Text() += diff.lines.empty() ? "]\n" : "\n]\n";
  } else {
    for (const DiffLine& line : diff.lines) {
      std::string& text = out.Text();
      AppendIndexOrDash(text, line.index_a);
      text += '\t';
      AppendIndexOrDash(text, line.index_b);
      text += '\t';
      text += line.index_a ? (line.alert_a ? "1" : "0") : "-";
      text += '\t';
      text += line.index_b ? (line.alert_b ? "1" : "0") : "-";
      text += '\t';
      AppendEscapedLine(text, line.name);
      out.End();
    }
  }
  out.Flush();
  std::cout.flush();
  if (!std::cout) return kTrouble;
  return diff.alerts_agree ? kOk : kError;
}

// The name list of --names-from: a file, a pipe (such as <(grep ...)), or
// standard input for "-". Far more than every name of the largest database
// would fill is refused rather than read until memory runs out.
std::optional<std::string> ReadNameList(const std::string& path) {
  constexpr std::uint64_t kMaxListBytes = 4ull << 30;
  const bool standard_input = path == "-";
  const int fd =
      standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  const std::string shown = standard_input ? "standard input" : path;
  if (fd < 0) {
    std::cerr << FileError{FileErrorCauseFromErrno(errno), shown}.Message() << "\n";
    return std::nullopt;
  }
  std::string text;
  std::vector<char> buffer(1 << 16);
  int failure = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = errno;
    if (got <= 0) break;
    text.append(buffer.data(), static_cast<std::size_t>(got));
    if (text.size() > kMaxListBytes) {
      failure = EFBIG;
      break;
    }
  }
  if (!standard_input) ::close(fd);
  if (failure == EFBIG) {
    std::cerr << shown << " holds more than 4 GiB: it is no list of hash set names.\n";
    return std::nullopt;
  }
  if (failure) {
    std::cerr << FileError{FileErrorCauseFromErrno(failure), shown}.Message() << "\n";
    return std::nullopt;
  }
  return text;
}

int Apply(const Arguments& args) {
  const std::string& path = args.positional[0];
  std::vector<std::string> databases = {path};
  if (args.from) databases.push_back(*args.from);
  LogTarget log = OpenLog(args, databases);
  if (log.refused) return kError;
  // The list is read before the database is held, so a slow standard input
  // never keeps the database from others.
  std::optional<std::string> list;
  if (args.names_from && !(list = ReadNameList(*args.names_from))) return kError;

  CHashSetCatalogue catalogue, other_held;
  if (!Load(catalogue, path)) return kError;
  AuditEntry entry;
  entry.command = "apply";
  if (log.log) entry.table_sha256_before = TableSha256(catalogue);
  std::vector<FlagChange> changes;
  if (args.from) {
    const CHashSetCatalogue* other = LoadSecond(catalogue, other_held, *args.from);
    if (!other) return kError;
    entry.source = AbsolutePath(*args.from);
    ApplyPlan plan = PlanApplyFrom(catalogue, *other);
    // Gathered into one write: standard error is unbuffered.
    std::string report;
    for (const NameNotApplied& name : plan.not_applied) {
      report += "Not applied (" + std::to_string(name.here) + " in " + EscapeLineText(path) + ", " +
                std::to_string(name.there) + " in " + EscapeLineText(*args.from) + "): ";
      AppendEscapedLine(report, name.name);
      report += '\n';
    }
    std::cerr << report;
    changes = std::move(plan.changes);
  } else {
    entry.source = *args.names_from == "-" ? "-" : AbsolutePath(*args.names_from);
    NamesPlan plan = PlanNames(catalogue, NameListLines(*list), *args.names_on);
    if (!plan.unmatched.empty()) {
      std::string report;
      for (const std::string_view name : plan.unmatched)
        report += NoSetNamed(catalogue, name) + "\n";
      std::cerr << report;
      return kError;
    }
    changes = std::move(plan.changes);
  }
  for (const FlagChange& change : changes) catalogue.SetAlert(change.index, change.on);
  if (!args.dry_run) {
    const SaveResult saved = catalogue.Save();
    if (saved.error) return Fail(saved.error->Message());
    if (!saved) return kError;
  }
  PrintChanges(catalogue, changes);
  std::cout.flush();
  const int logged = args.dry_run ? kOk : WriteLog(log, std::move(entry), catalogue, changes);
  return logged != kOk ? logged : Finish();
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
    return Fail(path + ": record table past the end: " + std::to_string(count) +
                " hash sets need " + std::to_string(TailOffset(count)) + " bytes, the file has " +
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
  std::cout << path << ": sound, " << count << " hash sets, a tail of "
            << (length - TailOffset(count)) << " bytes\n";
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
    {"set", 1, Set, "set FILE [--on SEL]... [--off SEL]... [--dry-run] [--log LOG]"},
    {"copy", 2, Copy, "copy FILE NEWFILE [--on SEL]... [--off SEL]... [--log LOG]"},
    {"diff", 2, Diff, "diff A B [--json]"},
    {"apply", 1, Apply,
     "apply FILE --from OTHER [--dry-run] [--log LOG]\n       hdbtool apply FILE --names-from LIST --on|--off [--dry-run] [--log LOG]"},
    {"export", 1, Export, "export FILE --csv|--json"},
    {"stats", 1, Stats, "stats FILE"},
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
      std::cout << "hdbtool " << kTalvaneVersion << "\n";
      return kOk;
    }
  }
  for (const Command& known : kCommands) {
    if (command != known.name) continue;
    Arguments args;
    if (auto problem = ParseArguments(command, argc, argv, args)) return Usage(*problem);
    if (args.positional.size() != known.positional) {
      return Usage(std::string("usage: hdbtool ") + known.usage);
    }
    if (auto problem = CheckOptions(command, args)) return Usage(*problem);
    return known.run(args);
  }
  return Usage("unknown command '" + command + "'");
}
