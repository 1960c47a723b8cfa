// The tapwell executable: command-line tools, and (with no subcommand) the application.

#include <iostream>
#include <string>
#include <vector>

#include "app/AudioModule.h"
#include "app/DesktopModule.h"
#include "app/ResamplerModule.h"
#include "app/TapwellApp.h"
#include "app/ZipModule.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
    // libzip is loaded only when a sound pack comes as an archive.
    tapwell::ZipReader::useOpener(&tapwell::openZipThroughModule);
    // libsndfile and its codecs only when a sound file is not plain WAV.
    tapwell::AudioFileReader::useOpener(&tapwell::openAudioThroughModule);
    // libsoxr only when a sound file's rate is not the output's.
    tapwell::Resampler::use(&tapwell::resampleThroughModule);
    const std::vector<std::string> args(argv + 1, argv + argc);
    tapwell::cli::AppOptions options;
    // The command line draws the recap card with the views' renderer, without a display; only
    // then is the desktop module loaded.
    tapwell::cli::Views views{
        [](const tapwell::RecapContent& content) -> std::optional<std::string> {
            auto module = tapwell::loadDesktopModule();
            if (!module) {
                std::cerr << "tapwell: cannot draw the recap card: " << module.error() << '\n';
                return std::nullopt;
            }
            return (*module)->renderRecapPngWithoutDisplay(content);
        }};
    if (auto status = tapwell::cli::run(args, std::cout, std::cerr, &options, std::move(views))) {
        return *status;
    }
    return tapwell::runApplication(options, argc, argv);
}
