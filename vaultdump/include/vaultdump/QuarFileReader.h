#pragma once
// The reader of quarantine files: a header of UTF-16LE text lines with CR LF ends, opened by the
// HED line that counts the lines after it, then the stored item with every byte complemented.

#include "common/HResult.h"
#include "common/HandleOwners.h"
#include "vaultdump/ContentVariant.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Vaultdump {

// The header is read in blocks of this size; a code unit or a line may cross from one to the next.
constexpr std::size_t kHeaderChunkSize = 4000;
// The HED line holds at least this many code units before its CR LF.
constexpr std::size_t kHedLineMinimumLength = 29;
// DecodeContent and ExtractFile refuse content longer than this.
constexpr std::uint64_t kContentLengthLimit = 0x7FFFFFFF;
// ExtractFile passes the content through a buffer of this size, whatever the item's size.
constexpr std::size_t kContentBlockSize = std::size_t{1} << 20;

class CQuarFileReader
{
public:
    CQuarFileReader() = default;
    // Tests read the header in smaller blocks (1 to 4000 bytes), as a short read would deliver it,
    // to place block boundaries anywhere, inside a code unit too.
    explicit CQuarFileReader(std::size_t cbChunkSize);
    CQuarFileReader(const CQuarFileReader&) = delete;
    CQuarFileReader& operator=(const CQuarFileReader&) = delete;
    virtual ~CQuarFileReader() = default;

    // Opens the file for reading. E_UNEXPECTED when already open, E_INVALIDARG for a null path,
    // the Win32 error as an HRESULT when the file cannot be opened. Only regular files open, and
    // never through a symbolic link: a directory, a pipe or a device fails with
    // ERROR_ACCESS_DENIED, as opening a directory does on Windows, without being opened. Others
    // may read the file too when bShareRead is set; nothing locks it here, so the flag only states
    // the caller's intent.
    HRESULT Open(const char* szPath, bool bShareRead);

    // Consumes the HED line and the header lines it counts.
    HRESULT ReadHeader();
    // The same, keeping the lines read (the HED line first) in lines: whole while the lines kept so
    // far hold fewer than cchKeep code units, the rest cut where that total is reached, so that a
    // header of any size costs at most that much memory.
    HRESULT ReadHeader(std::vector<std::u16string>& lines, std::size_t cchKeep);

    // Reads no more than cbLimit bytes of header from here on: a header that has not ended within
    // them ends as a file that ends there would, so that reading one costs bounded time whatever
    // the file holds (a huge sparse file, a first line without an end).
    void LimitHeaderBytes(std::uint64_t cbLimit) { m_cbHeaderLimit = cbLimit; }

    // Number of content bytes that ReadContent will return, as far as the file's size at Open tells.
    HRESULT GetContentLength(std::uint64_t* pcbLength);

    // Hands over the rest of the file as a byte array, read straight into one buffer sized from
    // the file.
    HRESULT ReadContent(ContentVariant* pvarContent);

    // Writes the rest of the file to the descriptor with every byte complemented, block by block,
    // so that memory stays small whatever the item's size. E_FAIL once more than 0x7FFFFFFF bytes
    // were met (the file may grow while it is read).
    HRESULT DecodeContentTo(int fdTarget);

private:
    // One line's length in code units, with as many of its first code units as asked for; the rest
    // is counted, not kept, so a huge first line costs no memory.
    struct LineHead
    {
        std::u16string strHead;
        std::uint64_t cchLength = 0;
    };

    HRESULT ReadChunk();
    HRESULT ReadCodeUnit(char16_t* pwch);
    HRESULT ReadByte(std::uint8_t* pb);
    HRESULT ReadLine(LineHead* pLine, std::size_t cchKeep);
    // ReadHeader, keeping the lines in pLines when it is not null.
    HRESULT ReadHeaderLines(std::vector<std::u16string>* pLines, std::size_t cchKeep);
    // Fills the buffer with the next content bytes: first what is left of the header's last
    // block, then the file from where it stands. Fewer than cbBuffer bytes means that the end of
    // the file was met.
    HRESULT ReadContentBlock(std::uint8_t* pBuffer, std::size_t cbBuffer, std::size_t* pcbRead);

    CAutoFileHandle m_file;
    // The one block of the header held: m_cbChunk bytes read, m_cbOffset of them consumed. The
    // block is released (m_cbChunk 0) as soon as its last byte is consumed.
    std::array<std::uint8_t, kHeaderChunkSize> m_chunk{};
    std::size_t m_cbChunk = 0;
    std::size_t m_cbOffset = 0;
    std::size_t m_cbChunkSize = kHeaderChunkSize;
    // The file's size when it was opened, and how much of it has been read since: the content's
    // length without asking the system again.
    std::uint64_t m_cbFileSize = 0;
    std::uint64_t m_cbFileRead = 0;
    std::uint64_t m_cbHeaderLimit = UINT64_MAX;
};

// Parses N from the HED line's positions 3 to 6 by the C library's string-to-long rules in base
// 10: leading white space, an optional sign, then digits up to the first other code unit; no digits
// give 0.
long ParseHeaderLineCount(std::u16string_view strField);

// Complements every byte in place and returns the element count; E_FAIL past 0x7FFFFFFF elements.
HRESULT DecodeContent(ByteSafeArray& arrContent, std::uint32_t* pcbLength);

// Writes the item stored in the quarantine file at szSource to szTarget (created or truncated,
// never through a symbolic link) once the header has been read, block by block to the end of the
// file. Never throws. A target already created on failure stays on disk for the caller to remove.
HRESULT ExtractFile(const char* szSource, const char* szTarget) noexcept;
// The same into a file the caller has opened for writing, and closes.
HRESULT ExtractFile(const char* szSource, int fdTarget) noexcept;

} // namespace Vaultdump
