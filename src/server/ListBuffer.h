// One heap buffer for a received record list. Its content is undefined until the records arrive:
// the memory is a kept block (platform::TakeBlock), most likely the one the last load of this or
// another site gave back, so a reload costs no page faults and no zeroing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/LargeBuffer.h"

namespace server {

class ListBuffer {
public:
    ListBuffer() = default;
    ~ListBuffer() { Reset(); }
    ListBuffer(ListBuffer&& o) noexcept : m_data(std::exchange(o.m_data, nullptr)), m_size(std::exchange(o.m_size, 0)) {}
    ListBuffer& operator=(ListBuffer&& o) noexcept {
        std::swap(m_data, o.m_data);
        std::swap(m_size, o.m_size);
        return *this;
    }
    ListBuffer(const ListBuffer&) = delete;
    ListBuffer& operator=(const ListBuffer&) = delete;

    // False (the buffer then empty) when the memory is not there.
    bool Allocate(size_t size) {
        Reset();
        if (size == 0) return true;
        m_data = static_cast<uint8_t*>(platform::TakeBlock(size));
        if (!m_data) return false;
        m_size = size;
        return true;
    }
    void Reset() {
        platform::GiveBackBlock(m_data, m_size);
        m_data = nullptr;
        m_size = 0;
    }

    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace server
