// Trusting a TSA on purpose: the user's trust folder (anchors that the trust evaluation
// accepts, core/TrustAnchors.h) and the address book (certificates that stamps do not
// carry), managed one certificate at a time.
//
// The folder written is $MIVOKLIENT_TRUST_DIR when that is set (it is then the only anchor
// folder read), else UserConfigDir()/trust. Each certificate is written as PEM to a file
// named after its SHA-256 fingerprint, through the program's atomic writer
// (platform/AtomicFile.h), so a crash leaves the old folder or the new one. Changing the
// trust folder rebuilds the process's anchor store.
//
// Failing calls answer false with the reason in the last error (platform/LastError.h):
// errno values of the file system, EINVAL for bytes that hold no certificate, ERANGE for
// an entry number outside the list.
#pragma once

#include "core/TrustAnchors.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

class CTimeStampPart;

// The folder that AddTrustAnchor writes and ListTrustAnchors lists.
std::string WritableTrustDir();

struct TrustedCertificate {
    std::string subject; // one line, UTF-8
    std::string sha256;  // fingerprint, upper-case hex pairs joined by ':'
    std::string file;    // the file that holds it
};

// Copies `cert` into the trust folder (creating the folder); `path` receives its file. A
// certificate already there is left as it is.
[[nodiscard]] bool AddTrustAnchor(X509* cert, std::string& path);
// The first certificate of `bytes` (PEM or DER) as an anchor.
[[nodiscard]] bool AddTrustAnchorBytes(std::span<const unsigned char> bytes, std::string& path);

// The subject and fingerprint of `cert`, as the list shows them (no file).
TrustedCertificate DescribeCertificate(X509* cert);

// The certificates of the trust folder, files in name order, each certificate of a file in
// its order. Files that hold no certificate are not listed. A missing folder lists nothing.
[[nodiscard]] bool ListTrustAnchors(std::vector<TrustedCertificate>& list);

// Removes entry `index` (0-based) of ListTrustAnchors: its file goes, or, when the file
// holds other certificates too, the file is written again without it.
[[nodiscard]] bool RemoveTrustAnchor(std::size_t index);

// Puts `cert` into the address-book folder (creating it), named after its fingerprint;
// `path` receives its file.
[[nodiscard]] bool AddToAddressBook(X509* cert, std::string& path);

// The certificate to offer when the user trusts the TSA of the stamp in `part` on purpose:
// the top of the chain that the signer's certificate, the token's certificates and the
// address book make (a root when they reach one). Null when the part holds no checked stamp.
trust::X509Ptr StampChainTop(const CTimeStampPart& part);
