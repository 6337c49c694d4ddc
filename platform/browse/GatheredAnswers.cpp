#include "GatheredAnswers.h"

#include "common/StringUtils.h"

#include <functional>
#include <iterator>
#include <string_view>

namespace platform::browse {
namespace {

constexpr std::size_t kMaxRememberedAnswers = 4096;

} // namespace

bool CAnswers::IsRepeated(std::size_t iTarget, std::span<const std::uint8_t> datagram)
{
    const std::size_t identity = std::hash<std::string_view>()(std::string_view(
                                     reinterpret_cast<const char*>(datagram.data()), datagram.size())) ^
                                 (iTarget * 0x9E3779B97F4A7C15u);
    if (m_answersTaken.contains(identity))
        return true;
    if (m_answersTaken.size() < kMaxRememberedAnswers)
        m_answersTaken.insert(identity);
    return false;
}

void CAnswers::Add(std::size_t iTarget, std::span<const std::uint8_t> datagram, const ResolutionAnswer& answer)
{
    if (IsRepeated(iTarget, datagram))
        return;
    for (const std::wstring& strRefusal : answer.refusals)
        Note(strRefusal);
    // A name already gathered is not taken again: a computer that answers the same list over and
    // over would otherwise fill the list's whole length with it, and the caller's work and trace
    // with each copy.
    for (const std::wstring& strName : answer.names) {
        if (m_gathered.contains(strName))
            continue;
        if (m_cchText + strName.size() + 1 > kMaxBrowseTextLength) {
            ++m_nOverLimit;
            continue;
        }
        m_cchText += strName.size() + 1;
        m_gathered.insert(strName);
        m_namesByTarget[iTarget].push_back(strName);
    }
}

void CAnswers::Note(std::wstring strNote)
{
    if (m_notes.size() < kMaxNotes)
        m_notes.push_back(std::move(strNote));
    else
        ++m_nNotesLeftOut;
}

BrowseResult CAnswers::Result(int cbReceiveBuffer)
{
    // The counts are kept whatever the number of notes before them.
    if (m_nDrops > 0)
        m_notes.push_back(FormatW(L"%llu answers were lost: the receive buffer of %d bytes was full.",
                                  static_cast<unsigned long long>(m_nDrops), cbReceiveBuffer));
    if (m_nStrangers > 0)
        m_notes.push_back(FormatW(L"%zu answers from computers that were not asked were left out.", m_nStrangers));
    if (m_nMalformed > 0)
        m_notes.push_back(FormatW(L"%zu answers that were no server resolution answers were left out.", m_nMalformed));
    if (m_nOverLimit > 0)
        m_notes.push_back(FormatW(L"%zu instances beyond the browse list's limit were left out.", m_nOverLimit));
    if (m_nNotesLeftOut > 0)
        m_notes.push_back(FormatW(L"%zu more notes were left out.", m_nNotesLeftOut));
    std::vector<std::wstring> names;
    for (std::vector<std::wstring>& targetNames : m_namesByTarget)
        std::move(targetNames.begin(), targetNames.end(), std::back_inserter(names));
    return {BrowseText(names), std::move(m_notes)};
}

} // namespace platform::browse
