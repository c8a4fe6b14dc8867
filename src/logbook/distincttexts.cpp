#include "distincttexts.h"

#include <algorithm>
#include <bit>
#include <cstring>

DistinctTexts::DistinctTexts(std::size_t expected)
    : m_slots(std::bit_ceil(std::max<std::size_t>(expected, 16) * 2), 0)
{
}

namespace {

// Type names are a few bytes long: a loop here beats a call of memcmp.
bool sameBytes(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

} // namespace

std::uint32_t DistinctTexts::idOf(std::string_view text)
{
    std::size_t slot = hash(text) & (m_slots.size() - 1);
    for (;; slot = (slot + 1) & (m_slots.size() - 1)) {
        const std::uint32_t entry = m_slots[slot];
        if (entry == 0)
            break;
        if (sameBytes(m_texts[entry - 1], text))
            return entry - 1;
    }
    m_texts.push_back(text);
    m_slots[slot] = static_cast<std::uint32_t>(m_texts.size());
    if (m_texts.size() * 2 > m_slots.size())
        grow();
    return static_cast<std::uint32_t>(m_texts.size() - 1);
}

// Eight bytes at a time, the tail shifted in: one multiplication per word
// rather than per byte, for a column read a million times.
std::size_t DistinctTexts::hash(std::string_view text)
{
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = text.size();
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    for (; i < text.size(); ++i)
        tail = tail << 8 | static_cast<unsigned char>(text[i]);
    h = (h ^ tail) * kMultiplier;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

void DistinctTexts::grow()
{
    std::vector<std::uint32_t> wider(m_slots.size() * 2, 0);
    for (std::uint32_t id = 0; id < m_texts.size(); ++id) {
        std::size_t slot = hash(m_texts[id]) & (wider.size() - 1);
        while (wider[slot] != 0)
            slot = (slot + 1) & (wider.size() - 1);
        wider[slot] = id + 1;
    }
    m_slots.swap(wider);
}
