#pragma once
// The file one item is extracted to. Its name is reserved first, as a new empty file of the
// folder; the item is written into an unnamed file of the same folder and takes the name only
// once it is whole. A run broken off at any moment, by SIGKILL too, therefore never leaves part of
// an item under a name: at most the empty reserved file, which SIGINT and SIGTERM remove as well,
// with an output whose line has not been printed yet.
// Where the file system has no unnamed files, the item is written into the reserved file itself,
// and only SIGINT and SIGTERM are covered.

#include "common/HResult.h"
#include "common/HandleOwners.h"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace Vaultdump {

class COutputFile
{
public:
    // Reserves a new EXTxxxx.tmp name in the folder; the HRESULT of the failure when no name can
    // be had (a full folder, one that cannot be written).
    static HRESULT Reserve(const std::string& strFolder, std::optional<COutputFile>& outputOut);

    COutputFile(COutputFile&& other) noexcept;
    COutputFile& operator=(COutputFile&&) = delete;
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;
    // A name that never received its item is removed. Until this object goes, its name is the one
    // a stop signal removes, published or not: the caller tells of a published output first.
    ~COutputFile();

    const std::filesystem::path& Path() const { return m_path; }
    // Where the item is written.
    int Descriptor() const { return m_item ? m_item.Get() : m_reserved.Get(); }

    // Gives the written item the reserved name, and closes it. Fails when another account has
    // put something of its own at the name meanwhile: that stays as it is.
    HRESULT Publish();

private:
    COutputFile(std::filesystem::path path, CAutoFileHandle reserved, CAutoFileHandle item);
    // Whether the name still stands for the file this object put there.
    bool HoldsOurFile() const;
    void NoteFileAtName(int fd);

    std::filesystem::path m_path;
    CAutoFileHandle m_reserved;
    CAutoFileHandle m_item; // the unnamed file, when the file system has them
    dev_t m_device = 0;     // the file at the name, as this object put it there
    ino_t m_inode = 0;
    bool m_bPublished = false;
    bool m_bPending = true; // its name is the one a stop signal removes
};

} // namespace Vaultdump
