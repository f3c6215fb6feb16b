#include "core/ClientSettings.h"

#include "platform/ConfigDirs.h"
#include "platform/Profile.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#ifndef MIVO_DEFAULT_SERVER_URL
#error "MIVO_DEFAULT_SERVER_URL must be defined by the build"
#endif
#ifndef MIVO_DEFAULT_POLICY_OID
#error "MIVO_DEFAULT_POLICY_OID must be defined by the build"
#endif

namespace {

// The profile reader's buffer: 256 bytes, of which it may fill 255 with the terminator.
constexpr std::size_t kReadLimit = 255;

std::unique_ptr<CClientSettings> g_settings;

} // namespace

const std::string& BuiltInServerUrl() {
    static const std::string url = MIVO_DEFAULT_SERVER_URL;
    return url;
}

const std::string& BuiltInPolicyOid() {
    static const std::string oid = MIVO_DEFAULT_POLICY_OID;
    return oid;
}

CClientSettings::CClientSettings() {
    LoadDefaults();
}

void CClientSettings::LoadDefaults() {
    m_strRequestPolicyOid = DefaultPolicyOid();
    m_nHashAlg = DefaultHashAlg();
    m_strServerUrl = DefaultServerUrl();
    m_nSaveTsr = 1;
}

std::string CClientSettings::DefaultServerUrl() const {
    std::string url = BuiltInServerUrl();
    ReadString(kSectionDefault, "server_url", url);
    return url;
}

std::string CClientSettings::DefaultPolicyOid() const {
    std::string oid = BuiltInPolicyOid();
    ReadString(kSectionDefault, "policy_oid", oid);
    return oid;
}

int CClientSettings::DefaultHashAlg() const {
    int code = 0;
    ReadInt(kSectionDefault, "hash_alg", code);
    return code < 0 || code > 4 ? 0 : code;
}

void CClientSettings::SetIniPath(const std::string& path) {
    if (!path.empty())
        m_strIniFile = path;
}

int CClientSettings::Load() {
    ReadString(kSectionUser, "policy_oid", m_strRequestPolicyOid);
    ReadString(kSectionUser, "server_url", m_strServerUrl);
    int value = m_nHashAlg;
    ReadInt(kSectionUser, "hash_alg", value);
    m_nHashAlg = value < 0 || value > 4 ? 0 : value;
    ReadString(kSectionUser, "auth_user", m_strAuthUser);
    ReadString(kSectionUser, "auth_passwd", m_strAuthPassword);
    ReadString(kSectionUser, "user_agent", m_strUserAgent);
    value = m_nSaveTsr;
    ReadInt(kSectionUser, "save_tsr", value);
    m_nSaveTsr = value;
    ReadString(kSectionUser, "proxy_server_user", m_strProxyUser);
    ReadString(kSectionUser, "proxy_server_passwd", m_strProxyPassword);
    ReadString(kSectionUser, "proxy_server", m_strProxyServer);
    value = m_nProxyType;
    ReadInt(kSectionUser, "proxy_type", value);
    m_nProxyType = value >= 4 ? 0 : value;
    value = m_nCheckRevocation;
    ReadInt(kSectionUser, "check_revocation", value);
    m_nCheckRevocation = value != 0 ? 1 : 0;
    value = m_nTlAutoUpdate;
    ReadInt(kSectionUser, "tl_auto_update", value);
    m_nTlAutoUpdate = value != 0 ? 1 : 0;
    return 1;
}

int CClientSettings::Save() {
    const std::pair<const char*, std::string> keys[] = {
        {"policy_oid", m_strRequestPolicyOid},        {"server_url", m_strServerUrl},
        {"hash_alg", std::to_string(m_nHashAlg)},     {"auth_user", m_strAuthUser},
        {"auth_passwd", m_strAuthPassword},           {"user_agent", m_strUserAgent},
        {"save_tsr", std::to_string(m_nSaveTsr)},     {"proxy_server_user", m_strProxyUser},
        {"proxy_server_passwd", m_strProxyPassword},  {"proxy_server", m_strProxyServer},
        {"proxy_type", std::to_string(m_nProxyType)},
    };
    // Every key is tried, whatever became of the one before; the answer is 1 either way.
    for (const auto& [key, text] : keys)
        static_cast<void>(WriteString(kSectionUser, key, text));
    return 1;
}

int CClientSettings::ReadString(const std::string& section, const std::string& key,
                                std::string& text) const {
    std::string value;
    if (GetPrivateProfileString(section, key, "", value, kReadLimit, m_strIniFile) == 0)
        return 0;
    text = value;
    return 1;
}

int CClientSettings::ReadInt(const std::string& section, const std::string& key, int& value) const {
    std::string text;
    if (GetPrivateProfileString(section, key, "", text, kReadLimit, m_strIniFile) == 0)
        return 0;
    // atoi, without its undefined behaviour on overflow: the result is clamped.
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    value = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
    return 1;
}

int CClientSettings::WriteString(const std::string& section, const std::string& key,
                                 const std::string& text) const {
    return WritePrivateProfileString(section.c_str(), key.c_str(), text.c_str(), m_strIniFile) ? 1
                                                                                               : 0;
}

int CClientSettings::WriteInt(const std::string& section, const std::string& key, int value) const {
    return WriteString(section, key, std::to_string(value));
}

CClientSettings& GetClientSettings() {
    if (!g_settings)
        g_settings = std::make_unique<CClientSettings>();
    return *g_settings;
}

void DeleteClientSettings() {
    g_settings.reset();
}

bool UseUserIniFile(CClientSettings& settings) {
    settings.SetIniPath(UserIniPath());
    return EnsureUserConfigDir();
}
