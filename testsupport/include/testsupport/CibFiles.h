#pragma once
// Pacemaker cluster configurations for tests: the XML of a cluster information base (CIB) as
// Pacemaker's own tools accept it, written to files that Pacemaker's real tools read when the
// variable CIB_file names one. Nothing runs: with CIB_file the tools read the file alone.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using CibAttributes = std::vector<std::pair<std::string, std::string>>;

// A primitive of the resource agent "class:provider:type" (or "class:type"), with its instance
// attributes in one set.
std::string CibPrimitive(const std::string& strId, const std::string& strAgent, const CibAttributes& attributes = {});
// A group of the primitives given.
std::string CibGroup(const std::string& strId, const std::vector<std::string>& primitives);

struct CibCluster
{
    std::string strName; // the cluster-name property; none when empty
    std::vector<std::string> nodes;
    std::string strResources; // what the resources section holds
};

// The configuration section alone, as `cibadmin --query --scope configuration` prints it.
std::string CibConfiguration(const CibCluster& cluster);
// A whole CIB of the newest schema Debian 12's Pacemaker knows, fencing switched off (as a
// cluster without a fencing device must have it to be valid).
std::string CibDocument(const CibCluster& cluster);

// What `crm_verify --xml-file` says of the file: nothing when Pacemaker takes it for a valid
// configuration, else its exit status and output.
std::string CrmVerify(const std::filesystem::path& cib);

// The variables that make Pacemaker's tools read that file and take this computer for the node
// named (crm_node answers that name).
std::map<std::string, std::string> CibEnvironment(const std::filesystem::path& cib, const std::string& strLocalNode);

// Sets those variables in this process, and removes them when it goes.
class CScopedCibEnvironment
{
public:
    CScopedCibEnvironment(const std::filesystem::path& cib, const std::string& strLocalNode);
    ~CScopedCibEnvironment();
    CScopedCibEnvironment(const CScopedCibEnvironment&) = delete;
    CScopedCibEnvironment& operator=(const CScopedCibEnvironment&) = delete;
};

} // namespace testsupport
