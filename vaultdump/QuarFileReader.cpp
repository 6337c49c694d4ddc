#include "vaultdump/QuarFileReader.h"

#include "Complement.h"
#include "common/ComError.h"
#include "common/ErrorLadder.h"
#include "platform/SafeFiles.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Vaultdump {
namespace {

using platform::HResultFromErrno;

constexpr DWORD kErrorInvalidHandle = 6; // ERROR_INVALID_HANDLE: the reader is not open

// Largest count handed to one read or write: Linux moves at most about 2 GiB per call.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// One read, repeated when a signal interrupts it: the count read, 0 at the end, -1 on failure.
ssize_t ReadOnce(int fd, void* pBuffer, std::size_t cbBuffer)
{
    ssize_t cbRead = 0;
    do {
        cbRead = ::read(fd, pBuffer, std::min(cbBuffer, kMaxTransfer));
    } while (cbRead < 0 && errno == EINTR);
    return cbRead;
}

HRESULT WriteAll(int fd, const std::uint8_t* pData, std::size_t cbData)
{
    while (cbData > 0) {
        const ssize_t cbWritten = ::write(fd, pData, std::min(cbData, kMaxTransfer));
        if (cbWritten < 0) {
            if (errno == EINTR)
                continue;
            return HResultFromErrno(errno);
        }
        if (cbWritten == 0)
            return HRESULT_FROM_WIN32(platform::ERROR_DISK_FULL);
        pData += cbWritten;
        cbData -= static_cast<std::size_t>(cbWritten);
    }
    return S_OK;
}

bool IsCStandardSpace(char16_t wch)
{
    return wch == u' ' || (wch >= u'\t' && wch <= u'\r');
}

} // namespace

CQuarFileReader::CQuarFileReader(std::size_t cbChunkSize)
    : m_cbChunkSize(std::clamp<std::size_t>(cbChunkSize, 1, kHeaderChunkSize))
{
}

HRESULT CQuarFileReader::Open(const char* szPath, bool /*bShareRead*/)
{
    if (m_file)
        return E_UNEXPECTED;
    if (szPath == nullptr)
        return E_INVALIDARG;
    // The folder may be written by others: a link planted there could lead anywhere, a pipe would
    // block the scan, a device could act on being opened.
    CAutoFileHandle file = platform::OpenRegularFile(AT_FDCWD, szPath, O_RDONLY, platform::LinkPolicy::Refuse);
    if (!file)
        return errno == EACCES ? HRESULT_FROM_WIN32(platform::ERROR_ACCESS_DENIED) : HResultFromErrno(errno);
    struct stat status
    {
    };
    if (::fstat(file.Get(), &status) != 0)
        return HResultFromErrno(errno);
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    m_file = std::move(file);
    m_cbChunk = 0;
    m_cbOffset = 0;
    m_cbFileSize = static_cast<std::uint64_t>(status.st_size);
    m_cbFileRead = 0;
    return S_OK;
}

HRESULT CQuarFileReader::ReadChunk()
{
    if (m_cbFileRead >= m_cbHeaderLimit)
        return HRESULT_FROM_WIN32(platform::ERROR_HANDLE_EOF);
    const ssize_t cbRead =
        ReadOnce(m_file.Get(), m_chunk.data(), std::min<std::uint64_t>(m_cbChunkSize, m_cbHeaderLimit - m_cbFileRead));
    if (cbRead < 0)
        return HResultFromErrno(errno);
    if (cbRead == 0)
        return HRESULT_FROM_WIN32(platform::ERROR_HANDLE_EOF);
    m_cbChunk = static_cast<std::size_t>(cbRead);
    m_cbOffset = 0;
    m_cbFileRead += m_cbChunk;
    return S_OK;
}

HRESULT CQuarFileReader::ReadByte(std::uint8_t* pb)
{
    if (m_cbChunk == 0) {
        const HRESULT hr = ReadChunk();
        if (FAILED(hr))
            return hr;
    }
    *pb = m_chunk[m_cbOffset++];
    if (m_cbOffset == m_cbChunk)
        m_cbChunk = m_cbOffset = 0;
    return S_OK;
}

HRESULT CQuarFileReader::ReadCodeUnit(char16_t* pwch)
{
    // Both bytes in the block at hand: the common case, taken without the general path.
    if (m_cbChunk - m_cbOffset >= 2) {
        *pwch = static_cast<char16_t>(m_chunk[m_cbOffset] | (m_chunk[m_cbOffset + 1] << 8));
        m_cbOffset += 2;
        if (m_cbOffset == m_cbChunk)
            m_cbChunk = m_cbOffset = 0;
        return S_OK;
    }
    std::uint8_t bLow = 0;
    std::uint8_t bHigh = 0;
    HRESULT hr = ReadByte(&bLow);
    if (SUCCEEDED(hr))
        hr = ReadByte(&bHigh);
    if (SUCCEEDED(hr))
        *pwch = static_cast<char16_t>(bLow | (bHigh << 8));
    return hr;
}

HRESULT CQuarFileReader::ReadLine(LineHead* pLine, std::size_t cchKeep)
{
    pLine->strHead.clear();
    pLine->cchLength = 0;
    for (;;) {
        char16_t wch = 0;
        HRESULT hr = ReadCodeUnit(&wch);
        if (FAILED(hr))
            return hr;
        if (wch == u'\r') {
            hr = ReadCodeUnit(&wch);
            if (FAILED(hr))
                return hr;
            if (wch != u'\n')
                return E_UNEXPECTED;
            return S_OK;
        }
        if (pLine->strHead.size() < cchKeep)
            pLine->strHead.push_back(wch);
        ++pLine->cchLength;
    }
}

HRESULT CQuarFileReader::ReadHeader()
{
    return ReadHeaderLines(nullptr, 0);
}

HRESULT CQuarFileReader::ReadHeader(std::vector<std::u16string>& lines, std::size_t cchKeep)
{
    lines.clear();
    return ReadHeaderLines(&lines, cchKeep);
}

HRESULT CQuarFileReader::ReadHeaderLines(std::vector<std::u16string>* pLines, std::size_t cchKeep)
{
    try {
        std::size_t cchLeft = pLines ? cchKeep : 0;
        // Reads one line, keeping what is left of the allowance, but at least what the HED line's
        // checks look at.
        LineHead line;
        auto readLine = [&]() {
            const HRESULT hr = ReadLine(&line, std::max(cchLeft, kHedLineMinimumLength));
            if (SUCCEEDED(hr) && pLines) {
                pLines->emplace_back(line.strHead, 0, cchLeft);
                cchLeft -= pLines->back().size();
            }
            return hr;
        };
        HRESULT hr = readLine();
        if (FAILED(hr))
            return hr;
        if (!line.strHead.starts_with(u"HED"))
            return E_INVALIDARG;
        if (line.cchLength < kHedLineMinimumLength)
            return E_INVALIDARG;
        const long lCount = ParseHeaderLineCount(std::u16string_view(line.strHead).substr(3, 4));
        for (long i = 0; i < lCount; ++i) {
            hr = readLine();
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    } catch (...) {
        return UTIL::ERR::ClassifyCurrentException().hr;
    }
}

HRESULT CQuarFileReader::GetContentLength(std::uint64_t* pcbLength)
{
    if (pcbLength == nullptr)
        return E_POINTER;
    if (!m_file)
        return HRESULT_FROM_WIN32(kErrorInvalidHandle);
    const std::uint64_t cbUnread = m_cbFileSize > m_cbFileRead ? m_cbFileSize - m_cbFileRead : 0;
    *pcbLength = cbUnread + (m_cbChunk - m_cbOffset);
    return S_OK;
}

HRESULT CQuarFileReader::ReadContentBlock(std::uint8_t* pBuffer, std::size_t cbBuffer, std::size_t* pcbRead)
{
    std::size_t cbFilled = std::min(cbBuffer, m_cbChunk - m_cbOffset);
    std::copy_n(m_chunk.data() + m_cbOffset, cbFilled, pBuffer);
    m_cbOffset += cbFilled;
    if (m_cbOffset == m_cbChunk)
        m_cbChunk = m_cbOffset = 0;
    while (cbFilled < cbBuffer) {
        const ssize_t cbRead = ReadOnce(m_file.Get(), pBuffer + cbFilled, cbBuffer - cbFilled);
        if (cbRead < 0)
            return HResultFromErrno(errno);
        if (cbRead == 0)
            break;
        cbFilled += static_cast<std::size_t>(cbRead);
        m_cbFileRead += static_cast<std::uint64_t>(cbRead);
    }
    *pcbRead = cbFilled;
    return S_OK;
}

HRESULT CQuarFileReader::ReadContent(ContentVariant* pvarContent)
{
    if (pvarContent == nullptr)
        return E_POINTER;
    try {
        std::uint64_t cbExpected = 0;
        HRESULT hr = GetContentLength(&cbExpected);
        if (FAILED(hr))
            return hr;
        if (cbExpected >= SIZE_MAX)
            return E_OUTOFMEMORY;
        // One byte more than the size taken at Open, so that filling the array shows a file that
        // has grown since: the content runs to the real end of the file.
        ByteSafeArray arrContent(static_cast<std::size_t>(cbExpected) + 1);
        std::size_t cbFilled = 0;
        for (;;) {
            std::size_t cbRead = 0;
            hr = ReadContentBlock(arrContent.data() + cbFilled, arrContent.size() - cbFilled, &cbRead);
            if (FAILED(hr))
                return hr;
            cbFilled += cbRead;
            if (cbFilled < arrContent.size())
                break;
            // Grown: room for more, the array growing geometrically as the file goes on.
            arrContent.resize(cbFilled + kHeaderChunkSize);
        }
        arrContent.resize(cbFilled);
        pvarContent->parray = std::move(arrContent);
        pvarContent->vt = VT_ARRAY | VT_UI1;
        return S_OK;
    } catch (...) {
        return UTIL::ERR::ClassifyCurrentException().hr;
    }
}

long ParseHeaderLineCount(std::u16string_view strField)
{
    std::size_t i = 0;
    while (i < strField.size() && IsCStandardSpace(strField[i]))
        ++i;
    bool bNegative = false;
    if (i < strField.size() && (strField[i] == u'+' || strField[i] == u'-')) {
        bNegative = strField[i] == u'-';
        ++i;
    }
    long lValue = 0;
    for (; i < strField.size() && strField[i] >= u'0' && strField[i] <= u'9'; ++i)
        lValue = lValue * 10 + (strField[i] - u'0');
    return bNegative ? -lValue : lValue;
}

HRESULT DecodeContent(ByteSafeArray& arrContent, std::uint32_t* pcbLength)
{
    if (pcbLength == nullptr)
        return E_POINTER;
    if (arrContent.size() > kContentLengthLimit)
        return E_FAIL;
    ComplementBytes(arrContent);
    *pcbLength = static_cast<std::uint32_t>(arrContent.size());
    return S_OK;
}

HRESULT CQuarFileReader::DecodeContentTo(int fdTarget)
{
    try {
        // Left uninitialised, so that a small item touches only the pages it fills; first touching
        // a buffer as large as the item cost more than the copy itself.
        const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kContentBlockSize);
        std::uint64_t cbTotal = 0;
        for (;;) {
            std::size_t cbRead = 0;
            HRESULT hr = ReadContentBlock(block.get(), kContentBlockSize, &cbRead);
            if (FAILED(hr))
                return hr;
            cbTotal += cbRead;
            if (cbTotal > kContentLengthLimit)
                return E_FAIL;
            ComplementBytes(std::span(block.get(), cbRead));
            hr = WriteAll(fdTarget, block.get(), cbRead);
            if (FAILED(hr))
                return hr;
            if (cbRead < kContentBlockSize)
                return S_OK;
        }
    } catch (...) {
        return UTIL::ERR::ClassifyCurrentException().hr;
    }
}

namespace {

using UTIL::COM::ThrowIfFailed;

// Opens the quarantine file and reads its header; a content past the limit is refused before it
// is read or any target is made.
void OpenAtContent(CQuarFileReader& reader, const char* szSource)
{
    ThrowIfFailed(reader.Open(szSource, true));
    ThrowIfFailed(reader.ReadHeader());
    std::uint64_t cbContent = 0;
    ThrowIfFailed(reader.GetContentLength(&cbContent));
    if (cbContent > kContentLengthLimit)
        throw UTIL::COM::_com_error(E_FAIL);
}

} // namespace

HRESULT ExtractFile(const char* szSource, const char* szTarget) noexcept
{
    try {
        CQuarFileReader reader;
        OpenAtContent(reader, szSource);
        if (szTarget == nullptr)
            throw UTIL::COM::_com_error(HRESULT_FROM_WIN32(platform::ERROR_INVALID_PARAMETER));
        CAutoFileHandle target(::open(szTarget, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!target)
            throw UTIL::COM::_com_error(HResultFromErrno(errno));
        // An existing target is emptied, but only when it holds something: truncating an empty
        // file makes the file system flush the whole item to disk at close (it takes it for a
        // rewrite in place), which doubles the time of a large extraction.
        struct stat targetInfo
        {
        };
        if (::fstat(target.Get(), &targetInfo) != 0 || (targetInfo.st_size > 0 && ::ftruncate(target.Get(), 0) != 0))
            throw UTIL::COM::_com_error(HResultFromErrno(errno));
        ThrowIfFailed(reader.DecodeContentTo(target.Get()));
        // A failed close can mean lost data on some file systems: it fails the extraction too.
        if (::close(target.Release()) != 0)
            throw UTIL::COM::_com_error(HResultFromErrno(errno));
        return S_OK;
    } catch (...) {
        return UTIL::ERR::ClassifyCurrentException().hr;
    }
}

HRESULT ExtractFile(const char* szSource, int fdTarget) noexcept
{
    try {
        CQuarFileReader reader;
        OpenAtContent(reader, szSource);
        ThrowIfFailed(reader.DecodeContentTo(fdTarget));
        return S_OK;
    } catch (...) {
        return UTIL::ERR::ClassifyCurrentException().hr;
    }
}

} // namespace Vaultdump
