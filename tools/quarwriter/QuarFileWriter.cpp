#include "tools/quarwriter/QuarFileWriter.h"

#include <cstdio>

namespace QuarWriter {

std::string Utf16LeBytes(std::u16string_view strUnits)
{
    std::string strBytes;
    strBytes.reserve(strUnits.size() * 2);
    for (const char16_t wch : strUnits) {
        strBytes.push_back(static_cast<char>(wch & 0xFF));
        strBytes.push_back(static_cast<char>(wch >> 8));
    }
    return strBytes;
}

std::string Complemented(std::string_view strBytes)
{
    std::string strResult(strBytes);
    for (char& c : strResult)
        c = static_cast<char>(~static_cast<unsigned char>(c));
    return strResult;
}

std::string QuarHeaderBytes(const QuarFileLayout& layout)
{
    std::u16string strCount = layout.strCount;
    if (strCount.empty()) {
        char szCount[16];
        std::snprintf(szCount, sizeof szCount, "%04zu", layout.headerLines.size());
        strCount.assign(szCount, szCount + std::char_traits<char>::length(szCount));
    }
    std::u16string strHeader = u"HED" + strCount + layout.strHedRest + u"\r\n";
    for (const std::u16string& strLine : layout.headerLines)
        strHeader += strLine + u"\r\n";
    return Utf16LeBytes(strHeader);
}

std::string QuarFileBytes(const QuarFileLayout& layout)
{
    return QuarHeaderBytes(layout) + Complemented(layout.strItem);
}

} // namespace QuarWriter
