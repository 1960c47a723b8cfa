// The tapwell executable: command-line tools, and (with no subcommand) the application.

#include <iostream>
#include <string>
#include <vector>

#include "app/TapwellApp.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    tapwell::cli::AppOptions options;
    if (auto status = tapwell::cli::run(args, std::cout, std::cerr, &options)) {
        return *status;
    }
    return tapwell::runApplication(options, argc, argv);
}
