#pragma once
// What a browse gathers, within its limits, whatever arrives and however often: the names of the
// answers, in the order of the targets they belong to (a broadcast's in the order they came),
// each once; and notes of what was left out, and why.

#include "platform/browse/ResolutionProtocol.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

namespace platform::browse {

// The most text the names of one browse may take: beyond it, answers are left out.
constexpr std::size_t kMaxBrowseTextLength = std::size_t{1} << 22;
// The most notes one browse keeps; a last one counts the rest.
constexpr std::size_t kMaxNotes = 32;

// One browse: the browse text of every name gathered, and the notes; when the browse could not
// ask anybody for want of a socket, no text.
struct BrowseResult
{
    std::optional<std::wstring> text;
    std::vector<std::wstring> notes;
};

class CAnswers
{
public:
    explicit CAnswers(std::size_t nTargets) : m_namesByTarget(nTargets) {}

    // Takes the answer a target gave, unless the target gave the very same one before (a computer
    // answers every request, and a browse asks more than once).
    void Add(std::size_t iTarget, std::span<const std::uint8_t> datagram, const ResolutionAnswer& answer);
    void Note(std::wstring strNote);
    void CountStranger() { ++m_nStrangers; }
    void CountMalformed() { ++m_nMalformed; }
    void CountDrops(std::uint64_t nDrops) { m_nDrops += nDrops; }

    BrowseResult Result(int cbReceiveBuffer);

private:
    bool IsRepeated(std::size_t iTarget, std::span<const std::uint8_t> datagram);

    std::vector<std::vector<std::wstring>> m_namesByTarget;
    std::unordered_set<std::wstring> m_gathered;
    std::size_t m_cchText = 0;
    // Identities of the answers taken, as far as kMaxRememberedAnswers: past that a repeated
    // answer is read again, and its names are still taken once.
    std::unordered_set<std::size_t> m_answersTaken;
    std::vector<std::wstring> m_notes;
    std::size_t m_nStrangers = 0;
    std::size_t m_nMalformed = 0;
    std::size_t m_nOverLimit = 0;
    std::size_t m_nNotesLeftOut = 0;
    std::uint64_t m_nDrops = 0;
};

} // namespace platform::browse
