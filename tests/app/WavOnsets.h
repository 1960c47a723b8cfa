#pragma once
// The sounds in a WAV file the program wrote, as the times they start. The file may still be
// growing: the real-time WAV output flushes its header with every period.

#include <filesystem>
#include <vector>

namespace tapwell::test {

// Onsets: 5 ms windows whose peak rises above 0.01 after at least 40 ms below it, in seconds from
// the start of the file. A file that cannot be read fails the test and gives none.
std::vector<double> onsets(const std::filesystem::path& wav);

}  // namespace tapwell::test
