#pragma once

// Hash sets of two databases matched by name, for diff and apply. A name that
// occurs k times on one side and m times on the other pairs its occurrences in
// file order: the i-th with the i-th; the rest are on one side only. Names are
// compared as bytes and viewed where they lie in the catalogues' tables, so a
// million sets are matched without copying a name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CHashSetCatalogue;

// The sets of one catalogue by name, each name with its sets in file order.
// Valid while the catalogue stays loaded.
class NameIndex {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  struct Entry {
    std::uint32_t first = kNone;  // the name's first set
    std::uint32_t last = kNone;
    std::uint32_t count = 0;
  };

  explicit NameIndex(const CHashSetCatalogue& catalogue);

  // The name's entry, null when no set has it.
  const Entry* Find(std::string_view name) const;
  // The next set of the same name after index, kNone after the last.
  std::uint32_t Next(std::uint32_t index) const { return next_[index]; }
  // f(name, entry) for every name, in no particular order.
  template <typename F>
  void ForEachName(F&& f) const {
    for (const Slot& slot : slots_) {
      if (slot.name) f(std::string_view(slot.name, slot.size), slot.entry);
    }
  }

 private:
  // Open addressing in one flat array: a node-based map spends most of its
  // time on cache misses when it holds a million names.
  struct Slot {
    const char* name = nullptr;  // null: the slot is free
    std::uint32_t hash = 0;
    std::uint16_t size = 0;  // names are at most 256 bytes
    Entry entry;
  };
  Slot& SlotFor(std::string_view name, std::uint32_t hash);
  const Slot* FindSlot(std::string_view name) const;

  std::vector<Slot> slots_;  // a power of two, at most half full
  std::vector<std::uint32_t> next_;
};

// One line of a diff: a pair of sets whose alerts differ, or a set found on one
// side only (the other side's index empty).
struct DiffLine {
  std::optional<std::uint32_t> index_a;
  std::optional<std::uint32_t> index_b;
  bool alert_a = false;
  bool alert_b = false;
  std::string_view name;
};

struct DiffResult {
  // First A's sets in A's file order (pairs that differ, sets only in A), then
  // the sets only in B in B's file order.
  std::vector<DiffLine> lines;
  // Every pair has the same flag. A set on one side only (added, renamed,
  // withdrawn) has nothing to agree with: it is listed, with its flag, but
  // is no difference of alerts, so carried-over choices can come out clean.
  bool alerts_agree = true;
};

DiffResult DiffAlerts(const CHashSetCatalogue& a, const CHashSetCatalogue& b);

// A set whose alert flag is to become on.
struct FlagChange {
  std::uint32_t index = 0;
  bool on = false;
};

// A name whose flags could not be carried: it names a different number of sets
// in the target (here) and the source (there). here is 0 for a name the target
// lacks, listed only when one of its sets has its alert on in the source.
struct NameNotApplied {
  std::string_view name;
  std::uint32_t here = 0;
  std::uint32_t there = 0;
  std::uint32_t first_there = 0;  // the name's first set in the source
};

struct ApplyPlan {
  std::vector<FlagChange> changes;          // in the target's file order
  std::vector<NameNotApplied> not_applied;  // in the source's file order
};

// What setting target's flags from source's, by name, changes. A name with the
// same number of sets on both sides takes the source's flags pair by pair;
// every other name is left alone. Sets whose flag already agrees are not
// changes.
ApplyPlan PlanApplyFrom(const CHashSetCatalogue& target, const CHashSetCatalogue& source);

// The names of a name list: one per line, the line's bytes as they are but for
// a trailing CR; blank lines are skipped.
std::vector<std::string_view> NameListLines(std::string_view text);

struct NamesPlan {
  std::vector<FlagChange> changes;          // in file order
  std::vector<std::string_view> unmatched;  // names no set has, each once, in list order
};

// Switching every set that a name of the list names on (or off).
NamesPlan PlanNames(const CHashSetCatalogue& target, const std::vector<std::string_view>& names,
                    bool on);
