// Counts heap allocations on the key path that the application installs. This executable alone
// replaces the global operator new: it counts the allocations made on a thread while that thread
// has counting switched on, so the services' own threads and the test's bookkeeping stay out.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/AppState.h"
#include "sound/OfflineAudioOutput.h"
#include "support/TempDir.h"
#include "themes/ThemeManager.h"

namespace {

thread_local bool counting = false;
std::atomic<std::uint64_t> allocations{0};

void* allocate(std::size_t size, std::size_t alignment = 0) {
    if (counting) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    void* block = nullptr;
    if (alignment > alignof(std::max_align_t)) {
        const std::size_t rounded =
            (std::max<std::size_t>(size, 1) + alignment - 1) / alignment * alignment;
        block = std::aligned_alloc(alignment, rounded);
    } else {
        block = std::malloc(std::max<std::size_t>(size, 1));
    }
    return block;
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* block = allocate(size, static_cast<std::size_t>(alignment))) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return ::operator new(size, alignment);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

namespace tapwell {
namespace {

// Allocations made by `work` on the calling thread.
template <class F>
std::uint64_t allocationsIn(F&& work) {
    const std::uint64_t before = allocations.load();
    counting = true;
    work();
    counting = false;
    return allocations.load() - before;
}

TEST(KeyPath, HandlesKeysWithoutAllocatingAfterWarmUp) {
    test::TempDir dir;
    auto catalogue = ThemeManager::create(TAPWELL_TEST_RESOURCE_DIR);
    ASSERT_TRUE(catalogue.has_value());
    std::vector<LoadedTheme> themes;
    for (const auto& entry : catalogue->entries) {
        if (entry.loaded) {
            themes.push_back(*entry.loaded);
        }
    }
    auto output = std::make_shared<OfflineAudioOutput>();
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = SoundEngine::create(themes, std::nullopt, std::move(dependencies));
    ASSERT_TRUE(engine.has_value());
    UserDefaults defaults(dir / "defaults.json");
    StatsStore stats(SystemClock::shared(), dir / "stats");
    WellbeingService wellbeing(defaults, SystemClock::shared());
    wellbeing.start();
    stats.start();
    const auto onKey = AppState::makeKeyHandler(std::make_shared<KeyGate>(),
                                                std::make_shared<AppState::KeySound>(engine->get()),
                                                stats, wellbeing, SystemClock::shared());

    // Every kind of key, down and up, with the services idle between keys (as at typing speed)
    // and, in every other round, still busy with the previous keys.
    const KeyKind kinds[] = {KeyKind::normal, KeyKind::space, KeyKind::enter, KeyKind::delete_};
    int downs = 0;
    std::uint64_t counted = 0;
    for (int round = 0; round < 400; ++round) {
        const KeyKind kind = kinds[round % 4];
        const double uptime = SystemClock::shared().uptime();
        const auto made = allocationsIn([&] {
            onKey(KeyActivity{kind, true, uptime});
            onKey(KeyActivity{kind, false, uptime + 0.05});
        });
        ++downs;
        if (round >= 100) {  // the first keys warm up the services
            counted += made;
        }
        output->renderDiscarding(512);
        if (round % 2 == 0) {
            stats.sync();
            wellbeing.sync();
        }
    }
    EXPECT_EQ(counted, 0u) << "allocations on the key path over 300 key-downs and key-ups";

    // The keys did arrive: the path was not cut short.
    EXPECT_EQ(stats.current().today.keystrokes, downs);
    EXPECT_TRUE(wellbeing.rules().lastKey.has_value());
    EXPECT_GT(output->render(256).size(), 0u);
    stats.stop();
    wellbeing.stop();
}

}  // namespace
}  // namespace tapwell
