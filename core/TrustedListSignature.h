// The signature of a trusted list: an enveloped XML signature (XAdES), checked with a key
// that someone we trust named for this list (a pin), never with the certificate that the
// signature carries in its KeyInfo on its own account.
//
// A list verifies when
// - its document element has exactly one ds:Signature child;
// - that signature's SignedInfo has a reference to the whole document (URI "") with the
//   enveloped-signature transform, so a signature over only a part of it cannot pass;
// - every reference uses only canonicalisation, the enveloped transform and SHA-2 digests,
//   and points into the document itself (nothing is fetched);
// - the signature value verifies with the public key of one of the pinned certificates
//   (RSA or ECDSA with SHA-256, SHA-384 or SHA-512).
// The KeyInfo certificate only decides which pin is tried first. Validity periods and
// revocation of the pins are not looked at: the pin is the authority.
#pragma once

#include "core/TrustedListModel.h"

#include <libxml/tree.h>

#include <string>
#include <vector>

namespace tl {

// True when the signature of `doc` verifies with one of `pins` (DER certificates);
// `signer` is then the pin that verified it. False with a short English reason otherwise.
// The document is not changed (its signature's Id attributes are registered as IDs).
[[nodiscard]] bool VerifyListSignature(xmlDoc* doc, const std::vector<Blob>& pins, Blob& signer,
                                       std::string& reason);

} // namespace tl
