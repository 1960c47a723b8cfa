// Linked into the tests that read sound files of other formats than plain WAV: they read them
// through libsndfile directly, as the program does through its module.

#include "themes/AudioFileReader.h"
#include "themes/SndfileReader.h"

namespace {

const bool installed = [] {
    tapwell::AudioFileReader::useOpener(&tapwell::SndfileReader::openFile);
    return true;
}();

}  // namespace
