// The document as the stamp list panel sees it: show an entry, remove an entry.
#pragma once

class IStampDocument {
public:
    virtual ~IStampDocument() = default;
    virtual void ShowEntry(int index) = 0;
    [[nodiscard]] virtual int RemoveEntry(int index) = 0;
};
