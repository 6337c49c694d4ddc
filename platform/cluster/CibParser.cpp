#include "Cib.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace platform::cluster {
namespace {

struct XmlDocumentFree
{
    void operator()(xmlDoc* pDocument) const { xmlFreeDoc(pDocument); }
};

struct XmlParserFree
{
    void operator()(xmlParserCtxt* pParser) const { xmlFreeParserCtxt(pParser); }
};

bool IsElement(const xmlNode* pNode, std::string_view name)
{
    return pNode->type == XML_ELEMENT_NODE && reinterpret_cast<const char*>(pNode->name) == name;
}

// The value of an attribute outside any namespace. It is plain text: a document without a type
// declaration has no entity that could stand in it.
std::optional<std::string> Attribute(const xmlNode* pElement, std::string_view name)
{
    for (const xmlAttr* pAttribute = pElement->properties; pAttribute; pAttribute = pAttribute->next) {
        if (pAttribute->ns || reinterpret_cast<const char*>(pAttribute->name) != name)
            continue;
        std::string value;
        for (const xmlNode* pText = pAttribute->children; pText; pText = pText->next) {
            if (pText->content)
                value += reinterpret_cast<const char*>(pText->content);
        }
        return value;
    }
    return std::nullopt;
}

std::string AttributeOrEmpty(const xmlNode* pElement, std::string_view name)
{
    return Attribute(pElement, name).value_or(std::string());
}

const xmlNode* FirstChild(const xmlNode* pParent, std::string_view name)
{
    for (const xmlNode* pChild = pParent->children; pChild; pChild = pChild->next) {
        if (IsElement(pChild, name))
            return pChild;
    }
    return nullptr;
}

// A score as Pacemaker reads one: INFINITY is a million, and no score is larger.
long long ScoreOf(const xmlNode* pElement)
{
    constexpr long long kInfinity = 1'000'000;
    const std::string strScore = AttributeOrEmpty(pElement, "score");
    if (strScore == "INFINITY" || strScore == "+INFINITY")
        return kInfinity;
    if (strScore == "-INFINITY")
        return -kInfinity;
    return std::clamp(std::strtoll(strScore.c_str(), nullptr, 10), -kInfinity, kInfinity);
}

// Name-value pairs gathered from sets in the order Pacemaker applies them: the first value of a
// name is the one that holds.
class CPairs
{
public:
    void Add(std::string strName, std::string strValue)
    {
        if (m_names.insert(strName).second)
            m_pairs.emplace_back(std::move(strName), std::move(strValue));
    }
    std::vector<std::pair<std::string, std::string>> Take() { return std::move(m_pairs); }

private:
    std::unordered_set<std::string> m_names;
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

class CConfigurationReader
{
public:
    explicit CConfigurationReader(const xmlNode* pConfiguration) { IndexIds(pConfiguration); }

    Cib Read(const xmlNode* pCrmConfig, const xmlNode* pNodes, const xmlNode* pResources) const
    {
        Cib cib;
        cib.clusterName = ClusterName(pCrmConfig);
        for (const xmlNode* pNode = pNodes->children; pNode; pNode = pNode->next) {
            if (IsElement(pNode, "node"))
                cib.nodes.push_back(AttributeOrEmpty(pNode, "uname"));
        }
        for (const xmlNode* pResource = pResources->children; pResource; pResource = pResource->next) {
            if (IsElement(pResource, "clone") || IsElement(pResource, "master") || IsElement(pResource, "bundle")) {
                for (const xmlNode* pInside = pResource->children; pInside; pInside = pInside->next)
                    AddGroup(pInside, cib.groups);
            } else {
                AddGroup(pResource, cib.groups);
            }
        }
        return cib;
    }

private:
    // Every element with an id, for the references (id-ref) to sets and pairs.
    void IndexIds(const xmlNode* pRoot)
    {
        std::vector<const xmlNode*> pending{pRoot};
        while (!pending.empty()) {
            const xmlNode* pNode = pending.back();
            pending.pop_back();
            if (std::optional<std::string> id = Attribute(pNode, "id"))
                m_ids.emplace(std::move(*id), pNode);
            for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next) {
                if (pChild->type == XML_ELEMENT_NODE)
                    pending.push_back(pChild);
            }
        }
    }

    const xmlNode* Referenced(const xmlNode* pElement, std::string_view name) const
    {
        const std::optional<std::string> ref = Attribute(pElement, "id-ref");
        if (!ref)
            return nullptr;
        const auto found = m_ids.find(*ref);
        return found != m_ids.end() && IsElement(found->second, name) ? found->second : nullptr;
    }

    // The sets of one kind directly below an element, in the order Pacemaker applies them: the set
    // named strFirstId first, then higher scores first, document order among equals. A reference
    // stands for the set it names; a set with a rule holds only on some nodes or at some times,
    // and is left out.
    std::vector<const xmlNode*> SetsInOrder(const xmlNode* pParent, std::string_view kind,
                                            std::string_view strFirstId = {}) const
    {
        struct Ranked
        {
            bool bFirst;
            long long llScore;
            const xmlNode* pSet;
        };
        std::vector<Ranked> ranked;
        for (const xmlNode* pSet = pParent->children; pSet; pSet = pSet->next) {
            if (IsElement(pSet, kind))
                ranked.push_back(
                    {!strFirstId.empty() && AttributeOrEmpty(pSet, "id") == strFirstId, ScoreOf(pSet), pSet});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            return a.bFirst != b.bFirst ? a.bFirst : a.llScore > b.llScore;
        });
        std::vector<const xmlNode*> sets;
        for (const Ranked& set : ranked) {
            const xmlNode* pSet = Attribute(set.pSet, "id-ref") ? Referenced(set.pSet, kind) : set.pSet;
            if (pSet && !FirstChild(pSet, "rule"))
                sets.push_back(pSet);
        }
        return sets;
    }

    // A pair takes what it lacks of its name and value from the pair it refers to; one left
    // without either sets nothing.
    void AddPairsOf(const xmlNode* pSet, CPairs& pairs) const
    {
        for (const xmlNode* pPair = pSet->children; pPair; pPair = pPair->next) {
            if (!IsElement(pPair, "nvpair"))
                continue;
            const xmlNode* pReferenced = Referenced(pPair, "nvpair");
            std::optional<std::string> name = Attribute(pPair, "name");
            std::optional<std::string> value = Attribute(pPair, "value");
            if (!name && pReferenced)
                name = Attribute(pReferenced, "name");
            if (!value && pReferenced)
                value = Attribute(pReferenced, "value");
            if (name && value)
                pairs.Add(std::move(*name), std::move(*value));
        }
    }

    std::optional<std::string> ClusterName(const xmlNode* pCrmConfig) const
    {
        CPairs properties;
        for (const xmlNode* pSet : SetsInOrder(pCrmConfig, "cluster_property_set", "cib-bootstrap-options"))
            AddPairsOf(pSet, properties);
        for (auto& [strName, strValue] : properties.Take()) {
            if (strName == "cluster-name")
                return std::move(strValue);
        }
        return std::nullopt;
    }

    // A primitive made from a template takes the class, provider and type it does not name from
    // the template, and the template's attributes after its own.
    CibPrimitive Primitive(const xmlNode* pPrimitive) const
    {
        const xmlNode* pTemplate = nullptr;
        if (const std::optional<std::string> strTemplate = Attribute(pPrimitive, "template")) {
            const auto found = m_ids.find(*strTemplate);
            if (found != m_ids.end() && IsElement(found->second, "template"))
                pTemplate = found->second;
        }
        const auto agentPart = [&](std::string_view name) {
            std::optional<std::string> value = Attribute(pPrimitive, name);
            if (!value && pTemplate)
                value = Attribute(pTemplate, name);
            return value.value_or(std::string());
        };
        CPairs attributes;
        for (const xmlNode* pDefinition : {pPrimitive, pTemplate}) {
            if (!pDefinition)
                continue;
            for (const xmlNode* pSet : SetsInOrder(pDefinition, "instance_attributes"))
                AddPairsOf(pSet, attributes);
        }
        return {AttributeOrEmpty(pPrimitive, "id"), agentPart("class"), agentPart("provider"), agentPart("type"),
                attributes.Take()};
    }

    void AddGroup(const xmlNode* pElement, std::vector<CibGroup>& groups) const
    {
        if (IsElement(pElement, "primitive")) {
            CibPrimitive primitive = Primitive(pElement);
            std::string strId = primitive.strId;
            groups.push_back({std::move(strId), {std::move(primitive)}});
        } else if (IsElement(pElement, "group")) {
            CibGroup group{AttributeOrEmpty(pElement, "id"), {}};
            for (const xmlNode* pMember = pElement->children; pMember; pMember = pMember->next) {
                if (IsElement(pMember, "primitive"))
                    group.primitives.push_back(Primitive(pMember));
            }
            groups.push_back(std::move(group));
        }
    }

    std::unordered_map<std::string, const xmlNode*> m_ids;
};

CibParse Failure(std::string strError)
{
    return {std::nullopt, std::move(strError)};
}

} // namespace

CibParse ParseCib(std::string_view xml)
{
    // libxml2 sets up its globals once, before any thread may parse.
    static const bool bParserReady = (xmlInitParser(), true);
    static_cast<void>(bParserReady);

    if (xml.empty())
        return Failure("the CIB is empty");
    if (xml.size() > static_cast<std::size_t>(INT_MAX))
        return Failure("the CIB is too long");
    // A parser of its own: its error is this document's, never one an earlier parse left behind.
    const std::unique_ptr<xmlParserCtxt, XmlParserFree> pParser(xmlNewParserCtxt());
    if (!pParser)
        throw std::bad_alloc();
    const std::unique_ptr<xmlDoc, XmlDocumentFree> pDocument(
        xmlCtxtReadMemory(pParser.get(), xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!pDocument) {
        const xmlError* pError = xmlCtxtGetLastError(pParser.get());
        std::string strMessage = pError && pError->message ? pError->message : "";
        while (!strMessage.empty() && (strMessage.back() == '\n' || strMessage.back() == ' '))
            strMessage.pop_back();
        return Failure("the CIB is not well-formed XML: " + strMessage);
    }
    if (pDocument->intSubset || pDocument->extSubset)
        return Failure("the CIB has a document type declaration");
    const xmlNode* pConfiguration = xmlDocGetRootElement(pDocument.get());
    if (!pConfiguration || !IsElement(pConfiguration, "configuration"))
        return Failure("the CIB's root is not <configuration>");
    const xmlNode* pCrmConfig = FirstChild(pConfiguration, "crm_config");
    const xmlNode* pNodes = FirstChild(pConfiguration, "nodes");
    const xmlNode* pResources = FirstChild(pConfiguration, "resources");
    if (!pCrmConfig || !pNodes || !pResources)
        return Failure("the CIB lacks crm_config, nodes or resources");
    return {CConfigurationReader(pConfiguration).Read(pCrmConfig, pNodes, pResources), {}};
}

} // namespace platform::cluster
