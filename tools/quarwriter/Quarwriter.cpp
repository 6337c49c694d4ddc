// quarwriter: writes one quarantine file holding the given item, for tests and demos. The item is
// streamed through in blocks, so items of any size cost little memory.

#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "tools/quarwriter/QuarFileWriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsageText =
    "Usage: quarwriter [--line TEXT]... [--count TEXT] [--hed-rest TEXT] [--item FILE] OUTPUT\n"
    "Writes a quarantine file to OUTPUT holding the bytes of FILE (standard input when no --item\n"
    "is given or FILE is -).\n"
    "  --line TEXT      a header line after the HED line; repeat for more\n"
    "  --count TEXT     the four code units of the HED line's count as written (default: the\n"
    "                   number of --line options, zero-padded)\n"
    "  --hed-rest TEXT  the HED line after its count (default: 22 blanks)\n";

// UTF-8 text as UTF-16 code units.
std::u16string Utf16FromUtf8(std::string_view strText)
{
    const std::vector<std::uint8_t> bytes = UTIL::STR::WideToUtf16Le(NarrowToWide(strText));
    std::u16string strUnits;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        strUnits.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return strUnits;
}

// Copies the item from input to output with every byte complemented.
bool CopyComplemented(std::FILE* pInput, std::FILE* pOutput)
{
    std::vector<unsigned char> block(1 << 20);
    std::size_t cbRead = 0;
    while ((cbRead = std::fread(block.data(), 1, block.size(), pInput)) > 0) {
        for (std::size_t i = 0; i < cbRead; ++i)
            block[i] = static_cast<unsigned char>(~block[i]);
        if (std::fwrite(block.data(), 1, cbRead, pOutput) != cbRead)
            return false;
    }
    return !std::ferror(pInput);
}

int Fail(const char* szWhat, const std::string& strPath)
{
    std::fprintf(stderr, "quarwriter: cannot %s %s\n", szWhat, strPath.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QuarWriter::QuarFileLayout layout;
    std::string strItemPath = "-";
    std::string strOutput;
    for (int i = 1; i < argc; ++i) {
        const std::string_view strArg(argv[i]);
        const bool bHasValue = i + 1 < argc;
        if (strArg == "--line" && bHasValue) {
            layout.headerLines.push_back(Utf16FromUtf8(argv[++i]));
        } else if (strArg == "--count" && bHasValue) {
            layout.strCount = Utf16FromUtf8(argv[++i]);
        } else if (strArg == "--hed-rest" && bHasValue) {
            layout.strHedRest = Utf16FromUtf8(argv[++i]);
        } else if (strArg == "--item" && bHasValue) {
            strItemPath = argv[++i];
        } else if (strOutput.empty() && !strArg.empty() && !strArg.starts_with("--")) {
            strOutput = strArg;
        } else {
            std::fputs(kUsageText, stderr);
            return 2;
        }
    }
    if (strOutput.empty()) {
        std::fputs(kUsageText, stderr);
        return 2;
    }
    CAutoStdFileHandle itemFile(strItemPath == "-" ? nullptr : std::fopen(strItemPath.c_str(), "rb"));
    std::FILE* const pInput = strItemPath == "-" ? stdin : itemFile.Get();
    if (pInput == nullptr)
        return Fail("read", strItemPath);
    CAutoStdFileHandle output(std::fopen(strOutput.c_str(), "wb"));
    if (!output)
        return Fail("write", strOutput);
    const std::string strHeader = QuarWriter::QuarHeaderBytes(layout);
    if (std::fwrite(strHeader.data(), 1, strHeader.size(), output.Get()) != strHeader.size() ||
        !CopyComplemented(pInput, output.Get()) || std::fclose(output.Release()) != 0)
        return Fail("write", strOutput);
    return 0;
}
