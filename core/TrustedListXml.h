// The XML side of the trusted lists: reading a document safely (no network, no DTD, no
// entity expansion, a size limit), a quick look at what a file is without building its
// tree, and the small text readers the lists need (base64, xsd:dateTime).
#pragma once

#include "core/TrustedListModel.h"

#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tl {

// The largest list we read; the biggest national lists are a few megabytes.
inline constexpr std::size_t kMaxListBytes = 64u * 1024 * 1024;

// Sets up libxml2 and xmlsec (with its OpenSSL backend) once per process and keeps their
// messages off the terminal. Answers false when xmlsec cannot be set up.
[[nodiscard]] bool InitXmlSecurity();

// The last message xmlsec reported on this thread ("" when none); cleared by each call.
std::string TakeXmlSecMessage();

struct XmlDocFree {
    void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses `bytes` into a tree. Refuses input over kMaxListBytes and documents with a
// document type declaration (a list has none; it could only bring entities). False with a
// short English reason from the parser in `error`.
[[nodiscard]] bool ParseXml(std::string_view bytes, XmlDocPtr& doc, std::string& error);

// The three facts that tell which list a file is, read from the start of its scheme
// information without building the tree.
struct TslHeader {
    std::string tslType;
    std::string territory;
    uint64_t sequence = 0;
};
// True when `bytes` is a TrustServiceStatusList whose scheme information names its type,
// territory and sequence number.
[[nodiscard]] bool SniffTsl(std::string_view bytes, TslHeader& header);

// Decodes base64 text, skipping white space; false for any other character outside the
// alphabet, misplaced padding or a length that is not whole.
[[nodiscard]] bool DecodeBase64(std::string_view text, Blob& out);

// Reads an xsd:dateTime "YYYY-MM-DDThh:mm:ss[.fff…][Z|±hh:mm]" (no zone counts as UTC)
// into file-time ticks; fractions below a millisecond are dropped. False for anything
// else or a field out of range.
[[nodiscard]] bool ParseXsdDateTime(std::string_view text, uint64_t& fileTime);
// A file time as "DD.MM.YYYY hh:mm UTC"; "" for 0.
std::string UtcText(uint64_t fileTime);

// Tree helpers. An element matches when its local name is `name` and its namespace is
// `ns` (null: any namespace).
bool IsElement(const xmlNode* node, const char* name, const char* ns = kTslNamespace);
xmlNode* FirstChild(const xmlNode* node, const char* name, const char* ns = kTslNamespace);
xmlNode* NextSibling(const xmlNode* node, const char* name, const char* ns = kTslNamespace);
// The text content of an element with white space trimmed at both ends.
std::string TextOf(const xmlNode* node);
// The value of an attribute without namespace; nullopt-like empty `found` when missing.
bool AttributeOf(const xmlNode* node, const char* name, std::string& value);

} // namespace tl
