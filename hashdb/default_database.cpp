#include "hashdb/default_database.h"

#include <algorithm>
#include <optional>
#include <string>

#include "hashdb/talvane_strings.h"

namespace {

bool TryLoad(CHashSetCatalogue& catalogue, const std::string& path, MessageBoxes& boxes) {
  const LoadResult result = catalogue.Load(path);
  if (result.failure) boxes.Show(result.failure->message, "", BoxButtons::Ok, BoxIcon::None);
  if (result.error) boxes.Show(result.error->Message(), "", BoxButtons::Ok, BoxIcon::Stop);
  return result.ok();
}

// One candidate: the key's "Path" value (its text up to the first NUL) with
// suffix appended is loaded; the key is closed after the candidate was tried.
// A missing key or value, or one that does not fit, says nothing.
bool TryCandidate(CHashSetCatalogue& catalogue, Registry& registry, MessageBoxes& boxes,
                  const char* key, const std::string& suffix) {
  const std::optional<RegistryKey> handle = registry.OpenKey(kLocalMachine, key);
  if (!handle) return false;
  bool loaded = false;
  if (std::optional<std::string> value =
          registry.QueryValue(*handle, kPathValue, kRegistryValueCapacity)) {
    value->resize(std::min(value->size(), value->find('\0')));
    loaded = TryLoad(catalogue, *value + suffix, boxes);
  }
  registry.CloseKey(*handle);
  return loaded;
}

}  // namespace

bool FindDefaultDatabase(CHashSetCatalogue& catalogue, Registry& registry, MessageBoxes& boxes) {
  if (TryCandidate(catalogue, registry, boxes, kNerithDatabaseKey, "")) return true;
  if (TryCandidate(catalogue, registry, boxes, kPellorAppPathKey, kPellorDatabaseSuffix))
    return true;
  boxes.Show(TalvaneString(IDS_NO_DEFAULT_DATABASE), "", BoxButtons::Ok, BoxIcon::None);
  return false;
}
