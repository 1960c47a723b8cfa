#include "system/FolderCompletionRules.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tapwell {
namespace {

using Names = std::vector<std::string>;
using Entries = std::map<std::string, Fingerprint>;

Fingerprint file(std::int64_t size, double modified = 100.0, bool screenshot = false) {
    return Fingerprint{size, Date{modified}, screenshot};
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Rules that have taken a baseline with a.pdf and b.zip.
FolderCompletionRules baselined() {
    FolderCompletionRules rules;
    rules.scan({{"a.pdf", file(1)}, {"b.zip", file(2)}}, 0.0, false);
    return rules;
}

TEST(FolderCompletionRules, FirstListingIsTheBaseline) {
    FolderCompletionRules rules;
    EXPECT_EQ(rules.scan({{"a.pdf", file(1)}, {"b.zip", file(2)}}, 5.0, false), Names{});
    EXPECT_TRUE(rules.initialized);
    EXPECT_EQ(rules.known, (std::set<std::string>{"a.pdf", "b.zip"}));
    EXPECT_TRUE(rules.pending.empty());
    // Even when they change later, files of the baseline are never reported.
    EXPECT_EQ(rules.scan({{"a.pdf", file(9)}, {"b.zip", file(2)}}, 7.0, false), Names{});
    EXPECT_EQ(rules.scan({{"a.pdf", file(9)}, {"b.zip", file(2)}}, 20.0, false), Names{});
    EXPECT_TRUE(rules.pending.empty());
}

TEST(FolderCompletionRules, EmptyFirstListingStillCountsAsBaseline) {
    FolderCompletionRules rules;
    EXPECT_EQ(rules.scan({}, 0.0, false), Names{});
    EXPECT_TRUE(rules.initialized);
    EXPECT_EQ(rules.scan({{"c.zip", file(1)}}, 1.0, false), Names{});
    EXPECT_EQ(rules.pending.size(), 1u);
}

TEST(FolderCompletionRules, NewFileCompletesOneSecondAfterFirstSightingWhateverTheListings) {
    auto rules = baselined();
    Entries entries{{"a.pdf", file(1)}, {"b.zip", file(2)}, {"c.zip", file(100)}};
    EXPECT_EQ(rules.scan(entries, 10.0, false), Names{});
    EXPECT_EQ(rules.scan(entries, 10.4, false), Names{});
    EXPECT_EQ(rules.scan(entries, 10.999, false), Names{});
    EXPECT_EQ(rules.pending.at("c.zip").since, 10.0) << "listings do not restart the wait";
    EXPECT_EQ(rules.scan(entries, 11.0, false), Names{"c.zip"}) << "exactly one second is enough";
    EXPECT_TRUE(rules.known.contains("c.zip"));
    EXPECT_TRUE(rules.pending.empty());
    // Reported once only.
    EXPECT_EQ(rules.scan(entries, 15.0, false), Names{});
}

TEST(FolderCompletionRules, GrowingFileRestartsTheWait) {
    auto rules = baselined();
    EXPECT_EQ(rules.scan({{"c.zip", file(100)}}, 10.0, false), Names{});
    EXPECT_EQ(rules.scan({{"c.zip", file(200)}}, 10.5, false), Names{});
    EXPECT_EQ(rules.scan({{"c.zip", file(200)}}, 11.2, false), Names{});
    EXPECT_EQ(rules.pending.at("c.zip").since, 10.5);
    EXPECT_EQ(rules.scan({{"c.zip", file(200)}}, 11.6, false), Names{"c.zip"});
}

TEST(FolderCompletionRules, ChangeOfDateOrMarkerAloneRestartsTheWait) {
    auto rules = baselined();
    rules.scan({{"c.png", file(100, 1.0, false)}}, 10.0, false);
    EXPECT_EQ(rules.scan({{"c.png", file(100, 2.0, false)}}, 10.8, false), Names{});
    EXPECT_EQ(rules.scan({{"c.png", file(100, 2.0, true)}}, 11.5, false), Names{});
    EXPECT_EQ(rules.scan({{"c.png", file(100, 2.0, true)}}, 12.4, false), Names{});
    EXPECT_EQ(rules.scan({{"c.png", file(100, 2.0, true)}}, 12.5, false), Names{"c.png"});
}

TEST(FolderCompletionRules, HiddenAndTemporaryNamesAreNeverRecorded) {
    auto rules = baselined();
    const Entries entries{
        {"c.zip.crdownload", file(1)}, {".DS_Store", file(1)},  {"X.TMP", file(1)},
        {"movie.part", file(1)},       {"a.Download", file(1)}, {"b.partial", file(1)},
        {"notes.temp", file(1)}};
    for (double t : {10.0, 11.0, 12.0, 30.0}) {
        EXPECT_EQ(rules.scan(entries, t, false), Names{});
        EXPECT_TRUE(rules.pending.empty());
        EXPECT_EQ(rules.known.size(), 0u);  // the baseline files left the folder
    }
}

TEST(FolderCompletionRules, ExtensionIsTextAfterTheLastDot) {
    EXPECT_EQ(FolderCompletionRules::pathExtension("a.tar.gz"), "gz");
    EXPECT_EQ(FolderCompletionRules::pathExtension("README"), "");
    EXPECT_EQ(FolderCompletionRules::pathExtension("file."), "");
    EXPECT_TRUE(FolderCompletionRules::isTemporaryDownloadName("x.zip.PART"));
    EXPECT_FALSE(FolderCompletionRules::isTemporaryDownloadName("part"));
    EXPECT_FALSE(FolderCompletionRules::isTemporaryDownloadName("x.part.zip"));
    EXPECT_FALSE(FolderCompletionRules::isTemporaryDownloadName("x.tmpl"));
}

TEST(FolderCompletionRules, RenamedPartialDownloadIsJudgedByItsFinalName) {
    auto rules = baselined();
    EXPECT_EQ(rules.scan({{"big.iso.part", file(10)}}, 10.0, false), Names{});
    EXPECT_EQ(rules.scan({{"big.iso.part", file(900)}}, 12.0, false), Names{});
    EXPECT_EQ(rules.scan({{"big.iso", file(900)}}, 13.0, false), Names{});
    EXPECT_EQ(rules.scan({{"big.iso", file(900)}}, 14.0, false), Names{"big.iso"});
}

TEST(FolderCompletionRules, ScreenshotFolderReportsOnlyMarkedFilesButConsumesAll) {
    auto rules = baselined();
    const Entries entries{{"plain.txt", file(5)}, {"shot.png", file(5, 100.0, true)}};
    EXPECT_EQ(rules.scan(entries, 10.0, true), Names{});
    EXPECT_EQ(rules.scan(entries, 11.0, true), Names{"shot.png"});
    EXPECT_TRUE(rules.known.contains("plain.txt"));
    EXPECT_TRUE(rules.pending.empty());
    // Gaining the marker after being consumed changes nothing.
    EXPECT_EQ(rules.scan({{"plain.txt", file(5, 100.0, true)}, {"shot.png", file(5, 100.0, true)}},
                         20.0, true),
              Names{});
}

TEST(FolderCompletionRules, SeveralFilesCompleteInOneListing) {
    auto rules = baselined();
    const Entries entries{{"one.zip", file(1)}, {"two.zip", file(2)}};
    rules.scan(entries, 10.0, false);
    EXPECT_EQ(sorted(rules.scan(entries, 11.0, false)), (Names{"one.zip", "two.zip"}));
}

TEST(FolderCompletionRules, VanishedPendingFileIsForgotten) {
    auto rules = baselined();
    rules.scan({{"c.zip", file(1)}}, 10.0, false);
    EXPECT_EQ(rules.scan({}, 10.5, false), Names{});
    EXPECT_TRUE(rules.pending.empty());
    // It comes back: the wait starts afresh.
    EXPECT_EQ(rules.scan({{"c.zip", file(1)}}, 11.0, false), Names{});
    EXPECT_EQ(rules.pending.at("c.zip").since, 11.0);
    EXPECT_EQ(rules.scan({{"c.zip", file(1)}}, 11.9, false), Names{});
    EXPECT_EQ(rules.scan({{"c.zip", file(1)}}, 12.0, false), Names{"c.zip"});
}

TEST(FolderCompletionRules, KnownFileThatReappearsIsJudgedAfresh) {
    auto rules = baselined();
    EXPECT_EQ(rules.scan({{"b.zip", file(2)}}, 10.0, false), Names{});
    EXPECT_FALSE(rules.known.contains("a.pdf"));
    EXPECT_EQ(rules.scan({{"a.pdf", file(1)}, {"b.zip", file(2)}}, 11.0, false), Names{});
    EXPECT_TRUE(rules.pending.contains("a.pdf"));
    EXPECT_EQ(rules.scan({{"a.pdf", file(1)}, {"b.zip", file(2)}}, 12.0, false), Names{"a.pdf"});
}

}  // namespace
}  // namespace tapwell
