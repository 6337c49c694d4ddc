#include "AnswerSources.h"

#include "common/StringUtils.h"

#include <algorithm>
#include <functional>

namespace platform::browse {
namespace {

bool HasAddress(const BrowseTarget& target, const std::function<bool(const NetworkAddress&)>& matches)
{
    return std::any_of(target.addresses.begin(), target.addresses.end(), matches);
}

// Whether every instance the answer lists is of the host the target names: its whole name, or its
// first label ("SQLCLUSTER" for "sqlcluster.corp.example").
bool NamesOnlyTheHost(const BrowseTarget& target, const ResolutionAnswer& answer)
{
    const std::wstring_view host = target.strHost;
    const std::wstring_view firstLabel = host.substr(0, host.find(L'.'));
    return !answer.names.empty() &&
           std::all_of(answer.names.begin(), answer.names.end(), [host, firstLabel](const std::wstring& strName) {
               const std::wstring_view named = std::wstring_view(strName).substr(0, strName.find(L'\\'));
               return UTIL::STR::EqualsNoCase(named, host) || UTIL::STR::EqualsNoCase(named, firstLabel);
           });
}

} // namespace

std::optional<std::size_t> TargetOfAnswer(const std::vector<BrowseTarget>& targets,
                                          const CInterfaceAddresses& interfaces, const NetworkAddress& source,
                                          const ResolutionAnswer* pAnswer)
{
    // The address asked wins over this computer's other addresses, which win over the names an
    // answer gives, which win over broadcasts.
    const bool bFromThisComputer = interfaces.IsOwn(source);
    std::optional<std::size_t> thisComputer;
    std::optional<std::size_t> namedHost;
    std::optional<std::size_t> broadcast;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const BrowseTarget& target = targets[i];
        const auto askedAtThatPort = [&source, &target](const std::function<bool(const NetworkAddress&)>& matches) {
            return HasAddress(target, [&source, &matches](const NetworkAddress& address) {
                return address.Port() == source.Port() && matches(address);
            });
        };
        if (target.bBroadcast) {
            if (!broadcast && askedAtThatPort([](const NetworkAddress&) { return true; }))
                broadcast = i;
        } else if (askedAtThatPort([&source](const NetworkAddress& address) { return address.SameHost(source); })) {
            return i;
        } else if (!thisComputer && bFromThisComputer && askedAtThatPort([&interfaces](const NetworkAddress& address) {
                       return interfaces.IsOwn(address);
                   })) {
            thisComputer = i;
        } else if (!namedHost && pAnswer && target.bNamedByHost &&
                   askedAtThatPort([](const NetworkAddress&) { return true; }) && NamesOnlyTheHost(target, *pAnswer)) {
            namedHost = i;
        }
    }
    if (thisComputer)
        return thisComputer;
    return namedHost ? namedHost : broadcast;
}

} // namespace platform::browse
