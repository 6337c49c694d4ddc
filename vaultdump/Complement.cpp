#include "Complement.h"

#include <cstring>

namespace Vaultdump {

void ComplementBytes(std::span<std::uint8_t> bytes)
{
    // Four words at a time: straight-line work on a fixed block that compilers turn into vector
    // instructions at every optimisation level, where a loop over single bytes stays one byte at
    // a time at -O2 and costs more than reading and writing the item. The bytes are copied in and
    // out of the words, so that any address and any length will do.
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    constexpr std::size_t kBlock = 4 * kWord;
    std::uint8_t* pByte = bytes.data();
    std::size_t cbLeft = bytes.size();
    for (; cbLeft >= kBlock; pByte += kBlock, cbLeft -= kBlock) {
        std::uint64_t words[kBlock / kWord];
        std::memcpy(words, pByte, kBlock);
        for (std::uint64_t& word : words)
            word = ~word;
        std::memcpy(pByte, words, kBlock);
    }
    for (; cbLeft >= kWord; pByte += kWord, cbLeft -= kWord) {
        std::uint64_t word = 0;
        std::memcpy(&word, pByte, kWord);
        word = ~word;
        std::memcpy(pByte, &word, kWord);
    }
    for (; cbLeft > 0; ++pByte, --cbLeft)
        *pByte = static_cast<std::uint8_t>(~*pByte);
}

} // namespace Vaultdump
