// The binary network file: int32 nodeNum, int32 linkNum, the sylIndex of nodes 2 and up, then the
// (start, end) pair of every link; all little-endian. Nodes 0 and 1 are null nodes, normally the
// start and the end.
#include <cstdint>
#include <string>
#include <vector>

#include "common/byteOrder.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "lexicon/dict.h"
#include "net/net.h"

namespace {

void appendLe32(std::string& out, int32_t value)
{
    unsigned char b[4];
    writeLe32(b, static_cast<uint32_t>(value));
    out.append(reinterpret_cast<const char*>(b), sizeof b);
}

} // namespace

void netClass::netReadBinary(const std::string& path, dictClass& dict)
{
    std::string bytes;
    if (!readFileBytes(path, bytes)) {
        openFileOrDie(path, "rb");
        fatalError("Error in network (%s): the file can't be read", path.c_str());
    }
    clear();
    m_source = path;
    try {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const int64_t size = static_cast<int64_t>(bytes.size());
        if (size < 8)
            fatalError("Error in network (%s): %lld bytes, too short for the counts", path.c_str(),
                       static_cast<long long>(size));
        const int32_t n = static_cast<int32_t>(readLe32(p));
        const int32_t l = static_cast<int32_t>(readLe32(p + 4));
        if (n < 2 || l < 0)
            fatalError("Error in network (%s): bad counts nodeNum=%d linkNum=%d", path.c_str(), n, l);
        const int64_t need = 8 + 4 * (int64_t{n} - 2) + 8 * int64_t{l};
        if (size < need)
            fatalError("Error in network (%s): the file ends after %lld of its %lld bytes", path.c_str(),
                       static_cast<long long>(size), static_cast<long long>(need));
        nodeNum = n;
        linkNum = l;
        m_nodes.resize(static_cast<size_t>(n));
        size_t pos = 8;
        for (size_t i = 0; i < m_nodes.size(); ++i) {
            // The form keeps no names or texts: nodes 0 and 1 are the null nodes "!NULL", every
            // later node (a null one too) has only its sylIndex.
            netNode& node = m_nodes[i];
            if (i < 2) {
                node.name = "!NULL";
            } else {
                node.sylIndex = static_cast<int32_t>(readLe32(p + pos));
                pos += 4;
            }
        }
        for (int32_t j = 0; j < l; ++j, pos += 8) {
            const int32_t from = static_cast<int32_t>(readLe32(p + pos));
            const int32_t to = static_cast<int32_t>(readLe32(p + pos + 4));
            if (from < 0 || from >= n || to < 0 || to >= n)
                fatalError("Error in network (%s): link %d (%d -> %d) leaves the %d nodes", path.c_str(), j,
                           from, to, n);
            m_nodes[static_cast<size_t>(from)].links.push_back(to);
        }
        finishLoading(dict);
    } catch (...) {
        clear();
        throw;
    }
}

void netClass::netWriteBinary(const std::string& path) const
{
    // The form has no place for what nodes 0 and 1 are: they always read back as null nodes. A
    // network whose node 0 or 1 is a word node is written with two null nodes put in front of it
    // (every node index grows by 2), chained before its start node: 0 -> 1 -> start. Entering the
    // start through null nodes seeds the search exactly as starting in it does, every other node
    // keeps its successors, and the end node stays the end node.
    const bool asHeld = m_nodes.size() >= 2 && m_nodes[0].sylIndex < 0 && m_nodes[1].sylIndex < 0;
    const size_t shift = asHeld ? 0 : 2;
    const size_t nodes = m_nodes.size() + shift;
    size_t links = shift;
    for (const netNode& node : m_nodes)
        links += node.links.size();
    if (nodes > INT32_MAX || links > INT32_MAX)
        fatalError("Error in writing network %s: too large for the binary form", path.c_str());

    // Where the added chain 0 -> 1 leads. Normally the start node. A network without one start
    // node can't be searched and must stay so: with several the chain goes before the first (the
    // others remain starts); with none it is spliced into the first link (A -> 0 -> 1 -> B), so
    // that no node of the file is left without an incoming link. An empty network gets two
    // unlinked null nodes, unsearchable alike.
    int64_t chainTo = -1;
    size_t spliceFrom = SIZE_MAX;
    if (!asHeld) {
        std::vector<char> entered(m_nodes.size(), 0);
        for (const netNode& node : m_nodes)
            for (int32_t to : node.links)
                if (to >= 0 && static_cast<size_t>(to) < entered.size())
                    entered[static_cast<size_t>(to)] = 1;
        for (size_t i = 0; i < m_nodes.size() && chainTo < 0; ++i)
            if (!entered[i])
                chainTo = static_cast<int64_t>(i);
        for (size_t i = 0; i < m_nodes.size() && chainTo < 0; ++i) {
            if (!m_nodes[i].links.empty()) {
                spliceFrom = i;
                chainTo = m_nodes[i].links[0];
            }
        }
        if (chainTo < 0)
            links = 0;
    }
    auto fileIndex = [&](int64_t node) { return static_cast<int32_t>(node + static_cast<int64_t>(shift)); };

    std::string out;
    out.reserve(8 + 4 * nodes + 8 * links);
    appendLe32(out, static_cast<int32_t>(nodes));
    appendLe32(out, static_cast<int32_t>(links));
    for (size_t i = asHeld ? 2 : 0; i < m_nodes.size(); ++i)
        appendLe32(out, m_nodes[i].sylIndex);
    auto appendLink = [&](int32_t from, int32_t to) {
        appendLe32(out, from);
        appendLe32(out, to);
    };
    if (!asHeld && chainTo >= 0) {
        appendLink(0, 1);
        appendLink(1, fileIndex(chainTo));
    }
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const std::vector<int32_t>& next = m_nodes[i].links;
        for (size_t k = 0; k < next.size(); ++k)
            appendLink(fileIndex(static_cast<int64_t>(i)), i == spliceFrom && k == 0 ? 0 : fileIndex(next[k]));
    }
    writeFileWhole(path, out);
}
