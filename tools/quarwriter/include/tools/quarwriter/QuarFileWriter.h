#pragma once
// Builds quarantine files as the product's service lays them out, for tests and demos: the HED
// line (HED, the count N in four code units, at least 22 more code units), N header lines, each
// line UTF-16LE with CR LF, then the item with every byte complemented.

#include <string>
#include <string_view>
#include <vector>

namespace QuarWriter {

struct QuarFileLayout
{
    // Positions 3 to 6 of the HED line as written; empty means the line count, zero-padded.
    std::u16string strCount;
    // Positions 7 onward; 22 code units keep the line at the 29 it needs.
    std::u16string strHedRest = std::u16string(22, u' ');
    std::vector<std::u16string> headerLines;
    // The stored item as plain bytes.
    std::string strItem;
};

// The HED line and the header lines, each with its CR LF.
std::string QuarHeaderBytes(const QuarFileLayout& layout);

// The whole file: the header, then the item complemented.
std::string QuarFileBytes(const QuarFileLayout& layout);

// Code units as UTF-16LE bytes.
std::string Utf16LeBytes(std::u16string_view strUnits);

// Every byte complemented.
std::string Complemented(std::string_view strBytes);

} // namespace QuarWriter
