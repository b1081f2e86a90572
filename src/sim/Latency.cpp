#include "sim/Latency.h"

namespace sim {

Latency::Latency(uint32_t latencyMs, uint32_t jitterMs)
    : m_latencyMs(latencyMs), m_jitterMs(jitterMs), m_random(std::random_device{}()) {}

uint32_t Latency::Next() {
    if (m_jitterMs == 0) return m_latencyMs;
    std::lock_guard lock(m_mutex);
    return m_latencyMs + std::uniform_int_distribution<uint32_t>(0, m_jitterMs)(m_random);
}

}  // namespace sim
