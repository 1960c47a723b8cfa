// An imported sound pack as a .zip: listing (entries that climb out or are links refuse the
// archive), reading config.json, the lenient name lookup and unpacking, all within the limits.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "themeimport/LibzipReader.h"
#include "themeimport/PackArchive.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool readsArchives = [] {
        ZipReader::useOpener(&LibzipReader::openArchive);
        return true;
    }();
    (void)readsArchives;
    const std::filesystem::path& scratch = fuzz::freshScratchFolder();
    const std::filesystem::path zip = scratch / "pack.zip";
    fuzz::writeBytes(zip, fuzz::asText(data, size));
    std::filesystem::create_directories(scratch / "unpacked");

    PackLimits limits;
    limits.maxEntries = 64;
    limits.maxFileBytes = 1 << 20;
    limits.maxTotalBytes = 4 << 20;
    limits.maxConfigBytes = 64 << 10;
    auto archive = PackArchive::open(zip, "pack", limits);
    if (!archive) {
        FUZZ_CHECK(archive.error().starts_with("pack: "));
        return 0;
    }
    auto config = (*archive)->readConfig();
    FUZZ_CHECK(!config || config->size() <= limits.maxConfigBytes);
    for (const char* name : {"sound.ogg", "A/../b.wav", "KEY.WAV", "x/y/z.mp3"}) {
        if (auto entry = (*archive)->find(name)) {
            auto file = (*archive)->materialize(*entry, scratch / "unpacked");
            FUZZ_CHECK(!file || std::filesystem::file_size(*file) <= limits.maxFileBytes);
        }
    }
    return 0;
}
