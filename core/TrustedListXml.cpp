#include "core/TrustedListXml.h"

#include "platform/FileTime.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/xmlsec.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace tl {

namespace {

thread_local std::string t_xmlSecMessage;

std::string_view TrimView(std::string_view text);

// xmlsec reports every step of a failure; the first message of a failure is the cause.
void OnXmlSecError(const char* /*file*/, int /*line*/, const char* /*func*/,
                   const char* errorObject, const char* /*errorSubject*/, int /*reason*/,
                   const char* msg) {
    if (!t_xmlSecMessage.empty() || msg == nullptr)
        return;
    t_xmlSecMessage = std::string(errorObject != nullptr ? errorObject : "xmlsec") + ": " +
                      std::string(TrimView(msg)).substr(0, 200);
}

bool InitOnce() {
    xmlInitParser();
    if (xmlSecInit() < 0)
        return false;
    if (xmlSecCheckVersion() != 1)
        return false;
    if (xmlSecCryptoAppInit(nullptr) < 0 || xmlSecCryptoInit() < 0)
        return false;
    // After the crypto set-up, which installs the default (printing) callback.
    xmlSecErrorsSetCallback(OnXmlSecError);
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimView(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The time zone after the seconds (and fraction): "", "Z" or "±hh:mm", in seconds east.
bool ZoneOffset(std::string_view zone, int64_t& seconds) {
    seconds = 0;
    if (zone.empty() || zone == "Z")
        return true;
    int hours = 0;
    int minutes = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' ||
        !Digits(zone, 1, 2, hours) || !Digits(zone, 4, 2, minutes) || hours > 14 || minutes > 59)
        return false;
    seconds = (int64_t{hours} * 60 + minutes) * 60 * (zone[0] == '-' ? -1 : 1);
    return true;
}

std::string ReaderString(xmlTextReader* reader) {
    xmlChar* text = xmlTextReaderReadString(reader);
    std::string value = text != nullptr ? std::string(TrimView(reinterpret_cast<char*>(text))) : "";
    xmlFree(text);
    return value;
}

bool ReaderIs(xmlTextReader* reader, const char* name) {
    const xmlChar* local = xmlTextReaderConstLocalName(reader);
    const xmlChar* ns = xmlTextReaderConstNamespaceUri(reader);
    return local != nullptr && ns != nullptr && xmlStrEqual(local, BAD_CAST name) &&
           xmlStrEqual(ns, BAD_CAST kTslNamespace);
}

struct ReaderFree {
    void operator()(xmlTextReader* reader) const noexcept { xmlFreeTextReader(reader); }
};

} // namespace

bool InitXmlSecurity() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = InitOnce(); });
    return ready;
}

std::string TakeXmlSecMessage() {
    std::string message = std::move(t_xmlSecMessage);
    t_xmlSecMessage.clear();
    return message;
}

bool ParseXml(std::string_view bytes, XmlDocPtr& doc, std::string& error) {
    doc.reset();
    if (!InitXmlSecurity()) {
        error = "xmlsec could not be initialised";
        return false;
    }
    if (bytes.size() > kMaxListBytes || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "the file is too large";
        return false;
    }
    xmlParserCtxt* context = xmlNewParserCtxt();
    if (context == nullptr) {
        error = "out of memory";
        return false;
    }
    doc.reset(xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) {
        const xmlError* last = xmlCtxtGetLastError(context);
        error = last != nullptr && last->message != nullptr ? std::string(TrimView(last->message))
                                                            : "not well-formed XML";
        error += last != nullptr ? " (line " + std::to_string(last->line) + ")" : "";
    }
    xmlFreeParserCtxt(context);
    if (doc && (doc->intSubset != nullptr || doc->extSubset != nullptr)) {
        doc.reset();
        error = "the document has a document type declaration";
    }
    return doc != nullptr;
}

bool SniffTsl(std::string_view bytes, TslHeader& header) {
    header = {};
    if (!InitXmlSecurity() || bytes.size() > kMaxListBytes)
        return false;
    std::unique_ptr<xmlTextReader, ReaderFree> reader(
        xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader)
        return false;
    bool sequenceFound = false;
    bool inScheme = false;
    while (xmlTextReaderRead(reader.get()) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        const int depth = xmlTextReaderDepth(reader.get());
        if (type == XML_READER_TYPE_DOCUMENT_TYPE)
            return false;
        if (type == XML_READER_TYPE_END_ELEMENT && depth == 1 && inScheme)
            break;
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        if (depth == 0 && !ReaderIs(reader.get(), "TrustServiceStatusList"))
            return false;
        if (depth == 1)
            inScheme = ReaderIs(reader.get(), "SchemeInformation");
        if (depth != 2 || !inScheme)
            continue;
        if (ReaderIs(reader.get(), "TSLType")) {
            header.tslType = ReaderString(reader.get());
        } else if (ReaderIs(reader.get(), "SchemeTerritory")) {
            header.territory = ReaderString(reader.get());
        } else if (ReaderIs(reader.get(), "TSLSequenceNumber")) {
            const std::string text = ReaderString(reader.get());
            sequenceFound = !text.empty() && text.size() <= 18 &&
                            text.find_first_not_of("0123456789") == std::string::npos;
            header.sequence = sequenceFound ? std::stoull(text) : 0;
        }
        if (sequenceFound && !header.tslType.empty() && !header.territory.empty())
            return true;
    }
    return false;
}

bool DecodeBase64(std::string_view text, Blob& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    uint32_t accumulator = 0;
    int bits = 0;
    std::size_t symbols = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (IsSpace(c))
            continue;
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=' && padding < 2)
            ++padding;
        else
            return false;
        ++symbols;
        if (value < 0)
            continue;
        if (padding > 0)
            return false; // data after padding
        accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
        }
    }
    // Whole groups of four, and padding only where bits are left over.
    return symbols % 4 == 0 && (padding == 0 || (accumulator & ((1u << bits) - 1)) == 0) &&
           (padding == 0 ? bits == 0 : (padding == 1 ? bits == 2 : bits == 4));
}

bool ParseXsdDateTime(std::string_view text, uint64_t& fileTime) {
    text = TrimView(text);
    SystemTime time;
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || !Digits(text, 0, 4, time.year) ||
        !Digits(text, 5, 2, time.month) || !Digits(text, 8, 2, time.day) ||
        !Digits(text, 11, 2, time.hour) || !Digits(text, 14, 2, time.minute) ||
        !Digits(text, 17, 2, time.second))
        return false;
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        std::size_t digits = 0;
        int scale = 100;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
            time.milliseconds += (text[at] - '0') * scale;
            scale /= 10;
        }
        if (digits == 0)
            return false;
    }
    int64_t offset = 0;
    uint64_t ticks = 0;
    if (!ZoneOffset(text.substr(at), offset) || !SystemTimeToFileTime(time, ticks))
        return false;
    // Local time east of UTC is ahead of it: UTC = local - offset.
    const uint64_t shift =
        static_cast<uint64_t>(offset < 0 ? -offset : offset) * kFileTimeTicksPerSecond;
    if (offset > 0 && ticks < shift)
        return false;
    fileTime = offset > 0 ? ticks - shift : ticks + shift;
    return true;
}

std::string UtcText(uint64_t fileTime) {
    if (fileTime < kFileTimeUnixEpoch)
        return {};
    const auto seconds =
        static_cast<time_t>((fileTime - kFileTimeUnixEpoch) / kFileTimeTicksPerSecond);
    tm fields{};
    if (gmtime_r(&seconds, &fields) == nullptr)
        return {};
    char text[64]; // room for any int the fields may hold
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d UTC", fields.tm_mday,
                  fields.tm_mon + 1, fields.tm_year + 1900, fields.tm_hour, fields.tm_min);
    return text;
}

bool IsElement(const xmlNode* node, const char* name, const char* ns) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE ||
        !xmlStrEqual(node->name, BAD_CAST name))
        return false;
    if (ns == nullptr)
        return true;
    return node->ns != nullptr && xmlStrEqual(node->ns->href, BAD_CAST ns);
}

xmlNode* FirstChild(const xmlNode* node, const char* name, const char* ns) {
    if (node == nullptr)
        return nullptr;
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (IsElement(child, name, ns))
            return child;
    return nullptr;
}

xmlNode* NextSibling(const xmlNode* node, const char* name, const char* ns) {
    for (xmlNode* next = node != nullptr ? node->next : nullptr; next != nullptr; next = next->next)
        if (IsElement(next, name, ns))
            return next;
    return nullptr;
}

std::string TextOf(const xmlNode* node) {
    if (node == nullptr)
        return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content != nullptr ? std::string(TrimView(reinterpret_cast<char*>(content)))
                                          : std::string();
    xmlFree(content);
    return text;
}

bool AttributeOf(const xmlNode* node, const char* name, std::string& value) {
    if (node == nullptr)
        return false;
    xmlChar* attribute = xmlGetNoNsProp(node, BAD_CAST name);
    if (attribute == nullptr)
        return false;
    value = reinterpret_cast<char*>(attribute);
    xmlFree(attribute);
    return true;
}

} // namespace tl
