// Updating the stored lists from a source (downloads or a folder).
//
// First the EU list of the lists: obtained, read, verified with the pins (or through its
// pivots), not older than the stored one, then stored. Without it nothing else happens.
// Then, per territory it points to (or those asked for), the national list: obtained,
// read, of that territory and of the national kind, verified with the certificates the
// LOTL names for it, not older than the stored one, then stored. A list that fails any of
// this is refused with a Czech message and the stored list of its territory stays as it
// was. Stored lists of territories the LOTL no longer points to are removed (only when all
// territories were asked for).
#pragma once

#include "core/TrustedListModel.h"
#include "core/TrustedListSources.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tl {

struct TerritoryResult {
    enum class State {
        Updated,     // a newer (or changed) list was verified and stored
        Unchanged,   // the stored list is the one obtained
        Refused,     // obtained but not accepted: unreadable, signature, territory, older
        Unavailable, // not obtained
        Missing,     // the source does not have it (a folder without that list)
        Cancelled,   // not attempted: the update was stopped
    };
    std::string territory; // "EU" for the list of the lists
    State state = State::Unavailable;
    uint64_t sequence = 0; // of the list obtained (Updated, Unchanged)
    uint64_t issued = 0;
    std::string message; // Czech: why it was refused or not obtained
};

struct UpdateProgress {
    std::string territory;
    std::size_t number = 0; // 1-based among `total` national lists (0 for the LOTL)
    std::size_t total = 0;
    const TerritoryResult* result = nullptr; // null: about to start
};

struct UpdateOptions {
    std::vector<std::string> only; // territories to update; empty: all the LOTL points to
    std::vector<Blob> pins;        // empty: ProgramLotlPins()
    std::string cacheDir;          // empty: TrustedListDir()
    // Called before and after each list; answering false stops the update (lists not yet
    // begun stay as they are).
    std::function<bool(const UpdateProgress&)> progress;
};

struct UpdateSummary {
    TerritoryResult lotl;
    std::vector<TerritoryResult> lists;
    std::vector<std::string> removed; // territories whose stored list was removed
    bool cancelled = false;

    std::size_t Count(TerritoryResult::State state) const;
    // The LOTL is in place and no list was refused, unavailable or cancelled (lists a folder
    // does not have are not failures).
    bool Ok() const;
};

UpdateSummary UpdateTrustedLists(IListSource& source, const UpdateOptions& options);

// How often the lists are updated by themselves when the user asked for that.
inline constexpr uint64_t kAutoUpdateInterval = 7ull * 24 * 3600 * 10'000'000; // a week

// Whether the lists of `cacheDir` are due for such an update at `now` (file-time ticks): the
// EU list of the lists was last verified a week or more ago, or is not stored.
bool AutoUpdateDue(const std::string& cacheDir, uint64_t now);

} // namespace tl
