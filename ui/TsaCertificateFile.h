// The TSA's certificate handed to the desktop's viewer: written to a fresh file
// "TSA%04X.cer" in the temporary folder, the number taken from one counter of the process.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The user's temporary folder: $TMPDIR when set, else "/tmp".
std::string TemporaryFolder();

// Writes `der` to a file that did not exist before, named after the counter's current value
// ("TSA0000.cer", "TSA0001.cer", ...); each try advances the counter (wrapping from FFFF to
// 0000). Answers the file's path; empty when no name of the 65536 could be created or the
// bytes could not be written (a partly written file is removed).
std::string WriteTsaCertificateFile(const std::string& folder, std::span<const unsigned char> der);

// A file handed to the viewer stays until the program ends: the viewer may open it long
// after it was started. Kept files are removed by RemoveTsaCertificateFiles, which runs at
// the program's normal end by itself.
void KeepTsaCertificateFile(const std::string& path);
void RemoveTsaCertificateFiles();

// The counter's next value; tests set it.
uint16_t TsaCertificateCounter();
void SetTsaCertificateCounter(uint16_t value);
