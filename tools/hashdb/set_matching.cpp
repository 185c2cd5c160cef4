#include "tools/hashdb/set_matching.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <unordered_set>

#include "hashdb/hash_set_catalogue.h"

namespace {

std::uint32_t HashOf(std::string_view name) {
  const std::size_t hash = std::hash<std::string_view>{}(name);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

NameIndex::NameIndex(const CHashSetCatalogue& catalogue) : next_(catalogue.GetCount(), kNone) {
  const std::uint32_t count = catalogue.GetCount();
  std::size_t capacity = 16;
  while (capacity < 2 * std::size_t{count}) capacity *= 2;
  slots_.resize(capacity);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string_view name = catalogue.GetNameView(i);
    Entry& entry = SlotFor(name, HashOf(name)).entry;
    if (entry.count++ == 0) {
      entry.first = i;
    } else {
      next_[entry.last] = i;
    }
    entry.last = i;
  }
}

NameIndex::Slot& NameIndex::SlotFor(std::string_view name, std::uint32_t hash) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    Slot& slot = slots_[at];
    if (!slot.name) {
      slot.name = name.data();
      slot.size = static_cast<std::uint16_t>(name.size());
      slot.hash = hash;
      return slot;
    }
    if (slot.hash == hash && std::string_view(slot.name, slot.size) == name) return slot;
  }
}

const NameIndex::Slot* NameIndex::FindSlot(std::string_view name) const {
  if (name.size() > UINT16_MAX) return nullptr;
  const std::uint32_t hash = HashOf(name);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (!slot.name) return nullptr;
    if (slot.hash == hash && std::string_view(slot.name, slot.size) == name) return &slot;
  }
}

const NameIndex::Entry* NameIndex::Find(std::string_view name) const {
  const Slot* slot = FindSlot(name);
  return slot ? &slot->entry : nullptr;
}

namespace {

// Per name of a NameIndex, the next of its sets not yet paired: slot e.first
// of a name's entry e walks that name's chain.
class PairCursors {
 public:
  explicit PairCursors(std::uint32_t count) : next_unpaired_(count) {
    std::iota(next_unpaired_.begin(), next_unpaired_.end(), 0u);
  }
  // The name's next unpaired set, or kNone when all are paired.
  std::uint32_t Take(const NameIndex& index, const NameIndex::Entry& entry) {
    std::uint32_t& slot = next_unpaired_[entry.first];
    const std::uint32_t taken = slot;
    if (taken != NameIndex::kNone) slot = index.Next(taken);
    return taken;
  }

 private:
  std::vector<std::uint32_t> next_unpaired_;
};

}  // namespace

DiffResult DiffAlerts(const CHashSetCatalogue& a, const CHashSetCatalogue& b) {
  DiffResult result;
  const NameIndex names_b(b);
  PairCursors cursors(b.GetCount());
  std::vector<bool> paired_b(b.GetCount());
  for (std::uint32_t i = 0; i < a.GetCount(); ++i) {
    const std::string_view name = a.GetNameView(i);
    const NameIndex::Entry* entry = names_b.Find(name);
    const std::uint32_t j = entry ? cursors.Take(names_b, *entry) : NameIndex::kNone;
    const bool alert_a = a.GetAlert(i);
    if (j == NameIndex::kNone) {
      result.lines.push_back({i, std::nullopt, alert_a, false, name});
      continue;
    }
    paired_b[j] = true;
    if (alert_a != b.GetAlert(j)) {
      result.lines.push_back({i, j, alert_a, !alert_a, name});
      result.alerts_agree = false;
    }
  }
  for (std::uint32_t j = 0; j < b.GetCount(); ++j) {
    if (paired_b[j]) continue;
    result.lines.push_back({std::nullopt, j, false, b.GetAlert(j), b.GetNameView(j)});
  }
  return result;
}

ApplyPlan PlanApplyFrom(const CHashSetCatalogue& target, const CHashSetCatalogue& source) {
  ApplyPlan plan;
  const NameIndex names(source);
  // Each target set's entry in the source, and per source name (at its first
  // set) how many target sets have it.
  std::vector<const NameIndex::Entry*> entries(target.GetCount());
  std::vector<std::uint32_t> here(source.GetCount());
  for (std::uint32_t i = 0; i < target.GetCount(); ++i) {
    entries[i] = names.Find(target.GetNameView(i));
    if (entries[i]) ++here[entries[i]->first];
  }
  PairCursors cursors(source.GetCount());
  for (std::uint32_t i = 0; i < target.GetCount(); ++i) {
    const NameIndex::Entry* entry = entries[i];
    if (!entry || here[entry->first] != entry->count) continue;
    const bool on = source.GetAlert(cursors.Take(names, *entry));
    if (target.GetAlert(i) != on) plan.changes.push_back({i, on});
  }
  // The names left alone, found among the names rather than by a lookup per set.
  names.ForEachName([&](std::string_view name, const NameIndex::Entry& entry) {
    const std::uint32_t count_here = here[entry.first];
    if (count_here == entry.count) return;
    bool any_on = false;
    for (std::uint32_t k = entry.first; k != NameIndex::kNone && !any_on; k = names.Next(k)) {
      any_on = source.GetAlert(k);
    }
    if (count_here > 0 || any_on)
      plan.not_applied.push_back({name, count_here, entry.count, entry.first});
  });
  std::sort(plan.not_applied.begin(), plan.not_applied.end(),
            [](const NameNotApplied& x, const NameNotApplied& y) {
              return x.first_there < y.first_there;
            });
  return plan;
}

std::vector<std::string_view> NameListLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

NamesPlan PlanNames(const CHashSetCatalogue& target, const std::vector<std::string_view>& names,
                    bool on) {
  NamesPlan plan;
  const NameIndex index(target);
  std::vector<bool> taken(target.GetCount());
  std::unordered_set<std::string_view> reported;
  for (const std::string_view name : names) {
    const NameIndex::Entry* entry = index.Find(name);
    if (!entry) {
      if (reported.insert(name).second) plan.unmatched.push_back(name);
      continue;
    }
    for (std::uint32_t i = entry->first; i != NameIndex::kNone; i = index.Next(i)) {
      if (taken[i] || target.GetAlert(i) == on) continue;
      taken[i] = true;
      plan.changes.push_back({i, on});
    }
  }
  std::sort(plan.changes.begin(), plan.changes.end(),
            [](const FlagChange& x, const FlagChange& y) { return x.index < y.index; });
  return plan;
}
