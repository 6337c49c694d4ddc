// vaultdump: writes the item stored in each quarantine file of a folder out as a plain file of its
// own in the same folder, and reports how many it recovered.

#include "Console.h"
#include "FolderScan.h"
#include "InterruptCleanup.h"
#include "OutputFile.h"
#include "common/ErrorLadder.h"
#include "common/HResult.h"
#include "common/StringUtils.h"
#include "vaultdump/QuarFileReader.h"

#include <optional>
#include <string>
#include <sys/stat.h>
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
    struct stat status
    {
    };
    *pbExists = ::stat(strPath.c_str(), &status) == 0;
    return *pbExists && S_ISDIR(status.st_mode);
}

// Extracts one entry into a new EXT file of the folder; true when an item was written. Entries
// that are directories or cannot be looked at are passed over without a word. An item that
// cannot be written out, for want of an output name too (a folder full of earlier outputs, one
// that cannot be written), fails as a damaged file does.
bool ExtractEntry(const std::string& strFolder, const std::string& strName)
{
    const std::string strPath = strFolder + strName;
    bool bExists = false;
    if (IsDirectory(strPath, &bExists) || !bExists)
        return false;
    std::optional<Vaultdump::COutputFile> output;
    HRESULT hr = Vaultdump::COutputFile::Reserve(strFolder, output);
    if (SUCCEEDED(hr))
        hr = Vaultdump::ExtractFile(strPath.c_str(), output->Descriptor());
    if (SUCCEEDED(hr))
        hr = output->Publish();
    if (FAILED(hr)) {
        Vaultdump::Print(FormatA("Extracting from file [%s] failed\r\n", Shown(strPath).c_str()));
        return false;
    }
    // Said while the output is still the one a stop signal removes: a run broken off while this
    // line waits for a full pipe leaves no output that nobody was told of.
    Vaultdump::Print(
        FormatA("Extracted file [%s] as [%s]\r\n", Shown(strPath).c_str(), Shown(output->Path().native()).c_str()));
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

    const Vaultdump::CInterruptCleanup interruptCleanup;
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
