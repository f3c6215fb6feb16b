#include "document/Pages.h"

#include "core/ClientSettings.h"
#include "document/DetailFields.h"
#include "document/ZarnDoc.h"
#include "support/SupportFunctions.h"

#include <climits>
#include <cstdlib>

namespace {

PageFill Text(std::string_view id, std::string value) {
    return {PageFill::Kind::Text, std::string(id), std::move(value)};
}

// A decimal integer from the start of `text` as atoi reads it (sign, digits, clamped);
// 0 when the text does not start with a number.
long LeadingInteger(const std::string& text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > INT_MAX)
            value = static_cast<long long>(INT_MAX) + 1; // stays out of range, no overflow
    }
    return static_cast<long>(negative ? -value : value);
}

std::string ToneClass(FieldTone tone) {
    switch (tone) {
    case FieldTone::Good:
        return "verdict-good";
    case FieldTone::Bad:
        return "verdict-bad";
    case FieldTone::None:
        break;
    }
    return {};
}

int ProxyTypeOf(const std::string& value) {
    if (value == "USE_DIRECT_VAL")
        return 1;
    if (value == "USE_PROXY_VAL")
        return 3;
    return 0;
}

} // namespace

std::string PostDataText(std::span<const unsigned char> post) {
    std::string text;
    text.reserve(post.size());
    for (unsigned char byte : post) {
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

bool FindField(std::string_view text, std::string_view key, std::string& value) {
    if (key.empty())
        return false;
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return false;
    const std::size_t start = at + key.size();
    const std::size_t end = text.find('&', start);
    value = std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
    return true;
}

PageFills StampPageFills(const CZarnDoc* doc) {
    PageFills fills;
    if (doc == nullptr)
        return fills;
    for (std::string_view id : {kStampFileField, kSourceFileField})
        fills.push_back(Text(id, doc->GetFieldValue(id)));
    // The general section's texts, the check's colour, then every other text, each group in
    // the document's own order.
    const auto fields = DetailFields();
    const auto order = DetailFieldsInDocumentOrder();
    for (std::size_t index : order)
        if (fields[index].section == PageSection::General &&
            fields[index].source != FieldSource::Verdicts)
            fills.push_back(Text(fields[index].name, doc->DetailText(index)));
    if (!doc->SourceMatches())
        fills.push_back({PageFill::Kind::Background, std::string(fields[kCheckOutcomeField].name),
                         kMismatchColour});
    for (std::size_t index : order)
        if (fields[index].section != PageSection::General &&
            fields[index].source != FieldSource::Verdicts)
            fills.push_back(Text(fields[index].name, doc->DetailText(index)));
    // The verdicts' texts, then the colour of each cell that has one.
    for (std::size_t index : order)
        if (fields[index].source == FieldSource::Verdicts && (fields[index].places & kPageFill))
            fills.push_back(Text(fields[index].name, doc->DetailText(index)));
    for (std::size_t index : order)
        if (fields[index].tone != nullptr && (fields[index].places & kPageFill))
            fills.push_back({PageFill::Kind::Tone, std::string(fields[index].name),
                             ToneClass(DetailFieldTone(index, doc->Verdicts()))});
    return fills;
}

PageFills SettingsPageFills(const CClientSettings& settings, bool showDefaults) {
    const int hash = showDefaults ? settings.DefaultHashAlg() : settings.m_nHashAlg;
    const char* connection = settings.m_nProxyType == 3   ? "CONNECT_USE_PROXY_ID"
                             : settings.m_nProxyType == 1 ? "CONNECT_USE_DIRECT_ID"
                                                          : "CONNECT_USE_IE_SET_ID";
    return {
        {PageFill::Kind::Radio, "RADIO_HASH_ID_" + std::to_string(hash), ""},
        {PageFill::Kind::Value, "REQ_POLICY_OID_ID",
         showDefaults ? settings.DefaultPolicyOid() : settings.GetRequestPolicyOid()},
        {PageFill::Kind::Value, "REQ_SERVER_URL_ID",
         showDefaults ? settings.DefaultServerUrl() : settings.GetServerUrl()},
        {PageFill::Kind::Value, "PROXY_SERVER_ID", settings.GetProxyServer()},
        {PageFill::Kind::Value, "PROXY_SERVER_USER_ID", settings.GetProxyUser()},
        {PageFill::Kind::Value, "PROXY_SERVER_PASSWD_ID", settings.GetProxyPassword()},
        {PageFill::Kind::Radio, connection, ""},
    };
}

PageFills AboutPageFills(const std::string& executablePath) {
    std::string text;
    std::string directory;
    SplitPath(executablePath, directory, text);
    PageFills fills{Text("APP_NAME_ID", text)};
    text = executablePath;
    GetProductVersion(executablePath, text);
    fills.push_back(Text("APP_VERSION_ID", text));
    return fills;
}

PageFills AboutPageFills() {
    std::string path;
    return AboutPageFills(ModulePath(path));
}

PageFills FillsForPage(std::string_view pagePath, const CZarnDoc* doc,
                       const CClientSettings& settings, bool showDefaults) {
    if (pagePath == kAboutPagePath)
        return AboutPageFills();
    if (pagePath == kSettingsPagePath)
        return SettingsPageFills(settings, showDefaults);
    if (pagePath == kStampPagePath)
        return StampPageFills(doc);
    return {};
}

bool PageInputs::GetInputValue(const std::string& idOrName, std::string& value) const {
    const auto it = m_values.find(idOrName);
    if (it == m_values.end() || !it->second)
        return false;
    value = *it->second;
    return true;
}

SubmitOutcome SettingsSubmit(const std::string& postText, const PageInputs* inputs,
                             CClientSettings& settings) {
    SubmitOutcome outcome;
    if (postText.empty())
        return outcome;
    std::string value;
    if (FindField(postText, "OK_ID=", value)) {
        bool changed = false;
        if (FindField(postText, "RADIO_HASH_ID=", value)) {
            const long hash = LeadingInteger(value);
            settings.m_nHashAlg = hash < 0 || hash > 4 ? 0 : static_cast<int>(hash);
            changed = true;
        }
        if (inputs != nullptr && inputs->GetInputValue("REQ_POLICY_OID_ID", value)) {
            settings.SetRequestPolicyOid(value);
            changed = true;
        }
        if (inputs != nullptr && inputs->GetInputValue("REQ_SERVER_URL_ID", value)) {
            settings.SetServerUrl(value);
            changed = true;
        }
        if (FindField(postText, "RADIO_CONNECT_ID=", value))
            settings.m_nProxyType = ProxyTypeOf(value);
        if (inputs != nullptr && inputs->GetInputValue("PROXY_SERVER_ID", value)) {
            settings.SetProxyServer(value);
            changed = true;
        }
        if (inputs != nullptr && inputs->GetInputValue("PROXY_SERVER_USER_ID", value)) {
            settings.SetProxyUser(value);
            changed = true;
        }
        if (inputs != nullptr && inputs->GetInputValue("PROXY_SERVER_PASSWD_ID", value)) {
            settings.SetProxyPassword(value);
            changed = true;
        }
        if (changed) {
            settings.Save();
            outcome.saved = true;
        }
        outcome.showAbout = true;
    } else if (FindField(postText, "CANCEL_ID=", value)) {
        outcome.showAbout = true;
    } else if (FindField(postText, "DEFAULT_VALUES_ID=", value)) {
        outcome.showDefaults = true;
    }
    return outcome;
}

SubmitOutcome HandleSubmit(std::string_view pagePath, std::span<const unsigned char> post,
                           const PageInputs* inputs, CClientSettings& settings) {
    SubmitOutcome outcome;
    if (pagePath == kSettingsPagePath) {
        outcome = SettingsSubmit(PostDataText(post), inputs, settings);
        // A page of our own replaces the form's navigation.
        outcome.cancel = outcome.showAbout;
    } else if (pagePath == kStampPagePath) {
        const std::string text = PostDataText(post);
        if (!text.empty()) {
            outcome.cancel = true;
            std::string value;
            outcome.showCertificate = FindField(text, "VIEW_CERT_ID=", value);
            outcome.trustAuthority = FindField(text, "TRUST_TSA_ID=", value);
        }
    }
    return outcome;
}
