#include "core/TrustedListUpdate.h"

#include "core/IClock.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListIndex.h"
#include "core/TrustedListPins.h"
#include "core/TrustedListSignature.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <algorithm>
#include <cctype>

namespace tl {

namespace {

using State = TerritoryResult::State;

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

TerritoryResult Failure(const std::string& territory, State state, std::string message) {
    TerritoryResult result;
    result.territory = territory;
    result.state = state;
    result.message = std::move(message);
    return result;
}

class Updater {
public:
    Updater(IListSource& source, const UpdateOptions& options)
        : m_source(source), m_options(options),
          m_cache(options.cacheDir.empty() ? TrustedListDir() : options.cacheDir),
          m_pins(options.pins.empty() ? ProgramLotlPins() : options.pins) {}

    UpdateSummary Run();

private:
    bool UpdateLotl(ListDocument& lotl);
    std::vector<ListDocument> LoadPivots(const TrustedList& lotl);
    TerritoryResult UpdateTerritory(const TrustedList& lotl, const std::string& territory);
    TerritoryResult Accept(const ListPointer& pointer, Fetched fetched);
    TerritoryResult Store(const ListDocument& document, const Blob& signer);
    std::vector<std::string> Territories(const TrustedList& lotl) const;
    void RemoveDropped(const TrustedList& lotl);
    bool Report(const std::string& territory, std::size_t number, std::size_t total,
                const TerritoryResult* result) const;

    IListSource& m_source;
    const UpdateOptions& m_options;
    ListCache m_cache;
    std::vector<Blob> m_pins;
    UpdateSummary m_summary;
};

UpdateSummary Updater::Run() {
    ListDocument lotl;
    if (!Report(kLotlTerritory, 0, 0, nullptr)) {
        m_summary.cancelled = true;
        m_summary.lotl = Failure(kLotlTerritory, State::Cancelled, LoadResString(IDS_TL_CANCELLED));
        return m_summary;
    }
    const bool lotlOk = UpdateLotl(lotl);
    if (!Report(kLotlTerritory, 0, 0, &m_summary.lotl))
        m_summary.cancelled = true;
    if (!lotlOk)
        return m_summary;
    const std::vector<std::string> territories = Territories(lotl.list);
    for (std::size_t i = 0; i < territories.size(); ++i) {
        const std::string& territory = territories[i];
        if (m_summary.cancelled || !Report(territory, i + 1, territories.size(), nullptr)) {
            m_summary.cancelled = true;
            m_summary.lists.push_back(
                Failure(territory, State::Cancelled, LoadResString(IDS_TL_CANCELLED)));
            continue;
        }
        m_summary.lists.push_back(UpdateTerritory(lotl.list, territory));
        if (!Report(territory, i + 1, territories.size(), &m_summary.lists.back()))
            m_summary.cancelled = true;
    }
    if (!m_summary.cancelled && m_options.only.empty())
        RemoveDropped(lotl.list);
    return m_summary;
}

bool Updater::UpdateLotl(ListDocument& lotl) {
    const std::string name = ListName(kLotlTerritory);
    Fetched fetched;
    std::string message;
    if (!m_source.FetchLotl(fetched, message)) {
        m_summary.lotl = Failure(kLotlTerritory, State::Unavailable, message);
        return false;
    }
    std::string error;
    if (!LoadListDocument(std::move(fetched.xml), fetched.origin, lotl, error)) {
        m_summary.lotl = Failure(kLotlTerritory, State::Refused,
                                 FormatRes(IDS_TL_REFUSED_UNREADABLE, name, lotl.origin, error));
        return false;
    }
    if (!IsLotl(lotl.list)) {
        m_summary.lotl = Failure(
            kLotlTerritory, State::Refused,
            lotl.list.tslType == kTypeLotl
                ? FormatRes(IDS_TL_REFUSED_TERRITORY, name, lotl.origin, lotl.list.territory)
                : FormatRes(IDS_TL_REFUSED_TYPE, name, lotl.origin, lotl.list.tslType));
        return false;
    }
    if (m_pins.empty()) {
        m_summary.lotl = Failure(kLotlTerritory, State::Refused,
                                 FormatRes(IDS_TL_NO_PINS, Joined(LotlSignerDirs())));
        return false;
    }
    LotlTrust trust;
    if (!VerifyLotl(
            lotl, m_pins, [&] { return LoadPivots(lotl.list); }, trust, error)) {
        m_summary.lotl = Failure(kLotlTerritory, State::Refused,
                                 FormatRes(IDS_TL_LOTL_REFUSED_SIGNATURE, lotl.origin, error));
        return false;
    }
    m_summary.lotl = Store(lotl, trust.signer);
    return m_summary.lotl.state == State::Updated || m_summary.lotl.state == State::Unchanged;
}

std::vector<ListDocument> Updater::LoadPivots(const TrustedList& lotl) {
    std::vector<ListDocument> pivots;
    for (Fetched& fetched : m_source.FetchPivots(lotl)) {
        ListDocument pivot;
        std::string ignored;
        if (LoadListDocument(std::move(fetched.xml), fetched.origin, pivot, ignored))
            pivots.push_back(std::move(pivot));
    }
    return pivots;
}

TerritoryResult Updater::UpdateTerritory(const TrustedList& lotl, const std::string& territory) {
    const ListPointer* pointer = PointerTo(lotl, territory);
    if (pointer == nullptr)
        return Failure(territory, State::Unavailable, FormatRes(IDS_TL_NOT_IN_LOTL, territory));
    std::vector<Fetched> candidates;
    std::string message;
    switch (m_source.FetchList(*pointer, candidates, message)) {
    case IListSource::Fetch::Ok:
        break;
    case IListSource::Fetch::Missing:
        return Failure(territory, State::Missing, message);
    case IListSource::Fetch::Failed:
        return Failure(territory, State::Unavailable, message);
    }
    TerritoryResult result = Failure(territory, State::Unavailable, message);
    for (Fetched& candidate : candidates) {
        result = Accept(*pointer, std::move(candidate));
        if (result.state == State::Updated || result.state == State::Unchanged)
            break;
    }
    return result;
}

TerritoryResult Updater::Accept(const ListPointer& pointer, Fetched fetched) {
    const std::string& territory = pointer.territory;
    const std::string name = ListName(territory);
    ListDocument document;
    std::string error;
    if (!LoadListDocument(std::move(fetched.xml), fetched.origin, document, error))
        return Failure(territory, State::Refused,
                       FormatRes(IDS_TL_REFUSED_UNREADABLE, name, document.origin, error));
    if (!IsNationalList(document.list))
        return Failure(
            territory, State::Refused,
            FormatRes(IDS_TL_REFUSED_TYPE, name, document.origin, document.list.tslType));
    if (document.list.territory != territory)
        return Failure(
            territory, State::Refused,
            FormatRes(IDS_TL_REFUSED_TERRITORY, name, document.origin, document.list.territory));
    Blob signer;
    if (!VerifyListSignature(document.doc.get(), pointer.signers, signer, error))
        return Failure(territory, State::Refused,
                       FormatRes(IDS_TL_REFUSED_SIGNATURE, name, document.origin, error));
    return Store(document, signer);
}

// Stores a verified list unless the stored one is newer or the same.
TerritoryResult Updater::Store(const ListDocument& document, const Blob& signer) {
    const std::string& territory = document.list.territory;
    const std::string name = ListName(territory);
    ListIndex stored;
    std::string error;
    const bool hasStored = m_cache.Load(territory, stored, error);
    if (hasStored && document.list.sequence < stored.sequence)
        return Failure(territory, State::Refused,
                       FormatRes(IDS_TL_REFUSED_OLDER, name, document.origin,
                                 std::to_string(document.list.sequence),
                                 std::to_string(stored.sequence)));
    TerritoryResult result;
    result.territory = territory;
    result.sequence = document.list.sequence;
    result.issued = document.list.issued;
    if (hasStored && stored.sequence == document.list.sequence &&
        stored.xmlSha256 == Sha256(document.xml)) {
        result.state = State::Unchanged;
        return result;
    }
    const ListIndex index = BuildIndex(document.list, document.xml, signer, Clock().NowFileTime());
    if (!m_cache.Store(index, document.xml, error))
        return Failure(territory, State::Refused,
                       FormatRes(IDS_TL_STORE_FAILED, name, m_cache.Dir(), error));
    result.state = State::Updated;
    return result;
}

std::vector<std::string> Updater::Territories(const TrustedList& lotl) const {
    if (m_options.only.empty())
        return PointedTerritories(lotl);
    std::vector<std::string> territories;
    for (std::string code : m_options.only) {
        std::transform(code.begin(), code.end(), code.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (code != kLotlTerritory &&
            std::find(territories.begin(), territories.end(), code) == territories.end())
            territories.push_back(code);
    }
    return territories;
}

void Updater::RemoveDropped(const TrustedList& lotl) {
    const std::vector<std::string> pointed = PointedTerritories(lotl);
    for (const std::string& territory : m_cache.Territories()) {
        if (territory == kLotlTerritory ||
            std::find(pointed.begin(), pointed.end(), territory) != pointed.end())
            continue;
        m_cache.Remove(territory);
        m_summary.removed.push_back(territory);
    }
}

bool Updater::Report(const std::string& territory, std::size_t number, std::size_t total,
                     const TerritoryResult* result) const {
    if (!m_options.progress)
        return true;
    UpdateProgress progress;
    progress.territory = territory;
    progress.number = number;
    progress.total = total;
    progress.result = result;
    return m_options.progress(progress);
}

} // namespace

std::size_t UpdateSummary::Count(TerritoryResult::State state) const {
    return static_cast<std::size_t>(
        std::count_if(lists.begin(), lists.end(),
                      [state](const TerritoryResult& result) { return result.state == state; }));
}

bool UpdateSummary::Ok() const {
    const auto good = [](const TerritoryResult& result) {
        return result.state == State::Updated || result.state == State::Unchanged;
    };
    return good(lotl) && !cancelled &&
           std::all_of(lists.begin(), lists.end(), [&good](const TerritoryResult& result) {
               return good(result) || result.state == State::Missing;
           });
}

UpdateSummary UpdateTrustedLists(IListSource& source, const UpdateOptions& options) {
    Updater updater(source, options);
    return updater.Run();
}

bool AutoUpdateDue(const std::string& cacheDir, uint64_t now) {
    ListIndex lotl;
    std::string error;
    if (!ListCache(cacheDir).Load("EU", lotl, error))
        return true;
    return lotl.verifiedAt > now || now - lotl.verifiedAt >= kAutoUpdateInterval;
}

} // namespace tl
