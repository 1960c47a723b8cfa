#include "core/TzifReader.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace tapwell {

namespace {

constexpr std::size_t headerSize = 44;
// Offsets a zone file may hold: under a day and a bit either way, as the format requires.
constexpr std::int32_t leastOffset = -89999;
constexpr std::int32_t greatestOffset = 93599;
constexpr std::size_t longestFooter = 256;

// A cursor over the file that never reads past its end: every read checks first.
class Input {
  public:
    explicit Input(std::string_view bytes) : bytes_(bytes) {}

    std::size_t remaining() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }
    bool skip(std::uint64_t count) {
        if (count > remaining()) {
            return false;
        }
        position_ += static_cast<std::size_t>(count);
        return true;
    }
    std::string_view take(std::size_t count) {
        const std::string_view taken = bytes_.substr(position_, count);
        position_ += taken.size();
        return taken;
    }
    // Big-endian, two's complement; the caller has checked that `size` bytes remain.
    std::uint64_t unsignedOf(std::size_t size) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[position_ + i]);
        }
        position_ += size;
        return value;
    }
    // 4 or 8 bytes.
    std::int64_t signedOf(std::size_t size) {
        const std::uint64_t value = unsignedOf(size);
        return size == 8 ? static_cast<std::int64_t>(value)
                         : static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(unsignedOf(1)); }

  private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

struct Header {
    char version = 0;
    std::uint64_t utIndicators = 0;
    std::uint64_t standardIndicators = 0;
    std::uint64_t leapSeconds = 0;
    std::uint64_t transitions = 0;
    std::uint64_t types = 0;
    std::uint64_t abbreviationBytes = 0;

    // The size of the data block that follows, with times of `timeSize` bytes. Counts are 32-bit,
    // so the sum cannot overflow 64 bits.
    std::uint64_t blockSize(std::size_t timeSize) const {
        return transitions * timeSize + transitions + types * 6 + abbreviationBytes +
               leapSeconds * (timeSize + 4) + standardIndicators + utIndicators;
    }
};

std::optional<Header> readHeader(Input& input) {
    if (input.remaining() < headerSize || input.take(4) != "TZif") {
        return std::nullopt;
    }
    Header header;
    header.version = static_cast<char>(input.byte());
    if (header.version != '\0' && (header.version < '2' || header.version > '4')) {
        return std::nullopt;
    }
    input.skip(15);
    header.utIndicators = input.unsignedOf(4);
    header.standardIndicators = input.unsignedOf(4);
    header.leapSeconds = input.unsignedOf(4);
    header.transitions = input.unsignedOf(4);
    header.types = input.unsignedOf(4);
    header.abbreviationBytes = input.unsignedOf(4);
    const bool indicatorsFit =
        (header.utIndicators == 0 || header.utIndicators == header.types) &&
        (header.standardIndicators == 0 || header.standardIndicators == header.types);
    if (header.types == 0 || header.abbreviationBytes == 0 || !indicatorsFit) {
        return std::nullopt;
    }
    return header;
}

std::optional<ZoneRules> readBlock(Input& input, const Header& header, std::size_t timeSize,
                                   std::optional<PosixTimeZoneRule> rule) {
    if (header.blockSize(timeSize) > input.remaining()) {
        return std::nullopt;
    }
    // Every count below is now known to fit in the data, so the vectors are bounded by the file.
    std::vector<std::int64_t> times(header.transitions);
    for (auto& time : times) {
        time = input.signedOf(timeSize);
    }
    std::vector<std::uint8_t> typeOfTransition(header.transitions);
    for (auto& type : typeOfTransition) {
        type = input.byte();
        if (type >= header.types) {
            return std::nullopt;
        }
    }
    std::vector<std::int32_t> typeOffsets(header.types);
    for (auto& offset : typeOffsets) {
        const std::int64_t utOffset = input.signedOf(4);
        const std::uint8_t isDaylight = input.byte();
        const std::uint8_t abbreviation = input.byte();
        if (utOffset < leastOffset || utOffset > greatestOffset || isDaylight > 1 ||
            abbreviation >= header.abbreviationBytes) {
            return std::nullopt;
        }
        offset = static_cast<std::int32_t>(utOffset);
    }
    input.skip(header.abbreviationBytes);
    // With leap seconds listed, transition times count them; ours do not.
    std::vector<std::pair<std::int64_t, std::int64_t>> leaps(header.leapSeconds);
    for (auto& [occurrence, correction] : leaps) {
        occurrence = input.signedOf(timeSize);
        correction = input.signedOf(4);
        if (correction < -100000 || correction > 100000) {
            return std::nullopt;
        }
    }
    input.skip(header.standardIndicators + header.utIndicators);

    std::size_t leap = 0;
    std::vector<std::int32_t> offsets(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        while (leap < leaps.size() && leaps[leap].first <= times[i]) {
            ++leap;
        }
        if (leap > 0) {
            times[i] -= leaps[leap - 1].second;
        }
        if (i > 0 && times[i] <= times[i - 1]) {
            return std::nullopt;
        }
        offsets[i] = typeOffsets[typeOfTransition[i]];
    }
    return ZoneRules(std::move(times), std::move(offsets), typeOffsets.front(), std::move(rule));
}

}  // namespace

std::optional<ZoneRules> TzifReader::read(std::string_view bytes) {
    if (bytes.size() > maxFileSize) {
        return std::nullopt;
    }
    Input input(bytes);
    const auto first = readHeader(input);
    if (!first) {
        return std::nullopt;
    }
    if (first->version == '\0') {
        return readBlock(input, *first, 4, std::nullopt);
    }
    // Version 2 on: the 32-bit block stays for old readers; the 64-bit one after it is complete.
    if (!input.skip(first->blockSize(4))) {
        return std::nullopt;
    }
    const auto second = readHeader(input);
    if (!second || second->version == '\0') {
        return std::nullopt;
    }
    // The footer follows the block; it is read first, as the zone is made with its rule.
    Input footer = input;
    if (!footer.skip(second->blockSize(8)) || footer.remaining() < 2 || footer.take(1) != "\n") {
        return std::nullopt;
    }
    const std::string_view rest = footer.take(std::min(footer.remaining(), longestFooter + 1));
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::optional<PosixTimeZoneRule> rule;
    if (end > 0) {
        rule = PosixTimeZoneRule::parse(rest.substr(0, end));
        if (!rule) {
            return std::nullopt;
        }
    }
    return readBlock(input, *second, 8, std::move(rule));
}

}  // namespace tapwell
