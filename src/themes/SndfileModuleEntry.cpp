// The entry of the sound-format module (libtapwell-sndfile.so): SndfileReader, with libsndfile
// and its codec libraries, for a program that loads it on the first file that is not plain WAV
// (see AudioFileReader.h).

#include "themes/SndfileReader.h"

extern "C" __attribute__((visibility("default"))) tapwell::AudioFileReader::Opener
tapwell_sndfile_module() {
    return &tapwell::SndfileReader::openFile;
}
