// The delay of a wide-area network between a client and a served site: every reply and every
// accepted connection waits a fixed time plus a uniform random extra.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

namespace sim {

inline constexpr uint32_t kMaxLatencyMs = 2000;
inline constexpr uint32_t kMaxJitterMs = 2000;

class Latency {
public:
    Latency(uint32_t latencyMs, uint32_t jitterMs);

    // The wait before the next reply, in [latency, latency + jitter]; safe from several threads.
    uint32_t Next();
    bool None() const { return m_latencyMs == 0 && m_jitterMs == 0; }

private:
    uint32_t m_latencyMs;
    uint32_t m_jitterMs;
    std::mutex m_mutex;
    std::mt19937 m_random;
};

}  // namespace sim
