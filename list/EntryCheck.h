// Whether a listed stamp still stands for its source file: the stamp is there and valid,
// and the source file is there with the digest the stamp holds.
#pragma once

#include "list/StampList.h"

#include <cstdint>
#include <vector>

enum class EntryStatus {
    Ok,            // the stamp is valid and the source file has its digest
    SourceChanged, // the source file's digest is not the stamp's
    SourceMissing, // no source file (or none that can be read)
    StampMissing,  // no stamp file
    StampInvalid,  // the stamp file is there but is no valid stamp
};

// The string id of the status's text.
uint32_t EntryStatusTextId(EntryStatus status);

// Checks one entry. The stamp check may show a box (a TAC without a timing policy), so it
// runs on the thread that owns the front end.
[[nodiscard]] EntryStatus CheckEntry(const CStampListEntry& entry);

// CheckEntry for every entry, in their order. The stamps are read on the calling thread;
// the source files are hashed meanwhile on up to `threads` further threads (0: one per
// core), since hashing the sources is what takes the time.
[[nodiscard]] std::vector<EntryStatus> CheckEntries(const std::vector<CStampListEntry>& entries,
                                                    unsigned threads = 0);
