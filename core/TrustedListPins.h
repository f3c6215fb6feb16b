// The certificates that may sign the EU list of the lists (the pins): those published in the
// Official Journal ship with the program in its data folder ("lotl-signers" beside the
// executable, else <prefix>/share/mivoklient/lotl-signers), and an administrator may add
// those of a newer notice in <system configuration folder>/lotl-signers
// (/etc/mivoklient/lotl-signers).
#pragma once

#include "core/TrustedListModel.h"

#include <string>
#include <vector>

namespace tl {

// The certificates of every file in `dir`: PEM files with one or more certificates, or a
// DER certificate. Files that hold none are passed over; a missing folder gives none.
std::vector<Blob> ReadCertificatesIn(const std::string& dir);

// The folders the pins are read from, in order: the program's own (the first of the two
// places that exists), then the administrator's.
std::vector<std::string> LotlSignerDirs();

// The pins of all those folders, each certificate once.
std::vector<Blob> ProgramLotlPins();

} // namespace tl
