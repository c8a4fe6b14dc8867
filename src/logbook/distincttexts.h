#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Every distinct text of a column once, numbered 0, 1, ... in order of first
// sight. The texts are views: their bytes must outlive this object.
class DistinctTexts {
public:
    // `expected` distinct texts fit without growing.
    explicit DistinctTexts(std::size_t expected);

    std::uint32_t idOf(std::string_view text);
    const std::vector<std::string_view>& texts() const { return m_texts; }

private:
    static std::size_t hash(std::string_view text);
    void grow();

    std::vector<std::uint32_t> m_slots;   // distinct id + 1, 0 = free
    std::vector<std::string_view> m_texts;
};
