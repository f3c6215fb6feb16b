// The document as the stamp list panel sees it: show an entry (and tell its verdict),
// remove an entry.
#pragma once

#include "document/RowVerdict.h"

#include <optional>

class IStampDocument {
public:
    virtual ~IStampDocument() = default;
    virtual void ShowEntry(int index) = 0;
    [[nodiscard]] virtual int RemoveEntry(int index) = 0;
    // The badge of the entry just shown, for its row; nullopt: none to give.
    virtual std::optional<RowVerdict> ShownEntryVerdict() const { return std::nullopt; }
};
