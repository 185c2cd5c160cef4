#pragma once

#include "hashdb/hash_set_catalogue.h"
#include "platform/message_boxes.h"
#include "platform/registry.h"

// Where other installations name the default hash database, in the order tried.
inline constexpr const char* kNerithDatabaseKey = "Software\\Velmora\\Velmora Nerith Database";
inline constexpr const char* kPellorAppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\pellor.exe";
inline constexpr const char* kPathValue = "Path";
// Appended unchanged to the Pellor folder, also when that already ends in a
// separator.
#ifdef _WIN32
inline constexpr const char* kPellorDatabaseSuffix = "\\Program\\VLNerithLibrary.hdb";
#else
inline constexpr const char* kPellorDatabaseSuffix = "/Program/VLNerithLibrary.hdb";
#endif
// Each value is read with this capacity, its NUL included.
inline constexpr std::size_t kRegistryValueCapacity = 520;

// Loads the first candidate the catalogue (closed) can open: the Nerith
// database's "Path", then Pellor's folder with the suffix. A candidate whose
// file does not load is reported at once; when none loads, IDS_NO_DEFAULT_DATABASE is shown.
// Returns whether a database is open.
bool FindDefaultDatabase(CHashSetCatalogue& catalogue, Registry& registry, MessageBoxes& boxes);
