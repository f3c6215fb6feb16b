// The user's settings: the TSA's URL, the policy to request, the hash algorithm, whether the
// whole reply or only the token is saved, and the connection parameters. One process-wide
// object (GetClientSettings) reads and writes them in the INI file.
//
// The object is a full HTTP client but never connects: every exchange copies its
// connection parameters from it.
#pragma once

#include "core/HttpClient.h"

#include <cstdint>
#include <string>

inline constexpr char kSectionUser[] = "zarn";
inline constexpr char kSectionDefault[] = "default";
inline constexpr char kSectionStampedFiles[] = "time_stamped_files";

// The built-in defaults (build options; the operator sets the real ones when packaging).
const std::string& BuiltInServerUrl();
const std::string& BuiltInPolicyOid();

class CClientSettings : public CHttpClient {
public:
    // Sets the members to their initial values, then LoadDefaults.
    CClientSettings();

    // Policy, hash algorithm and server URL from the "default" section of the file named
    // now (at construction the bare name, which lies in the system configuration folder);
    // whole-reply saving.
    void LoadDefaults();
    // Each reads its key from section "default" of the current file; the built-in default
    // when the key is missing or empty. DefaultHashAlg answers 0 for a value outside 0..4.
    std::string DefaultServerUrl() const;
    std::string DefaultPolicyOid() const;
    int DefaultHashAlg() const;

    // Replaces the file name when `path` is not empty.
    void SetIniPath(const std::string& path);
    const std::string& IniPath() const { return m_strIniFile; }

    // Reads section "zarn"; a missing or empty key leaves its member as it is. Answers 1.
    // check_revocation and tl_auto_update are read here but not written by Save: the
    // settings page does not offer them, they are set in the file, and Save keeps the
    // file's other lines.
    int Load();
    // Writes all eleven keys of section "zarn", empty values too. Answers 1.
    int Save();

    // One key of the file. ReadString / ReadInt answer 1 and change the value only when
    // the key has a non-empty value (at most 254 characters are read); ReadInt converts
    // like atoi (leading digits, 0 without any, clamped to the int range). The writers
    // answer whether the file was written.
    int ReadString(const std::string& section, const std::string& key, std::string& text) const;
    int ReadInt(const std::string& section, const std::string& key, int& value) const;
    [[nodiscard]] int WriteString(const std::string& section, const std::string& key,
                                  const std::string& text) const;
    [[nodiscard]] int WriteInt(const std::string& section, const std::string& key, int value) const;

    const std::string& GetServerUrl() const { return m_strServerUrl; }
    void SetServerUrl(const std::string& text) { m_strServerUrl = text; }
    const std::string& GetUserAgent() const { return m_strUserAgent; }
    const std::string& GetProxyServer() const { return m_strProxyServer; }
    void SetProxyServer(const std::string& text) { m_strProxyServer = text; }
    const std::string& GetProxyUser() const { return m_strProxyUser; }
    void SetProxyUser(const std::string& text) { m_strProxyUser = text; }
    const std::string& GetProxyPassword() const { return m_strProxyPassword; }
    void SetProxyPassword(const std::string& text) { m_strProxyPassword = text; }
    const std::string& GetAuthUser() const { return m_strAuthUser; }
    const std::string& GetAuthPassword() const { return m_strAuthPassword; }
    const std::string& GetRequestPolicyOid() const { return m_strRequestPolicyOid; }
    void SetRequestPolicyOid(const std::string& text) { m_strRequestPolicyOid = text; }

    std::string m_strRequestPolicyOid;
    int32_t m_nHashAlg = 0;
    int32_t m_nSaveTsr = 1;
    // check_revocation: 1 looks up the revocation of a stamp's signer on line when the stamp
    // carries no answer (core/TrustEvaluator.h); 0 (the default) uses what the stamp carries.
    int32_t m_nCheckRevocation = 0;
    // tl_auto_update: 1 updates the EU trusted lists in the background at start-up when the
    // last update is a week old or more; 0 (the default) only when the user asks.
    int32_t m_nTlAutoUpdate = 0;
    std::string m_strIniFile = "mivoklient.ini";
};

// The process-wide settings, created (with its defaults) on first use.
CClientSettings& GetClientSettings();
// Deletes the process-wide settings; a later GetClientSettings creates a fresh one.
void DeleteClientSettings();

// Points `settings` at the user's INI file (UserIniPath) and makes sure its folder exists,
// so that a later Save can create the file. False, with the last error, when the folder
// cannot be made; the path is set either way.
[[nodiscard]] bool UseUserIniFile(CClientSettings& settings);
