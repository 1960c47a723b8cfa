// The entry of the archive module (libtapwell-zip.so): LibzipReader, with libzip and what it
// pulls in, for a program that loads it on its first archive (see ZipReader.h).

#include "themeimport/LibzipReader.h"

extern "C" __attribute__((visibility("default"))) tapwell::ZipReader::Opener tapwell_zip_module() {
    return &tapwell::LibzipReader::openArchive;
}
