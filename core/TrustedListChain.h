// Which signatures make a list trusted.
//
// The EU list of the lists (LOTL) is verified with the pins. When a newer LOTL is signed by
// a key the pins do not cover, it names in its scheme information the earlier LOTLs (the
// pivots) at which the signing keys changed: each pivot that verifies with the keys trusted
// so far announces, in its own pointer to the LOTL, the keys that sign the next one. The
// pins stay trusted throughout; a pivot that does not verify is passed over and changes
// nothing, so trust only ever flows from the pins through valid signatures.
//
// A national list is verified with the certificates that the verified LOTL names for its
// territory.
#pragma once

#include "core/TrustedListModel.h"
#include "core/TrustedListXml.h"

#include <functional>
#include <string>
#include <vector>

namespace tl {

// A list as received, its tree and what it says.
struct ListDocument {
    std::string xml;
    std::string origin; // URL or file, for messages
    XmlDocPtr doc;
    TrustedList list;
};

// Parses `xml` into `out`. False with an English reason when it is not a readable list.
[[nodiscard]] bool LoadListDocument(std::string xml, std::string origin, ListDocument& out,
                                    std::string& error);

bool IsLotl(const TrustedList& list);
bool IsNationalList(const TrustedList& list);

// The URIs of the scheme information that may be pivot LOTLs: those ending in ".xml".
std::vector<std::string> PivotUris(const TrustedList& lotl);

// The certificates of the LOTL's pointer to the LOTL itself: the keys that sign the next.
std::vector<Blob> LotlSigners(const TrustedList& lotl);

// The pointer to the machine-readable list of `territory`; null when the LOTL has none.
const ListPointer* PointerTo(const TrustedList& lotl, const std::string& territory);
// The territories of every national list the LOTL points to, each once, in its order.
std::vector<std::string> PointedTerritories(const TrustedList& lotl);

// Supplies the pivot candidates (called only when the pins alone do not verify the LOTL).
using PivotSupplier = std::function<std::vector<ListDocument>()>;

struct LotlTrust {
    Blob signer;                  // the certificate whose key verified the LOTL
    std::vector<uint64_t> pivots; // sequence numbers of the pivots the trust went through
};

// Verifies `lotl` with `pins`, else through the pivots. False with an English reason.
[[nodiscard]] bool VerifyLotl(ListDocument& lotl, const std::vector<Blob>& pins,
                              const PivotSupplier& pivots, LotlTrust& trust, std::string& reason);

} // namespace tl
