// The extra link families of a generated network: stopping early, starting late, jumping ahead
// and skipping the framing silences.
//
// Every "unless that link exists" check looks at one fixed end (node 2, node 3 or the node a
// jump leaves from), so a mark per node, filled from the link list once per family, answers it
// exactly. Links a family adds never repeat within that family, which keeps the marks current
// without updating them.
#include <cstdint>
#include <vector>

#include "common/fatalError.h"
#include "lexicon/netGraph.h"

namespace {

constexpr int32_t START_NODE = 0;
constexpr int32_t END_NODE = 1;
constexpr int32_t LEADING_SIL = 2;
constexpr int32_t TRAILING_SIL = 3;
constexpr int32_t FIRST_CONTENT = 4;
constexpr size_t MIN_NODES = 5;

int32_t nodeCount(const netGraph& graph)
{
    return static_cast<int32_t>(graph.nodes.size());
}

bool inRange(const netGraph& graph, int32_t node)
{
    return node >= 0 && node < nodeCount(graph);
}

// A node of the text itself: past the framing silences and neither a null node nor a pause.
bool isContent(const netGraph& graph, int32_t node)
{
    if (node < FIRST_CONTENT || !inRange(graph, node))
        return false;
    const std::string& name = graph.nodes[static_cast<size_t>(node)].name;
    return name != "!NULL" && name != "sil" && name != "sp";
}

// marks[i] set when the link i → to exists.
std::vector<char> sourcesOf(const netGraph& graph, int32_t to)
{
    std::vector<char> marks(graph.nodes.size(), 0);
    for (const auto& [from, target] : graph.links)
        if (target == to && inRange(graph, from))
            marks[static_cast<size_t>(from)] = 1;
    return marks;
}

// marks[i] set when the link from → i exists.
std::vector<char> targetsOf(const netGraph& graph, int32_t from)
{
    std::vector<char> marks(graph.nodes.size(), 0);
    for (const auto& [source, to] : graph.links)
        if (source == from && inRange(graph, to))
            marks[static_cast<size_t>(to)] = 1;
    return marks;
}

} // namespace

void checkLinkBudget(const netGraph& graph, size_t extra, const char* what)
{
    if (extra > MAX_NET_LINKS || graph.links.size() > MAX_NET_LINKS - extra)
        fatalError("Error: The network of %zu nodes would get %zu more links for %s; a network may have at most %zu "
                   "links.",
                   graph.nodes.size(), extra, what, MAX_NET_LINKS);
}

void addLink4stopAnywhere(netGraph& graph)
{
    if (graph.nodes.size() < MIN_NODES)
        return;
    const std::vector<char> linked = sourcesOf(graph, TRAILING_SIL);
    for (int32_t i = FIRST_CONTENT; i < nodeCount(graph); ++i)
        if (isContent(graph, i) && !linked[static_cast<size_t>(i)])
            graph.addLink(i, TRAILING_SIL);
}

void addLink4startAnywhere(netGraph& graph)
{
    if (graph.nodes.size() < MIN_NODES)
        return;
    const std::vector<char> linked = targetsOf(graph, LEADING_SIL);
    for (int32_t i = FIRST_CONTENT; i < nodeCount(graph); ++i)
        if (isContent(graph, i) && !linked[static_cast<size_t>(i)])
            graph.addLink(LEADING_SIL, i);
}

void addLink4forwardJump(netGraph& graph)
{
    if (graph.nodes.size() < MIN_NODES)
        return;
    const int32_t n = nodeCount(graph);
    // Existing targets of every node a jump may leave from.
    std::vector<std::vector<int32_t>> targets(graph.nodes.size());
    for (const auto& [from, to] : graph.links)
        if (from >= FIRST_CONTENT && inRange(graph, from) && inRange(graph, to))
            targets[static_cast<size_t>(from)].push_back(to);

    size_t added = 0;
    for (int32_t i = FIRST_CONTENT; i < n; ++i)
        added += static_cast<size_t>(n - 1 - i);
    checkLinkBudget(graph, added,
                    "forward jumps (one from every node to every later node); leave addLink4forwardJump at 0 for "
                    "texts this long");
    graph.links.reserve(graph.links.size() + added);

    std::vector<char> linked(graph.nodes.size(), 0);
    for (int32_t i = FIRST_CONTENT; i < n; ++i) {
        if (graph.nodes[static_cast<size_t>(i)].name == "!NULL")
            continue;
        const std::vector<int32_t>& existing = targets[static_cast<size_t>(i)];
        for (int32_t to : existing)
            linked[static_cast<size_t>(to)] = 1;
        for (int32_t j = i + 1; j < n; ++j)
            if (!linked[static_cast<size_t>(j)])
                graph.addLink(i, j);
        for (int32_t to : existing)
            linked[static_cast<size_t>(to)] = 0;
    }
}

void addLink4skippableTrailingSil(netGraph& graph)
{
    if (graph.nodes.size() < MIN_NODES)
        return;
    const std::vector<char> linked = sourcesOf(graph, TRAILING_SIL);
    for (int32_t i = FIRST_CONTENT; i < nodeCount(graph); ++i)
        if (isContent(graph, i) && linked[static_cast<size_t>(i)])
            graph.addLink(i, END_NODE);
}

void addLink4skippableLeadingSil(netGraph& graph)
{
    if (graph.nodes.size() < MIN_NODES)
        return;
    const std::vector<char> linked = targetsOf(graph, LEADING_SIL);
    for (int32_t i = FIRST_CONTENT; i < nodeCount(graph); ++i)
        if (isContent(graph, i) && linked[static_cast<size_t>(i)])
            graph.addLink(START_NODE, i);
}
