#include "core/TrustedListChain.h"

#include "core/TrustedListCache.h"
#include "core/TrustedListParser.h"
#include "core/TrustedListSignature.h"

#include <algorithm>
#include <cctype>

namespace tl {

namespace {

bool EndsWithXml(const std::string& uri) {
    std::string path = uri.substr(0, uri.find_first_of("?#"));
    if (path.size() < 4)
        return false;
    std::transform(path.end() - 4, path.end(), path.end() - 4,
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return path.compare(path.size() - 4, 4, ".xml") == 0;
}

bool IsXmlPointer(const ListPointer& pointer) {
    return pointer.mimeType.empty() || pointer.mimeType == kTslMimeType;
}

} // namespace

bool LoadListDocument(std::string xml, std::string origin, ListDocument& out, std::string& error) {
    out.xml = std::move(xml);
    out.origin = std::move(origin);
    return ParseXml(out.xml, out.doc, error) && ParseTrustedList(out.doc.get(), out.list, error);
}

bool IsLotl(const TrustedList& list) {
    return list.tslType == kTypeLotl && list.territory == kLotlTerritory;
}

bool IsNationalList(const TrustedList& list) {
    return list.tslType == kTypeGeneric;
}

std::vector<std::string> PivotUris(const TrustedList& lotl) {
    std::vector<std::string> uris;
    for (const std::string& uri : lotl.schemeUris)
        if (EndsWithXml(uri) && std::find(uris.begin(), uris.end(), uri) == uris.end())
            uris.push_back(uri);
    return uris;
}

std::vector<Blob> LotlSigners(const TrustedList& lotl) {
    std::vector<Blob> signers;
    for (const ListPointer& pointer : lotl.pointers)
        if (pointer.tslType == kTypeLotl && pointer.territory == kLotlTerritory)
            signers.insert(signers.end(), pointer.signers.begin(), pointer.signers.end());
    return signers;
}

const ListPointer* PointerTo(const TrustedList& lotl, const std::string& territory) {
    for (const ListPointer& pointer : lotl.pointers)
        if (pointer.territory == territory && pointer.tslType == kTypeGeneric &&
            IsXmlPointer(pointer) && !pointer.location.empty())
            return &pointer;
    return nullptr;
}

std::vector<std::string> PointedTerritories(const TrustedList& lotl) {
    std::vector<std::string> territories;
    for (const ListPointer& pointer : lotl.pointers)
        if (IsTerritoryCode(pointer.territory) && pointer.territory != kLotlTerritory &&
            PointerTo(lotl, pointer.territory) != nullptr &&
            std::find(territories.begin(), territories.end(), pointer.territory) ==
                territories.end())
            territories.push_back(pointer.territory);
    return territories;
}

bool VerifyLotl(ListDocument& lotl, const std::vector<Blob>& pins, const PivotSupplier& pivots,
                LotlTrust& trust, std::string& reason) {
    trust = {};
    if (VerifyListSignature(lotl.doc.get(), pins, trust.signer, reason))
        return true;
    const std::string direct = reason;
    std::vector<ListDocument> candidates = pivots ? pivots() : std::vector<ListDocument>();
    // Oldest first, only LOTLs older than this one, each sequence number once.
    std::sort(candidates.begin(), candidates.end(),
              [](const ListDocument& a, const ListDocument& b) {
                  return a.list.sequence < b.list.sequence;
              });
    std::vector<Blob> trusted = pins;
    uint64_t last = 0;
    for (ListDocument& pivot : candidates) {
        if (!IsLotl(pivot.list) || pivot.list.sequence >= lotl.list.sequence ||
            (!trust.pivots.empty() && pivot.list.sequence == last))
            continue;
        Blob signer;
        std::string ignored;
        if (!VerifyListSignature(pivot.doc.get(), trusted, signer, ignored))
            continue;
        trusted = pins;
        for (Blob& cert : LotlSigners(pivot.list))
            trusted.push_back(std::move(cert));
        trust.pivots.push_back(pivot.list.sequence);
        last = pivot.list.sequence;
    }
    if (!trust.pivots.empty() && VerifyListSignature(lotl.doc.get(), trusted, trust.signer, reason))
        return true;
    reason = direct + "; " + std::to_string(trust.pivots.size()) + " of " +
             std::to_string(candidates.size()) + " pivot lists verified";
    trust.pivots.clear();
    return false;
}

} // namespace tl
