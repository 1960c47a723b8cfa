// Linked into the tests that decode sound files of another rate than the output's: they convert
// them through libsoxr directly, as the program does through its module.

#include "sound/Resampler.h"
#include "sound/SoxrResampler.h"

namespace {

const bool installed = [] {
    tapwell::Resampler::use(&tapwell::SoxrResampler::convert);
    return true;
}();

}  // namespace
