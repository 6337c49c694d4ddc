// vaultdump: writes the item stored in each quarantine file of a folder out as a plain file of its
// own in the same folder, and reports how many it recovered.

#include "Console.h"
#include "FolderScan.h"
#include "QuarFileReader.h"
#include "common/ErrorLadder.h"
#include "common/HResult.h"
#include "common/StringUtils.h"
#include "platform/TempFile.h"
#include "platform/Win32Error.h"

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace {

constexpr std::string_view kUsageText = "Usage:\r\nVaultdump.exe <path to quarantine files directory>\r\n";
constexpr int kExitBadArguments = 1;
constexpr int kExitDone = 0;

// A path as it is printed: a name holding a line end or a terminal command must neither forge a
// line of its own nor reach the terminal.
std::string Shown(std::string_view strPath)
{
    return EscapeControlCharacters(strPath);
}

bool IsDirectory(const std::string& strPath, bool* pbExists)
{
    struct stat status {};
    *pbExists = ::stat(strPath.c_str(), &status) == 0;
    return *pbExists && S_ISDIR(status.st_mode);
}

// Extracts one entry into a new EXT file of the folder; true when an item was written. Entries
// that are directories or cannot be looked at, and entries for which no output name can be had,
// are passed over without a word.
bool ExtractEntry(const std::string& strFolder, const std::string& strName)
{
    const std::string strPath = strFolder + strName;
    bool bExists = false;
    if (IsDirectory(strPath, &bExists) || !bExists)
        return false;
    // The item goes through the descriptor that reserved the name: in a folder others can write
    // to, the name itself may point at someone else's file by the time it is opened again.
    std::filesystem::path outputPath;
    CAutoFileHandle output;
    if (platform::CreateTempFile(strFolder, L"EXT", outputPath, output) != platform::ERROR_SUCCESS)
        return false;
    const HRESULT hr = Vaultdump::ExtractFile(strPath.c_str(), std::move(output));
    if (FAILED(hr)) {
        Vaultdump::Print(FormatA("Extracting from file [%s] failed\r\n", Shown(strPath).c_str()));
        std::error_code ignored;
        std::filesystem::remove(outputPath, ignored);
        return false;
    }
    Vaultdump::Print(
        FormatA("Extracted file [%s] as [%s]\r\n", Shown(strPath).c_str(), Shown(outputPath.native()).c_str()));
    return true;
}

// Paths are handled as the bytes the system gives them, so that a name that is not valid UTF-8
// still opens and prints as it is.
int Run(int argc, char** argv)
{
    if (argc != 2) {
        Vaultdump::Print("Invalid number of arguments.\r\n");
        Vaultdump::Print(kUsageText);
        return kExitBadArguments;
    }
    // No length limit of its own: a folder path is refused only when the system cannot use it.
    std::string strFolder = argv[1];
    bool bExists = false;
    if (!IsDirectory(strFolder, &bExists)) {
        Vaultdump::Print("Invalid path to quarantine files directory.\r\n");
        Vaultdump::Print(kUsageText);
        return kExitBadArguments;
    }
    if (strFolder.back() != '/')
        strFolder += '/';
    Vaultdump::Print(FormatA("Enumerating files from folder [%s]\r\n", Shown(strFolder).c_str()));

    int cExtracted = 0;
    std::vector<std::string> names;
    if (!Vaultdump::ListTmpEntries(strFolder, names)) {
        Vaultdump::Print(FormatA("Could not enumerate files in [%s]\r\n", Shown(strFolder).c_str()));
    } else {
        for (const std::string& strName : names) {
            if (ExtractEntry(strFolder, strName))
                ++cExtracted;
        }
    }
    Vaultdump::Print(FormatA("%d file(s) were extracted successfully\r\n", cExtracted));
    return kExitDone;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (...) {
        // Only a failure outside any single file (memory for the list of names, say) ends up here;
        // its exit status never reads as success or as a bad command line.
        return ExitStatusFromHResult(UTIL::ERR::ClassifyCurrentException().hr);
    }
}
