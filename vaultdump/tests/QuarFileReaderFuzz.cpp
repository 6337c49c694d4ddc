// Arbitrary bytes as a quarantine file, through ExtractFile and through the reader with small
// header blocks. Besides crashes, leaks and undefined behaviour it catches any difference between
// the two reads, and an extracted item that is not the complemented rest of the file.

#include "platform/TempFile.h"
#include "vaultdump/QuarFileReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

// A folder of the run's own, made on first use and removed with the program's statics at exit.
class CScratchFolder
{
public:
    CScratchFolder()
    {
        std::string strTemplate = (platform::GetTempPath() / "vaultdump-fuzz-XXXXXX").string();
        if (!::mkdtemp(strTemplate.data()))
            std::abort();
        m_path = strTemplate;
    }
    ~CScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const std::filesystem::path& ScratchFolder()
{
    static const CScratchFolder folder;
    return folder.Path();
}

void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const std::filesystem::path source = ScratchFolder() / "Q.tmp";
    const std::filesystem::path target = ScratchFolder() / "EXT.tmp";
    {
        std::ofstream file(source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(cbData));
    }
    std::filesystem::remove(target);
    const HRESULT hrExtract = Vaultdump::ExtractFile(source.c_str(), target.c_str());

    // The first byte picks the header block size: odd sizes put boundaries inside code units; the
    // smallest serve short inputs only, so that every run takes few reads.
    constexpr std::size_t kSmallChunkSizes[] = {1, 2, 3, 7, 13, 64};
    constexpr std::size_t kLargeChunkSizes[] = {63, 511, 3999};
    const std::uint8_t bPick = cbData > 0 ? pData[0] : 0;
    Vaultdump::CQuarFileReader reader(cbData <= 256 ? kSmallChunkSizes[bPick % std::size(kSmallChunkSizes)]
                                                    : kLargeChunkSizes[bPick % std::size(kLargeChunkSizes)]);
    Check(reader.Open(source.c_str(), true) == S_OK);
    const HRESULT hrHeader = reader.ReadHeader();
    if (FAILED(hrHeader)) {
        Check(hrExtract == hrHeader);
        Check(!std::filesystem::exists(target));
        return 0;
    }
    Vaultdump::ContentVariant varContent;
    Check(reader.ReadContent(&varContent) == S_OK);
    Check(varContent.vt == (Vaultdump::VT_ARRAY | Vaultdump::VT_UI1));
    // The content is the end of the file, and its start is even.
    Check(varContent.parray.size() <= cbData && (cbData - varContent.parray.size()) % 2 == 0);
    Check(std::equal(varContent.parray.begin(), varContent.parray.end(), pData + (cbData - varContent.parray.size())));
    std::uint32_t cbDecoded = 0;
    Check(Vaultdump::DecodeContent(varContent.parray, &cbDecoded) == S_OK);
    Check(hrExtract == S_OK);
    std::ifstream extracted(target, std::ios::binary);
    const std::string strExtracted{std::istreambuf_iterator<char>(extracted), std::istreambuf_iterator<char>()};
    Check(strExtracted.size() == cbDecoded &&
          std::equal(strExtracted.begin(), strExtracted.end(), varContent.parray.begin(),
                     [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    return 0;
}
