// Complementing bytes in place, byte for byte, at every length and alignment around the word and
// the block of words it works in; and nothing outside the bytes given.

#include "Complement.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ComplementBytes, InvertsExactlyTheBytesGivenAtEveryLengthAndAlignment)
{
    constexpr std::size_t kGuard = 40; // more than a block on either side
    for (std::size_t offset = 0; offset < 2 * sizeof(std::uint64_t); ++offset) {
        for (std::size_t length = 0; length <= 3 * 4 * sizeof(std::uint64_t) + 1; ++length) {
            std::vector<std::uint8_t> buffer(kGuard + offset + length + kGuard);
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = static_cast<std::uint8_t>(i * 37 + 11);
            std::vector<std::uint8_t> expected = buffer;
            for (std::size_t i = kGuard + offset; i < kGuard + offset + length; ++i)
                expected[i] = static_cast<std::uint8_t>(~expected[i]);
            Vaultdump::ComplementBytes(std::span(buffer.data() + kGuard + offset, length));
            ASSERT_EQ(buffer, expected) << "offset " << offset << ", length " << length;
        }
    }
}
