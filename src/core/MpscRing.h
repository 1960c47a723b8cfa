#pragma once
// A bounded ring that any number of threads push into and one thread at a time takes from. A push
// never locks, allocates or blocks (one compare-and-swap on the ticket counter, then a store), so
// the key path can use it; the slots are allocated once, at construction.
//
// Every successful push takes a ticket; items come out in ticket order. `end()` is the ticket the
// next push will take, so everything pushed before a call to `end()` has a smaller ticket: the
// consumer can take exactly the items pushed before some moment and leave the later ones.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace tapwell {

template <class T>
class MpscRing {
  public:
    // Holds `capacity` items, rounded up to a power of two.
    explicit MpscRing(std::size_t capacity) {
        std::size_t size = 2;
        while (size < capacity) {
            size *= 2;
        }
        mask_ = size - 1;
        cells_ = std::make_unique<Cell[]>(size);
        for (std::size_t i = 0; i < size; ++i) {
            cells_[i].sequence.store(i, std::memory_order_relaxed);
        }
    }

    MpscRing(const MpscRing&) = delete;
    MpscRing& operator=(const MpscRing&) = delete;

    std::size_t capacity() const { return mask_ + 1; }

    // Any thread. False (and nothing stored) when the ring is full.
    bool push(const T& item) noexcept {
        std::uint64_t ticket = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[ticket & mask_];
            const std::uint64_t sequence = cell.sequence.load(std::memory_order_acquire);
            if (sequence == ticket) {
                // Sequentially consistent, so that end() read after this push sees it.
                if (tail_.compare_exchange_weak(ticket, ticket + 1, std::memory_order_seq_cst,
                                                std::memory_order_relaxed)) {
                    cell.value = item;
                    cell.sequence.store(ticket + 1, std::memory_order_release);
                    return true;
                }
            } else if (sequence < ticket) {
                return false;  // the slot still holds the item from one lap before
            } else {
                ticket = tail_.load(std::memory_order_relaxed);  // another producer took it
            }
        }
    }

    // Any thread: the ticket of the next push.
    std::uint64_t end() const noexcept { return tail_.load(std::memory_order_seq_cst); }

    // Consumer side. The ticket of the next item to take.
    std::uint64_t begin() const noexcept { return head_; }

    // Consumer side. Takes the oldest item if its ticket is below `limit`. A producer that has
    // taken its ticket but not stored the item yet is waited for; it is between two instructions.
    bool pop(T& out, std::uint64_t limit) noexcept {
        if (head_ >= limit) {
            return false;
        }
        Cell& cell = cells_[head_ & mask_];
        while (cell.sequence.load(std::memory_order_acquire) != head_ + 1) {
            std::this_thread::yield();
        }
        out = cell.value;
        cell.sequence.store(head_ + mask_ + 1, std::memory_order_release);
        ++head_;
        return true;
    }

  private:
    static constexpr std::size_t line = 64;

    struct Cell {
        std::atomic<std::uint64_t> sequence{0};
        T value{};
    };

    std::unique_ptr<Cell[]> cells_;
    std::uint64_t mask_ = 0;
    alignas(line) std::atomic<std::uint64_t> tail_{0};  // producers' next ticket
    alignas(line) std::uint64_t head_ = 0;              // consumer's next ticket
};

}  // namespace tapwell
