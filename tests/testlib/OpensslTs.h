// The `openssl ts` command line as an independent peer for interop tests: it reads our
// requests (-query -text), answers them as a TSA of its own (-reply) and verifies replies
// and tokens (-verify).
//
//   OpensslTs ts;                                    // signer, CA and config in a temp dir
//   QueryFields fields;
//   ASSERT_TRUE(ts.Query(requestDer, fields));       // what openssl reads in our request
//   Bytes reply;
//   ASSERT_TRUE(ts.Reply(requestDer, reply));        // openssl's answer to it
//   EXPECT_TRUE(ts.VerifyWithQuery(requestDer, reply).Ok());
//
// The signer is a TSA certificate of the token factory (TokenFactory::TsaCertPem/TsaKeyPem,
// issued by TokenFactory::CaCertPem). Every command runs with the helper's own config file,
// so the system's openssl.cnf (and its named OIDs such as "tsa_policy1") plays no part:
// OIDs print in dotted form unless OpenSSL itself has a name for them.
#pragma once

#include "tools/TokenFactory.h"

#include "testlib/TempDir.h"

#include <string>
#include <string_view>
#include <vector>

namespace mivo::test {

// One command's outcome: exit status (-1 when it could not be run or was killed), its
// standard output and its standard error.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    bool Ok() const { return exitCode == 0; }
};

// Runs `command` through the shell; standard input is /dev/null.
CommandResult RunCommand(const std::string& command);

// `text` quoted for the shell ('...').
std::string ShellQuote(std::string_view text);

// The fields of a request as `openssl ts -query -text` prints them.
struct QueryFields {
    std::string version;       // "1"
    std::string hashAlgorithm; // OpenSSL's short name: "sha1", "md5", "sha256", ...
    std::string imprintHex;    // lower-case hex, no separators
    std::string policy;        // dotted OID, or "unspecified"
    std::string nonceHex;      // upper-case hex of the value without leading zeros, or
                               // "unspecified"; a negative value keeps its "-"
    std::string certReq;       // "yes" / "no"
};

// Parses the text of `openssl ts -query -text`; false when a field is missing.
[[nodiscard]] bool ParseQueryText(const std::string& text, QueryFields& fields);

// Nonce bytes (big-endian) in the form ParseQueryText gives: upper-case hex without
// leading zeros ("0" for zero).
std::string NonceHex(const unsigned char* bytes, std::size_t length);

class OpensslTs {
public:
    struct Options {
        KeyKind key = KeyKind::Rsa;
        std::string defaultPolicy = "1.2.3.4.1";
        std::vector<std::string> otherPolicies;
        std::string signerDigest = "sha256";
        std::string accuracy = "secs:1, millisecs:500, microsecs:100";
        bool tsaName = true;
        bool ordering = false;
    };

    OpensslTs();
    explicit OpensslTs(const Options& options);

    // The folder of the config, certificates and scratch files (removed with the object).
    const std::string& Dir() const { return m_dir.Path(); }
    const std::string& ConfigPath() const { return m_strConfig; }
    const std::string& CaCertPath() const { return m_strCaCert; }
    const std::string& TsaCertPath() const { return m_strTsaCert; }
    const std::string& TsaKeyPath() const { return m_strTsaKey; }

    // Writes `bytes` into a file of the folder and answers its path.
    std::string WriteFile(std::string_view name, const Bytes& bytes) const;

    // `openssl ts -query -in REQ -text`.
    CommandResult QueryText(const Bytes& request) const;
    // QueryText, parsed. False when openssl refused the request or a field is missing.
    [[nodiscard]] bool Query(const Bytes& request, QueryFields& fields) const;

    // `openssl ts -reply -queryfile REQ -config CONF`: the DER reply, or false (with
    // openssl's messages in `result` when given). `tokenOnly` asks for -token_out.
    [[nodiscard]] bool Reply(const Bytes& request, Bytes& reply, CommandResult* result = nullptr,
                             bool tokenOnly = false) const;

    // `openssl ts -verify -queryfile REQ -in REPLY -CAfile CA -untrusted TSA`.
    CommandResult VerifyWithQuery(const Bytes& request, const Bytes& reply) const;
    // `openssl ts -verify -data FILE -in REPLY_OR_TOKEN [-token_in] -CAfile CA -untrusted
    // TSA`. `caFile` empty: the helper's CA.
    CommandResult VerifyWithData(const std::string& dataPath, const Bytes& replyOrToken,
                                 bool isToken, const std::string& caFile = {}) const;
    // `openssl ts -verify -digest HEX -in REPLY_OR_TOKEN [-token_in] ...`.
    CommandResult VerifyWithDigest(const std::string& digestHex, const Bytes& replyOrToken,
                                   bool isToken, const std::string& caFile = {}) const;

    // `openssl ts -reply -in REPLY_OR_TOKEN [-token_in] -text`: OpenSSL's reading of it.
    CommandResult ReplyText(const Bytes& replyOrToken, bool isToken) const;

private:
    std::string Scratch(std::string_view stem) const;
    CommandResult Verify(const std::string& source, const Bytes& replyOrToken, bool isToken,
                         const std::string& caFile) const;

    TempDir m_dir;
    std::string m_strConfig;
    std::string m_strCaCert;
    std::string m_strTsaCert;
    std::string m_strTsaKey;
    mutable unsigned m_nScratch = 0;
};

} // namespace mivo::test
