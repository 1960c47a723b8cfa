#pragma once
// A bounded, lock-free queue for exactly one producer thread and one consumer thread at a time.
// Neither side ever blocks, allocates or takes a lock, which makes it fit for handing work to the
// audio render thread and back. The slots are allocated once, at construction.
//
// "One producer" means one at a time: successive producers on different threads are fine as long
// as something else orders them (the sound engine's serial queue does).

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <utility>

namespace tapwell {

template <class T>
class SpscQueue {
  public:
    // Holds up to `capacity` items (rounded up to a power of two).
    explicit SpscQueue(std::size_t capacity) {
        std::size_t size = 2;
        while (size < capacity + 1) {
            size *= 2;
        }
        mask_ = size - 1;
        slots_ = std::make_unique<T[]>(size);
    }

    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    std::size_t capacity() const { return mask_; }

    // Producer side. Returns false (and leaves `item` untouched) when the queue is full.
    bool push(T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t next = (tail + 1) & mask_;
        if (next == headCache_) {
            headCache_ = head_.load(std::memory_order_acquire);
            if (next == headCache_) {
                return false;
            }
        }
        slots_[tail] = std::move(item);
        tail_.store(next, std::memory_order_release);
        return true;
    }
    bool push(T&& item) { return push(item); }

    // Consumer side. Moves the oldest item into `out`; false when the queue is empty.
    bool pop(T& out) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tailCache_) {
            tailCache_ = tail_.load(std::memory_order_acquire);
            if (head == tailCache_) {
                return false;
            }
        }
        out = std::move(slots_[head]);
        slots_[head] = T{};
        head_.store((head + 1) & mask_, std::memory_order_release);
        return true;
    }

    // Either side; only a snapshot.
    bool empty() const {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

  private:
    static constexpr std::size_t line = 64;

    std::unique_ptr<T[]> slots_;
    std::size_t mask_ = 0;
    alignas(line) std::atomic<std::size_t> head_{0};  // written by the consumer
    std::size_t tailCache_ = 0;                       // consumer's copy of tail_
    alignas(line) std::atomic<std::size_t> tail_{0};  // written by the producer
    std::size_t headCache_ = 0;                       // producer's copy of head_
};

}  // namespace tapwell
