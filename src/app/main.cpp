// The tapwell executable: command-line tools, and (with no subcommand) the application.

#include <iostream>
#include <string>
#include <vector>

#include "app/TapwellApp.h"
#include "cli/Cli.h"
#include "ui/recap/RecapRenderer.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    tapwell::cli::AppOptions options;
    // The command line draws the recap card with the views' renderer, without a display.
    tapwell::cli::Views views{&tapwell::ui::RecapRenderer::renderPngWithoutDisplay};
    if (auto status = tapwell::cli::run(args, std::cout, std::cerr, &options, std::move(views))) {
        return *status;
    }
    return tapwell::runApplication(options, argc, argv);
}
