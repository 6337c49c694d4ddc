#pragma once
// Helpers the vaultdump tests share: quarantine files as bytes, and the files of a folder.

#include "common/HandleOwners.h"
#include "testsupport/RunProgram.h"
#include "tools/quarwriter/QuarFileWriter.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>

namespace VaultdumpTest {

// A socket bound at the path: something with a name that cannot be opened as a file. Closed when
// the owner goes.
inline CAutoFileHandle BindSocket(const std::filesystem::path& path)
{
    CAutoFileHandle socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!socket || path.native().size() >= sizeof address.sun_path)
        return {};
    std::copy(path.native().begin(), path.native().end(), address.sun_path);
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return socket;
}

// UTF-16LE bytes of text given as code units.
inline std::string U16(std::u16string_view strUnits)
{
    return QuarWriter::Utf16LeBytes(strUnits);
}

// A HED line of exactly the given number of code units (at least 7) with the count field as
// written, CR LF included.
inline std::string HedLine(std::u16string_view strCount, std::size_t cchLength = 29)
{
    std::u16string strLine = u"HED" + std::u16string(strCount);
    strLine.resize(cchLength, u'x');
    return U16(strLine + u"\r\n");
}

// A well-formed quarantine file with the header lines given and the item as plain bytes.
inline std::string QuarFile(const std::string& strItem, std::vector<std::u16string> headerLines = {})
{
    QuarWriter::QuarFileLayout layout;
    layout.headerLines = std::move(headerLines);
    layout.strItem = strItem;
    return QuarWriter::QuarFileBytes(layout);
}

// Every byte value once, then some text: an item that shows any byte changed or lost.
inline std::string AllByteValues()
{
    std::string strBytes;
    for (int i = 0; i < 256; ++i)
        strBytes.push_back(static_cast<char>(i));
    return strBytes + "\r\n\n\rend";
}

// Name to content of every regular file in the folder (not below it).
inline std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.symlink_status().type() == std::filesystem::file_type::regular)
            files[entry.path().filename().string()] = testsupport::ReadFile(entry.path());
    }
    return files;
}

} // namespace VaultdumpTest
