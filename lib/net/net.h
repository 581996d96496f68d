// The recognition network: nodes standing for dictionary entries (or null nodes that only join
// links), read from text or binary network files or from generated lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class dictClass;

// Scratch slots of the search per node: one per phone-and-state position.
constexpr int RECOMB_TABLE_SIZE = 150;

struct netNode {
    int32_t sylIndex = -1;  // entry of m_pronDict; -1 for a null node
    std::string name;       // dictionary key, or "!NULL"
    std::string text;       // the text the node stands for, empty when unknown
    std::vector<int32_t> links;     // direct successors in reading order
    std::vector<int32_t> nextNodes; // successors with null nodes skipped
    std::array<int32_t, RECOMB_TABLE_SIZE> recombTable{};
    float penalty = 0.0f;
};

class netClass {
public:
    // By extension: "net"/"NET" text lines, "netb"/"NETB" binary; anything else is fatal.
    void netRead(const std::string& path, dictClass& dict);
    // Builds the network from lines of the text form; `source` names them in error messages
    // (a file name, or empty for generated lines).
    void netReadLines(const std::vector<std::string>& netVs, dictClass& dict, const std::string& source = "");
    void netReadBinary(const std::string& path, dictClass& dict);
    void netWriteBinary(const std::string& path) const;
    // The text form to a file, or to standard output when the path is empty.
    void netPrint(const std::string& path) const;
    // nextNodes of a node: its successors, null nodes replaced by their own successors.
    void expandNextNodes(int node);
    // `penalty` for nodes named "filler", "fillerC" or "fillerV", 0 for the others.
    void setFillerPenalty(float penalty);
    int maxNextNodeNum() const;
    // The only node without incoming links / without outgoing links; fatal otherwise.
    int findStartNode() const;
    int findEndNode() const;

    // After loading, exactly the null nodes have no dictionary entry.
    bool isNullNode(int node) const { return m_nodes[static_cast<size_t>(node)].sylIndex < 0; }
    static bool isNullName(const std::string& name) { return name == "!NULL" || name == "!Null" || name == "!null"; }

    int32_t nodeNum = 0;
    int32_t linkNum = 0;
    std::vector<netNode> m_nodes;

private:
    struct expansionScratch;

    void clear();
    // The node lines and link lines of netReadLines, after the checks of the first lines.
    void parseLines(const std::vector<std::string>& netVs, dictClass& dict);
    // Checks every dictionary entry that a node uses and sets its negative model ids to 0, then
    // computes nextNodes for every node.
    void finishLoading(dictClass& dict);
    void expandInto(int node, expansionScratch& scratch);
    // What error messages call the network: its file, or "generated network".
    std::string sourceName() const;

    std::string m_source;
};
