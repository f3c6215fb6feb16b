// The published detail fields: how each text is written from the decoded records, and the
// table that names them.
#include "document/DetailFields.h"

#include "core/HashAlgorithms.h"
#include "core/StampVerdicts.h"
#include "core/TimeStampPart.h"
#include "core/ValueText.h"
#include "support/Conversions.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <algorithm>
#include <array>

namespace {

using Part = CTimeStampPart;

// A float in printf's general notation, six significant digits.
std::string NumberText(float value) {
    return FormatText("%g", static_cast<double>(value));
}

// Seconds shown as milliseconds, computed in single precision.
std::string MillisecondsText(float seconds) {
    return NumberText(seconds * 1000.0f) + LoadResString(IDS_UNIT_MILLISECONDS);
}

std::string AnsiText(std::string_view utf8) {
    std::string text;
    Utf8ToAnsi(utf8, text);
    return text;
}

std::string AccuracyText(const TTI_TSTINFO& info) {
    const bool millis = info.nAccuracyMillis != 0, micros = info.nAccuracyMicros != 0;
    if (info.nAccuracySec != 0) {
        std::string text = std::to_string(info.nAccuracySec) + LoadResString(IDS_UNIT_SECONDS);
        if (millis || micros)
            text += " " + LoadResString(IDS_ACCURACY_UNEXPECTED);
        return text;
    }
    if (millis) {
        std::string text =
            std::to_string(info.nAccuracyMillis) + LoadResString(IDS_UNIT_MILLISECONDS);
        if (micros)
            text += " " + LoadResString(IDS_ACCURACY_UNEXPECTED);
        return text;
    }
    if (micros)
        return std::to_string(info.nAccuracyMicros) + LoadResString(IDS_UNIT_MICROSECONDS);
    return LoadResString(IDS_ACCURACY_UNKNOWN);
}

std::string HashAlgorithmText(const TTI_TSTINFO& info) {
    const HashAlgorithm* algorithm = HashAlgorithmByOid(std::string(FieldText(info.szHashOid)));
    return algorithm != nullptr ? algorithm->szName : LoadResString(IDS_INVALID_DATA);
}

// The check's outcome as long as nothing confirmed the stamp.
std::string StampErrorText() {
    std::string text;
    return ResultCodeText(RESULT_E_STAMP, text) ? text : std::string();
}

std::string NoTacText() {
    return LoadResString(IDS_NO_TAC_FOUND);
}

// ---- The verdicts' texts (read only once something was judged) --------------------------

const TrustResult& Trust(const StampVerdicts& v) {
    return *v.trust;
}

std::string QualifiedKey(const StampVerdicts& v) {
    if (!v.qualified)
        return {};
    switch (v.qualified->qualified) {
    case Qualified::Yes:
        return "yes";
    case Qualified::No:
        return "no";
    case Qualified::Unknown:
        return "unknown";
    }
    return {};
}

std::string TacVerifiedKey(const StampVerdicts& v) {
    switch (Trust(v).tac) {
    case TacVerification::Verified:
        return "yes";
    case TacVerification::NotVerified:
        return "no";
    case TacVerification::NoTac:
        break;
    }
    return {};
}

std::string QualifiedText(const StampVerdicts& v, std::string QualifiedVerdict::*member) {
    return v.qualified ? (*v.qualified).*member : std::string();
}

FieldTone TrustTone(const StampVerdicts& v) {
    return Trust(v).IsTrusted() ? FieldTone::Good : FieldTone::Bad;
}

FieldTone TacTone(const StampVerdicts& v) {
    return Trust(v).tac == TacVerification::NotVerified ? FieldTone::Bad : FieldTone::None;
}

FieldTone QualifiedTone(const StampVerdicts& v) {
    return v.qualified && v.qualified->qualified == Qualified::Yes ? FieldTone::Good
                                                                   : FieldTone::Bad;
}

constexpr auto kCheck = FieldSource::Check;
constexpr auto kToken = FieldSource::Token;
constexpr auto kTac = FieldSource::Tac;
constexpr auto kVerdicts = FieldSource::Verdicts;
constexpr unsigned kShown = kShowText | kShowJson;

// In page order; `order` is the document's own order.
constexpr std::array kFields = std::to_array<DetailField>({
    // Section "Obecné informace" (after the stamp and source paths).
    {"m_hash_verif_msg", kCheck,
     [](const Part& p) {
         return p.SourceMatches() ? LoadResString(IDS_STAMP_OK) : StampErrorText();
     },
     StampErrorText, PageSection::General, 0},
    {"m_verif_msg", kCheck,
     [](const Part& p) { return p.SourceMatches() ? std::string() : p.ErrorText(); }, nullptr,
     PageSection::General, 1},
    // Section "Vydané kvalifikované časové razítko".
    {"m_strClockName", kToken,
     [](const Part& p) { return AnsiText(FieldText(p.TstInfo().szTsaName)); }, nullptr,
     PageSection::Token, 2},
    {"m_strUTCTime", kToken,
     [](const Part& p) { return FormatGenTime(FieldText(p.TstInfo().szGenTime)); }, nullptr,
     PageSection::Token, 3},
    {"m_strPolicyOid", kToken,
     [](const Part& p) { return std::string(FieldText(p.TstInfo().szPolicyOid)); }, nullptr,
     PageSection::Token, 9},
    {"m_strQuality", kToken, [](const Part& p) { return AccuracyText(p.TstInfo()); }, nullptr,
     PageSection::Token, 4},
    {"m_strVersion", kToken, [](const Part& p) { return std::to_string(p.TstInfo().nVersion); },
     nullptr, PageSection::Token, 6},
    {"m_strSerialNumber", kToken,
     [](const Part& p) { return SerialText(p.TstInfo().serial, p.TstInfo().nSerialLen); }, nullptr,
     PageSection::Token, 5},
    {"m_strHashAlgorithm", kToken, [](const Part& p) { return HashAlgorithmText(p.TstInfo()); },
     nullptr, PageSection::Token, 7},
    {"m_strNonce", kToken,
     [](const Part& p) { return SerialText(p.TstInfo().nonce, p.TstInfo().nNonceLen); }, nullptr,
     PageSection::Token, 8},
    // Section "TAC", hidden until the user opens it.
    {"m_tac_strVersion", kTac, [](const Part& p) { return std::to_string(p.CertInfo().nVersion); },
     NoTacText, PageSection::Tac, 17},
    {"m_tac_strHolder", kTac,
     [](const Part& p) { return AnsiText(FieldText(p.CertInfo().szHolder)); }, nullptr,
     PageSection::Tac, 18},
    {"m_tac_strHolderThumbprint", kTac,
     [](const Part& p) { return HexText(p.CertInfo().holderThumb, p.CertInfo().nHolderThumbLen); },
     nullptr, PageSection::Tac, 20},
    {"m_tac_strIssuer", kTac,
     [](const Part& p) { return std::string(FieldText(p.CertInfo().szIssuer)); }, nullptr,
     PageSection::Tac, 19},
    {"m_tac_strSerialNumber", kTac,
     [](const Part& p) { return SerialText(p.CertInfo().serial, p.CertInfo().nSerialLen); },
     nullptr, PageSection::Tac, 23},
    {"m_mtr_strNtpTime", kTac,
     [](const Part& p) { return FormatGenTime(FieldText(p.TimingMetrics().szNtpTime)); }, NoTacText,
     PageSection::Tac, 10},
    {"m_mtr_strExpiration", kTac,
     [](const Part& p) { return FormatGenTime(FieldText(p.TimingMetrics().szExpiration)); },
     nullptr, PageSection::Tac, 11},
    {"m_mtr_strOffset", kTac,
     [](const Part& p) { return MillisecondsText(p.TimingMetrics().fOffset); }, nullptr,
     PageSection::Tac, 12},
    {"m_mtr_strDelay", kTac,
     [](const Part& p) { return MillisecondsText(p.TimingMetrics().fDelay); }, nullptr,
     PageSection::Tac, 13},
    {"m_tac_strSignature", kTac,
     [](const Part& p) { return HexText(p.CertInfo().signature, p.CertInfo().nSignatureLen); },
     nullptr, PageSection::Tac, 24},
    // Not on the page.
    {"m_mtr_strPolicyOID", kTac,
     [](const Part& p) { return std::string(FieldText(p.TimingPolicy().szPolicyOid)); }, nullptr,
     PageSection::NotShown, 14},
    {"m_mtr_strMaxDelay", kTac,
     [](const Part& p) { return NumberText(p.TimingPolicy().fMaxDelay); }, nullptr,
     PageSection::NotShown, 15},
    {"m_mtr_strMaxOffset", kTac,
     [](const Part& p) { return NumberText(p.TimingPolicy().fMaxOffset); }, nullptr,
     PageSection::NotShown, 16},
    {"m_tac_strValidFrom", kTac,
     [](const Part& p) { return FormatGenTime(FieldText(p.CertInfo().szValidFrom)); }, nullptr,
     PageSection::NotShown, 21},
    {"m_tac_strValidUntil", kTac,
     [](const Part& p) { return FormatGenTime(FieldText(p.CertInfo().szValidTo)); }, nullptr,
     PageSection::NotShown, 22},
    // The verdicts, judged once the stamp passed its checks.
    {"trust", kVerdicts, nullptr, nullptr, PageSection::NotShown, 25, kShown,
     [](const StampVerdicts& v) {
         return std::string(TrustVerdictRowOf(Trust(v).verdict).key);
     }},
    {"trust_msg", kVerdicts, nullptr, nullptr, PageSection::General, 26, kEverywhere,
     [](const StampVerdicts& v) { return Trust(v).message; }, TrustTone},
    {"tac_verified", kVerdicts, nullptr, nullptr, PageSection::NotShown, 27, kShowJson,
     TacVerifiedKey},
    {"trust_anchor", kVerdicts, nullptr, nullptr, PageSection::NotShown, 28, kShown,
     [](const StampVerdicts& v) {
         return Trust(v).anchorSubject;
     }},
    // The note beside the TAC's fields, in red, when its signature did not hold.
    {"tac_note", kVerdicts, nullptr, nullptr, PageSection::Tac, 29, kPageFill | kShowText,
     [](const StampVerdicts& v) { return Trust(v).tacNote; }, TacTone},
    {"qualified", kVerdicts, nullptr, nullptr, PageSection::NotShown, 30, kShown, QualifiedKey},
    {"qualified_msg", kVerdicts, nullptr, nullptr, PageSection::General, 31, kEverywhere,
     [](const StampVerdicts& v) { return QualifiedText(v, &QualifiedVerdict::message); },
     QualifiedTone},
    {"tl_territory", kVerdicts, nullptr, nullptr, PageSection::NotShown, 32, kShown,
     [](const StampVerdicts& v) {
         return QualifiedText(v, &QualifiedVerdict::territory);
     }},
    {"tl_service", kVerdicts, nullptr, nullptr, PageSection::NotShown, 33, kShown,
     [](const StampVerdicts& v) {
         return QualifiedText(v, &QualifiedVerdict::serviceName);
     }},
});

static_assert(kFields[kCheckOutcomeField].name == "m_hash_verif_msg");

// The stamp's own fields first, in the page's sections; the verdicts' fields after them.
constexpr std::size_t kOwnFields = 25;
static_assert(std::is_sorted(kFields.begin(), kFields.begin() + kOwnFields,
                             [](const DetailField& a, const DetailField& b) {
                                 return a.section < b.section;
                             }),
              "the rows follow the page's sections");
static_assert(std::all_of(kFields.begin(), kFields.end(), [](const DetailField& f) {
    return (f.source == FieldSource::Verdicts) == (f.readVerdicts != nullptr && !f.read) &&
           (f.source == FieldSource::Verdicts) == (f.order >= kOwnFields);
}));

// The indexes of the rows in the document's own order; every order number is used once.
constexpr auto kDocumentOrder = [] {
    std::array<std::size_t, kFields.size()> indexes{};
    std::array<bool, kFields.size()> taken{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const std::size_t order = kFields[i].order;
        if (order >= kFields.size() || taken[order])
            throw "each order number from 0 once"; // not a constant expression: fails the build
        taken[order] = true;
        indexes[order] = i;
    }
    return indexes;
}();

// Every name once.
static_assert([] {
    for (std::size_t i = 0; i < kFields.size(); ++i)
        for (std::size_t j = i + 1; j < kFields.size(); ++j)
            if (kFields[i].name == kFields[j].name)
                return false;
    return true;
}());

} // namespace

std::span<const DetailField> DetailFields() {
    return kFields;
}

std::span<const std::size_t> DetailFieldsInDocumentOrder() {
    return kDocumentOrder;
}

std::size_t DetailFieldIndex(std::string_view name) {
    const auto* field = std::find_if(kFields.begin(), kFields.end(),
                                     [name](const DetailField& f) { return f.name == name; });
    return static_cast<std::size_t>(field - kFields.begin());
}

std::vector<std::string> ReadDetailTexts(const CTimeStampPart& part, bool checked,
                                         const StampVerdicts* verdicts) {
    std::vector<std::string> texts;
    texts.reserve(kFields.size());
    for (const DetailField& field : kFields) {
        if (field.source == FieldSource::Verdicts) {
            texts.push_back(verdicts != nullptr && verdicts->Judged()
                                ? field.readVerdicts(*verdicts)
                                : std::string());
            continue;
        }
        const bool there = field.source == FieldSource::Check   ? checked
                           : field.source == FieldSource::Token ? part.HasTstInfo()
                                                                : part.HasTac();
        if (there)
            texts.push_back(field.read(part));
        else
            texts.push_back(field.absent != nullptr ? field.absent() : std::string());
    }
    return texts;
}

FieldTone DetailFieldTone(std::size_t index, const StampVerdicts& verdicts) {
    if (index >= kFields.size() || kFields[index].tone == nullptr || !verdicts.Judged())
        return FieldTone::None;
    return kFields[index].tone(verdicts);
}
