#include "tools/hashdb/set_matching.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "hashdb/hash_set_catalogue.h"

NameIndex::NameIndex(const CHashSetCatalogue& catalogue) : next_(catalogue.GetCount(), kNone) {
  const std::uint32_t count = catalogue.GetCount();
  names_.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    Entry& entry = names_[catalogue.GetNameView(i)];
    if (entry.count++ == 0) {
      entry.first = i;
    } else {
      next_[entry.last] = i;
    }
    entry.last = i;
  }
}

const NameIndex::Entry* NameIndex::Find(std::string_view name) const {
  const auto found = names_.find(name);
  return found == names_.end() ? nullptr : &found->second;
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
      if (alert_a) result.alerts_agree = false;
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
    const bool alert_b = b.GetAlert(j);
    result.lines.push_back({std::nullopt, j, false, alert_b, b.GetNameView(j)});
    if (alert_b) result.alerts_agree = false;
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
  std::vector<std::uint32_t> not_applied;   // first sets of the names left alone
  for (std::uint32_t i = 0; i < target.GetCount(); ++i) {
    const NameIndex::Entry* entry = entries[i];
    if (!entry || here[entry->first] != entry->count) continue;
    const bool on = source.GetAlert(cursors.Take(names, *entry));
    if (target.GetAlert(i) != on) plan.changes.push_back({i, on});
  }
  for (std::uint32_t j = 0; j < source.GetCount(); ++j) {
    const NameIndex::Entry* entry = names.Find(source.GetNameView(j));
    if (entry->first != j || here[j] == entry->count) continue;
    bool any_on = false;
    for (std::uint32_t k = j; k != NameIndex::kNone && !any_on; k = names.Next(k)) any_on = source.GetAlert(k);
    if (here[j] > 0 || any_on) plan.not_applied.push_back({source.GetNameView(j), here[j], entry->count});
  }
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

NamesPlan PlanNames(const CHashSetCatalogue& target, const std::vector<std::string_view>& names, bool on) {
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
