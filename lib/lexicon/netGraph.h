// A recognition network under construction: named nodes and links, turned into the lines of the
// network text form.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct netGraphNode {
    std::string name; // a unit, "sil", "fillerC", "fillerV" or "!NULL"
    std::string pa;   // sausage nodes: the word the node pronounces
};

// Nodes 0 and 1 are the start and end null nodes; with framing silences node 2 is the leading
// and node 3 the trailing "sil", and content nodes begin at 4.
struct netGraph {
    std::vector<netGraphNode> nodes;
    std::vector<std::pair<int32_t, int32_t>> links; // (from, to) in creation order

    int32_t addNode(const std::string& name, const std::string& pa = "");
    void addLink(int32_t from, int32_t to) { links.emplace_back(from, to); }
};

// Most nodes a generated network may have: with its links, each takes about 1.1 kB until the
// search ends.
constexpr size_t MAX_NET_NODES = 400000;

// Most links a generated network may have: each costs about 100 bytes until the search ends, and
// forward jumps and sausage columns grow with the square of the nodes they join.
constexpr size_t MAX_NET_LINKS = 3000000;

// Ends the run when `extra` more links would take the graph past MAX_NET_LINKS; `what` says
// which links, and what to do instead.
void checkLinkBudget(const netGraph& graph, size_t extra, const char* what);

// The extra link families (each a no-op with fewer than 5 nodes).
void addLink4stopAnywhere(netGraph& graph);
void addLink4startAnywhere(netGraph& graph);
void addLink4forwardJump(netGraph& graph);
void addLink4skippableTrailingSil(netGraph& graph);
void addLink4skippableLeadingSil(netGraph& graph);

// "VERSION=1.0", "N=%d\tL=%d", the node lines "I=%d\tW=%s@-1@%s" and the link lines.
std::vector<std::string> netLinesFromGraph(const netGraph& graph);
