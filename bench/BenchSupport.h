// What the benchmark programs share: failing with a message under the program's name,
// medians, files written whole, and the folder a run works in.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Ends the run: "<program>: <what>" on standard error, exit code 2.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(2);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        Fail("cannot write " + path.string());
}

inline void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    WriteFile(path, std::string_view(static_cast<const char*>(data), size));
}

// The folder named on the command line (made when missing), else a new one in the
// temporary folder named mivo-bench-<name>-XXXXXX.
inline std::filesystem::path WorkFolder(int argc, char** argv, const char* name) {
    if (argc > 1) {
        std::filesystem::create_directories(argv[1]);
        return argv[1];
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("mivo-bench-") + name + "-XXXXXX"))
            .string();
    if (mkdtemp(pattern.data()) == nullptr)
        Fail("mkdtemp");
    return pattern;
}

} // namespace bench
