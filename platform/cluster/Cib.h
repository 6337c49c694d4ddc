#pragma once
// What the cluster objects are made of, read from Pacemaker's cluster information base (CIB): the
// configuration section that `cibadmin --query --scope configuration` prints.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::cluster {

struct CibPrimitive
{
    std::string strId;
    std::string strClass;    // "ocf", "systemd", "stonith", ...
    std::string strProvider; // only the ocf class has one
    std::string strType;
    // The instance attributes that hold on every node at every time, each name once, with the
    // value Pacemaker gives the resource.
    std::vector<std::pair<std::string, std::string>> instanceAttributes;
};

// Resources placed together: a group, or a primitive that stands alone.
struct CibGroup
{
    std::string strId;
    std::vector<CibPrimitive> primitives;
};

struct Cib
{
    std::optional<std::string> clusterName; // the cluster-name property, when set
    std::vector<std::string> nodes;         // the nodes' names (uname)
    // In the order of the configuration: each <group> (also inside a clone); each primitive
    // outside a group (alone, in a clone or in a bundle) as a group of its own, named by its id.
    std::vector<CibGroup> groups;
};

struct CibParse
{
    std::optional<Cib> cib;
    std::string strError; // why there is none
};

// Parses a <configuration> element with libxml2: no network, no document type declaration (so no
// entity is ever expanded), no repair of malformed XML. One that lacks <crm_config>, <nodes> or
// <resources>, which Pacemaker's schemas require, is an error. Time and memory are linear in
// the length of the text.
CibParse ParseCib(std::string_view xml);

} // namespace platform::cluster
