// Positional format strings: the strict check used on the tables and the lenient filling used at
// run time. A pattern that passes the check and uses only passed arguments leaves no brace of
// its own behind once filled with brace-free arguments.
//
// Input: up to four arguments, each ended by a NUL byte, then the pattern.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "presentation/FormatString.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = fuzz::asText(data, size);
    std::vector<std::string> arguments;
    for (std::size_t end = rest.find('\0'); end != std::string_view::npos && arguments.size() < 4;
         end = rest.find('\0')) {
        arguments.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    const std::string pattern(rest);

    const std::string filled = fillPlaceholders(pattern, arguments);
    auto indices = placeholderIndices(pattern);
    if (!indices) {
        return 0;
    }
    bool bracesInArguments = false;
    for (const std::string& argument : arguments) {
        bracesInArguments |= argument.find_first_of("{}") != std::string::npos;
    }
    const bool allPassed =
        indices->empty() || static_cast<std::size_t>(*indices->rbegin()) <= arguments.size();
    const bool escapedBraces =
        pattern.find("{{") != std::string::npos || pattern.find("}}") != std::string::npos;
    if (allPassed && !bracesInArguments && !escapedBraces) {
        FUZZ_CHECK(filled.find_first_of("{}") == std::string::npos);
    }
    return 0;
}
