#pragma once
// The names a browse collects: each once, in the order of their code units, whatever source
// found them, and none holding a control character; and the list file they end up in.

#include <cstdio>
#include <set>
#include <string>

namespace Keeplibs {

class CServerNameSet
{
public:
    // Adds the name; one that is already there is traced and left as it is, one that holds a
    // control character traced and left out.
    void Insert(const std::wstring& strName);
    // Writes each name on a line of its own, as UTF-8; false when the file could not take them.
    bool WriteTo(std::FILE* pFile) const;

private:
    std::set<std::wstring> m_names;
};

} // namespace Keeplibs
