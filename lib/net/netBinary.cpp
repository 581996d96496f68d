// The binary network file: int32 nodeNum, int32 linkNum, the sylIndex of nodes 2 and up, then the
// (start, end) pair of every link; all little-endian. Nodes 0 and 1 are the null start and end.
#include <string>

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
            netNode& node = m_nodes[i];
            if (i >= 2) {
                node.sylIndex = static_cast<int32_t>(readLe32(p + pos));
                pos += 4;
            }
            // The form keeps no names; a null node written past node 1 comes back as one.
            if (node.sylIndex == -1)
                node.name = "!NULL";
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
    if (m_nodes.size() < 2 || m_nodes[0].sylIndex >= 0 || m_nodes[1].sylIndex >= 0)
        fatalError("Error in writing network %s: nodes 0 and 1 must be null nodes", path.c_str());
    size_t links = 0;
    for (const netNode& node : m_nodes)
        links += node.links.size();
    if (m_nodes.size() > INT32_MAX || links > INT32_MAX)
        fatalError("Error in writing network %s: too large for the binary form", path.c_str());

    std::string out;
    out.reserve(8 + 4 * m_nodes.size() + 8 * links);
    appendLe32(out, static_cast<int32_t>(m_nodes.size()));
    appendLe32(out, static_cast<int32_t>(links));
    for (size_t i = 2; i < m_nodes.size(); ++i)
        appendLe32(out, m_nodes[i].sylIndex);
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        for (int32_t to : m_nodes[i].links) {
            appendLe32(out, static_cast<int32_t>(i));
            appendLe32(out, to);
        }
    }
    writeFileWhole(path, out);
}
