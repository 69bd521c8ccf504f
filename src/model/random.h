#pragma once
// One seedable pseudo-random generator per run, so that a run can be repeated exactly. The draws
// are computed here from the raw 64-bit stream (not through the standard distributions, whose
// results differ between library implementations).

#include <cstdint>
#include <random>

namespace tubenest {

class TRandomGenerator {
public:
    /// Seeded from the system's entropy source.
    TRandomGenerator() : TRandomGenerator(FreshSeed()) {}
    explicit TRandomGenerator(std::uint64_t seed) : seed_(seed), engine_(seed) {}

    std::uint64_t Seed() const { return seed_; }
    void Reseed(std::uint64_t seed) {
        seed_ = seed;
        engine_.seed(seed);
    }

    /// Uniform in [0, 1).
    double RandomFloat() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    /// Uniform integer in [0, n); 0 when n <= 0.
    std::int32_t Random(std::int32_t n) {
        if (n <= 0) {
            return 0;
        }
        const auto v = static_cast<std::int32_t>(RandomFloat() * n);
        return v < n ? v : n - 1;
    }
    /// Uniform integer in [from, to) (to excluded); from when to <= from.
    std::int32_t RandomRange(std::int32_t from, std::int32_t to) {
        return to <= from ? from : from + Random(to - from);
    }

    static std::uint64_t FreshSeed() {
        std::random_device rd;
        return (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
    }

private:
    std::uint64_t seed_;
    std::mt19937_64 engine_;
};

} // namespace tubenest
