// Reads a trusted list's tree into its model. Only what the signature covers is read: the
// children of the document element, never anything inside the signature.
#pragma once

#include "core/TrustedListModel.h"

#include <libxml/tree.h>

#include <string>

namespace tl {

// Fills `list` from `doc`. False with a short English reason when the document element is
// not a TrustServiceStatusList of our namespace, or the scheme information lacks its
// sequence number, type, territory or issue date, or a value cannot be read (a time, a
// base64 certificate or key identifier).
[[nodiscard]] bool ParseTrustedList(const xmlDoc* doc, TrustedList& list, std::string& error);

} // namespace tl
