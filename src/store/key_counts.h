// Counting texts (here the paper info file's identifiers) in fixed memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string_view>

/// How often each text was added: never, once, or maybe more, for any number of texts
/// in a fixed 1 MiB, of which only the pages written to take memory. A text never added
/// is taken for added, or one added once for more, for fewer than one text in ten
/// million while it holds 100,000; never the other way round. All bits of a text lie in
/// one cache line, and the whole fits a core's cache.
class KeyCounts {
public:
    /// Where a text's bits are. Worked out a little before count() or add() needs them,
    /// they are fetched from memory meanwhile.
    class Bits;
    Bits locate(std::string_view text) const;
    /// Has the bits of a text located already fetched for this table too.
    void expect(const Bits& bits) const { __builtin_prefetch(&blocks_[bits.block()]); }

    enum Count { kNone, kOnce, kMore };
    Count count(const Bits& bits) const;
    void add(const Bits& bits);

private:
    static constexpr std::size_t kBlocks = 1 << 14;
    // Texts added again are few, and need few bits.
    struct alignas(64) Block {
        std::uint64_t once[7];  // every text added
        std::uint64_t more[1];  // every text added again
    };
    struct Free {
        void operator()(void* memory) const { std::free(memory); }
    };
    // calloc, so that pages never written to take no memory; one block more, to start
    // the first on a cache line.
    std::unique_ptr<void, Free> memory_{std::calloc(kBlocks + 1, sizeof(Block))};
    Block* const blocks_ = reinterpret_cast<Block*>(
        (reinterpret_cast<std::uintptr_t>(memory_.get()) + alignof(Block) - 1) &
        ~std::uintptr_t{alignof(Block) - 1});

public:
    // The block from one hash of the text, the bits from two more derived from it: with
    // fewer bits to choose from, texts would share patterns.
    class Bits {
    public:
        Bits() = default;
        explicit Bits(std::string_view text) : block_(std::hash<std::string_view>{}(text)) {
            const std::uint64_t more[] = {mixed(block_), mixed(mixed(block_))};
            block_ %= kBlocks;
            for (unsigned i = 0; i < kCount; ++i)
                at_[i] = static_cast<std::uint16_t>(more[i / 4] >> (16 * (i % 4)));
        }
        std::size_t block() const { return block_; }
        template <std::size_t kWords>
        bool all_in(const std::uint64_t (&words)[kWords]) const {
            for (unsigned bit : at_) {
                bit %= kWords * 64;
                if (!(words[bit / 64] & std::uint64_t{1} << bit % 64)) return false;
            }
            return true;
        }
        template <std::size_t kWords>
        void set_in(std::uint64_t (&words)[kWords]) const {
            for (unsigned bit : at_) {
                bit %= kWords * 64;
                words[bit / 64] |= std::uint64_t{1} << bit % 64;
            }
        }

    private:
        static std::uint64_t mixed(std::uint64_t x) {  // splitmix64's finaliser
            x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9;
            x = (x ^ (x >> 27)) * 0x94d049bb133111eb;
            return x ^ (x >> 31);
        }
        static constexpr unsigned kCount = 8;
        std::uint64_t block_ = 0;
        std::uint16_t at_[kCount] = {};
    };
};

inline KeyCounts::Bits KeyCounts::locate(std::string_view text) const {
    if (!memory_) throw std::bad_alloc();
    Bits bits(text);
    __builtin_prefetch(&blocks_[bits.block()]);
    return bits;
}

inline KeyCounts::Count KeyCounts::count(const Bits& bits) const {
    const Block& block = blocks_[bits.block()];
    if (!bits.all_in(block.once)) return kNone;
    return bits.all_in(block.more) ? kMore : kOnce;
}

inline void KeyCounts::add(const Bits& bits) {
    Block& block = blocks_[bits.block()];
    if (bits.all_in(block.once)) {
        bits.set_in(block.more);
    } else {
        bits.set_in(block.once);
    }
}
