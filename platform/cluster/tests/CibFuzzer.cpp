// Feeds arbitrary bytes to the CIB parser as cibadmin's answer, and makes the cluster's contents of
// what it read.

#include "Cib.h"
#include "CibContents.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const platform::cluster::CibParse parse =
        platform::cluster::ParseCib(std::string_view(reinterpret_cast<const char*>(pData), cbData));
    if (parse.cib)
        platform::cluster::ContentsOfCib(*parse.cib);
    return 0;
}
