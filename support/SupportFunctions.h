// Path, version, URL and file helpers shared by the program's parts. Paths use "/".
#pragma once

#include <string>
#include <vector>

// The product version of the executable at `path`, from its version record: the Czech
// string block's "ProductVersion", else the US English one's, else the fixed product
// version numbers as "major.minor.patch.tweak". `text` is left as it was when the path is
// empty or the file carries no version record (or none of these in it).
void GetProductVersion(const std::string& path, std::string& text);

// Splits at the last "/": `directory` gets what precedes it; `name` what follows it, but
// only when something follows. Without a "/" neither is touched.
void SplitPath(const std::string& path, std::string& directory, std::string& name);

// The running executable's full path; empty when it cannot be found. Answers `text`.
std::string& ModulePath(std::string& text);

// The executable's file name (after the last "/"); `text` is set only when the path has a
// "/" followed by at least one character. Answers `text`.
std::string& ModuleFileName(std::string& text);

// The executable's folder (before the last "/", without it), or the whole path when it has
// no "/". `text` is replaced in every case. Answers `text`.
std::string& ModuleDirectory(std::string& text);

// The page path of a URL: its object path (path, "?query", "#fragment" as written); when
// that is empty, or the URL cannot be parsed, the URL from its last "/" on ("/about.htm"),
// or "" without any "/". Answers `text`.
std::string& UrlObjectPath(const std::string& url, std::string& text);

// A path as it is kept wherever one enters the program (command lines, dialogs, the
// hand-over): a relative path is taken against `base` (the current folder when none is
// given), then "." and ".." segments and repeated "/" are removed by the text alone.
// Symbolic links are not resolved: the user's name for a file stays its name. A trailing
// "/" stays. An empty path stays empty; so does a relative path when the base is empty
// (the current folder is unknown) except for its normalisation.
std::string AbsolutePath(const std::string& path);
std::string AbsolutePath(const std::string& path, const std::string& base);

// The current folder, or empty when it cannot be found (removed, not reachable).
std::string CurrentDirectory();

// Reads the whole regular file at `path` into `bytes`, which then holds exactly the file's
// bytes (an empty file gives an empty buffer). False when the file cannot be opened, is not
// a regular file, is larger than 2^31 - 1 bytes, or cannot be read completely; the buffer
// is then left as it was and the last error holds the errno of the failure (EISDIR for a
// folder, EFBIG for a file too large, 0 when the file shrank while it was read).
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes);
