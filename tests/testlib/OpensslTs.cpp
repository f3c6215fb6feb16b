#include "testlib/OpensslTs.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace mivo::test {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The value after "Name: " on a line of its own, or nothing.
bool FieldValue(const std::string& text, const std::string& name, std::string& value) {
    std::istringstream lines(text);
    std::string line;
    const std::string prefix = name + ": ";
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) == 0) {
            value = line.substr(prefix.size());
            while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
                value.pop_back();
            return true;
        }
    }
    return false;
}

} // namespace

std::string ShellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    const char* base = std::getenv("TMPDIR");
    std::string errPath =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/mivo-cmd-err-XXXXXX";
    const int errFd = mkstemp(errPath.data());
    if (errFd < 0)
        return result;
    close(errFd);
    const std::string full = "( " + command + " ) </dev/null 2>" + ShellQuote(errPath);
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe != nullptr) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.out.append(buffer, n);
        const int status = pclose(pipe);
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
    }
    result.err = ReadFile(errPath);
    unlink(errPath.c_str());
    return result;
}

bool ParseQueryText(const std::string& text, QueryFields& fields) {
    QueryFields parsed;
    if (!FieldValue(text, "Version", parsed.version) ||
        !FieldValue(text, "Hash Algorithm", parsed.hashAlgorithm) ||
        !FieldValue(text, "Policy OID", parsed.policy) ||
        !FieldValue(text, "Nonce", parsed.nonceHex) ||
        !FieldValue(text, "Certificate required", parsed.certReq)) {
        return false;
    }
    if (parsed.nonceHex.rfind("0x", 0) == 0)
        parsed.nonceHex = parsed.nonceHex.substr(2);

    // The imprint: hex dump lines "    0000 - 58 91 ... d2   X..." after "Message data:",
    // each byte in three columns ("xx " or "xx-"), the printable form after the bytes.
    const std::size_t data = text.find("Message data:\n");
    if (data == std::string::npos)
        return false;
    std::istringstream lines(text.substr(data + 14));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t dash = line.find(" - ");
        if (line.empty() || line[0] != ' ' || dash == std::string::npos)
            break;
        const std::string bytes = line.substr(dash + 3);
        for (std::size_t i = 0; i + 1 < bytes.size() && i < 48; i += 3) {
            if (!IsHex(bytes[i]) || !IsHex(bytes[i + 1]))
                break;
            parsed.imprintHex += Lower(bytes.substr(i, 2));
        }
    }
    fields = parsed;
    return true;
}

std::string NonceHex(const unsigned char* bytes, std::size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    std::size_t i = 0;
    while (i < length && bytes[i] == 0)
        ++i;
    for (; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex.empty() ? "0" : hex;
}

OpensslTs::OpensslTs() : OpensslTs(Options{}) {}

OpensslTs::OpensslTs(const Options& options) {
    m_strCaCert = m_dir.Write("ca.pem", TokenFactory::CaCertPem());
    m_strTsaCert = m_dir.Write("tsa.pem", TokenFactory::TsaCertPem(options.key));
    m_strTsaKey = m_dir.Write("tsa.key", TokenFactory::TsaKeyPem(options.key));
    m_dir.Write("tsaserial", "01\n");

    std::string other;
    for (const auto& policy : options.otherPolicies)
        other += (other.empty() ? "" : ", ") + policy;
    std::string config = "# openssl ts as an independent TSA for the interop tests\n"
                         "[ tsa ]\n"
                         "default_tsa = tsa_config1\n"
                         "\n"
                         "[ tsa_config1 ]\n"
                         "dir = " +
                         Dir() +
                         "\n"
                         "serial = $dir/tsaserial\n"
                         "crypto_device = builtin\n"
                         "signer_cert = $dir/tsa.pem\n"
                         "certs = $dir/ca.pem\n"
                         "signer_key = $dir/tsa.key\n"
                         "signer_digest = " +
                         options.signerDigest +
                         "\n"
                         "default_policy = " +
                         options.defaultPolicy + "\n";
    if (!other.empty())
        config += "other_policies = " + other + "\n";
    config += "digests = md5, sha1, sha256, sha384, sha512\n"
              "accuracy = " +
              options.accuracy +
              "\n"
              "clock_precision_digits = 0\n"
              "ordering = " +
              std::string(options.ordering ? "yes" : "no") +
              "\n"
              "tsa_name = " +
              std::string(options.tsaName ? "yes" : "no") +
              "\n"
              "ess_cert_id_chain = no\n"
              "ess_cert_id_alg = sha256\n";
    m_strConfig = m_dir.Write("tsa.cnf", config);
}

std::string OpensslTs::WriteFile(std::string_view name, const Bytes& bytes) const {
    return m_dir.Write(name,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string OpensslTs::Scratch(std::string_view stem) const {
    return std::string(stem) + "-" + std::to_string(++m_nScratch);
}

CommandResult OpensslTs::QueryText(const Bytes& request) const {
    const std::string path = WriteFile(Scratch("query") + ".tsq", request);
    return RunCommand("openssl ts -query -config " + ShellQuote(m_strConfig) + " -in " +
                      ShellQuote(path) + " -text");
}

bool OpensslTs::Query(const Bytes& request, QueryFields& fields) const {
    const CommandResult result = QueryText(request);
    return result.Ok() && ParseQueryText(result.out, fields);
}

bool OpensslTs::Reply(const Bytes& request, Bytes& reply, CommandResult* result,
                      bool tokenOnly) const {
    const std::string stem = Scratch("reply");
    const std::string query = WriteFile(stem + ".tsq", request);
    const std::string out = m_dir.File(stem + ".tsr");
    CommandResult run = RunCommand("openssl ts -reply -config " + ShellQuote(m_strConfig) +
                                   " -queryfile " + ShellQuote(query) + " -out " + ShellQuote(out) +
                                   (tokenOnly ? " -token_out" : ""));
    const std::string bytes = ReadFile(out);
    const bool ok = run.Ok() && !bytes.empty();
    if (ok)
        reply.assign(bytes.begin(), bytes.end());
    if (result != nullptr)
        *result = std::move(run);
    return ok;
}

CommandResult OpensslTs::Verify(const std::string& source, const Bytes& replyOrToken, bool isToken,
                                const std::string& caFile) const {
    const std::string in = WriteFile(Scratch("verify") + (isToken ? ".tst" : ".tsr"), replyOrToken);
    return RunCommand("openssl ts -verify -config " + ShellQuote(m_strConfig) + " " + source +
                      " -in " + ShellQuote(in) + (isToken ? " -token_in" : "") + " -CAfile " +
                      ShellQuote(caFile.empty() ? m_strCaCert : caFile) + " -untrusted " +
                      ShellQuote(m_strTsaCert));
}

CommandResult OpensslTs::VerifyWithQuery(const Bytes& request, const Bytes& reply) const {
    const std::string query = WriteFile(Scratch("verify") + ".tsq", request);
    return Verify("-queryfile " + ShellQuote(query), reply, false, {});
}

CommandResult OpensslTs::VerifyWithData(const std::string& dataPath, const Bytes& replyOrToken,
                                        bool isToken, const std::string& caFile) const {
    return Verify("-data " + ShellQuote(dataPath), replyOrToken, isToken, caFile);
}

CommandResult OpensslTs::VerifyWithDigest(const std::string& digestHex, const Bytes& replyOrToken,
                                          bool isToken, const std::string& caFile) const {
    return Verify("-digest " + ShellQuote(digestHex), replyOrToken, isToken, caFile);
}

CommandResult OpensslTs::ReplyText(const Bytes& replyOrToken, bool isToken) const {
    const std::string in = WriteFile(Scratch("text") + (isToken ? ".tst" : ".tsr"), replyOrToken);
    return RunCommand("openssl ts -reply -config " + ShellQuote(m_strConfig) + " -in " +
                      ShellQuote(in) + (isToken ? " -token_in" : "") + " -text");
}

} // namespace mivo::test
