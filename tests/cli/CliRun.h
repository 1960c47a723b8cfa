#pragma once
// Runs the command line in-process and keeps what it printed.

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace tapwell::test {

struct CliResult {
    std::optional<int> status;  // none: the application would have started
    std::string out;
    std::string err;
};

inline CliResult runCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const auto status = cli::run(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace tapwell::test
