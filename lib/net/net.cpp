#include "net/net.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "model/fillers.h"

namespace {

const char* const UNIT = "lib\\net";

// Link examinations allowed for expanding null nodes during one load (or one expandNextNodes
// call). Paths through null nodes can multiply; this bounds the time and the size of nextNodes.
constexpr int64_t MAX_EXPANSION_STEPS = int64_t{1} << 26;

// Cursor over one line that reads the items of a scanf format: literals match exactly, a blank
// matches any run of white space, numbers and words skip white space first.
class lineScanner {
public:
    explicit lineScanner(const std::string& line) : m_p(line.data()), m_end(line.data() + line.size()) {}

    bool literal(std::string_view s)
    {
        if (static_cast<size_t>(m_end - m_p) < s.size() || std::string_view(m_p, s.size()) != s)
            return false;
        m_p += s.size();
        return true;
    }

    void blank()
    {
        while (m_p < m_end && isBlank(*m_p))
            ++m_p;
    }

    // A blank of the format followed by a literal.
    bool blankLiteral(std::string_view s)
    {
        blank();
        return literal(s);
    }

    // "%d": an optional sign and at least one digit; the value saturates far outside int32.
    bool integer(int64_t& value)
    {
        blank();
        bool negative = false;
        if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
            negative = *m_p++ == '-';
        if (m_p == m_end || *m_p < '0' || *m_p > '9')
            return false;
        value = 0;
        for (; m_p < m_end && *m_p >= '0' && *m_p <= '9'; ++m_p)
            value = std::min<int64_t>(value * 10 + (*m_p - '0'), int64_t{1} << 40);
        if (negative)
            value = -value;
        return true;
    }

    // "%s": at least one character that isn't white space.
    bool word()
    {
        blank();
        const char* start = m_p;
        while (m_p < m_end && !isBlank(*m_p))
            ++m_p;
        return m_p != start;
    }

    std::string_view rest() const { return std::string_view(m_p, static_cast<size_t>(m_end - m_p)); }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

    const char* m_p;
    const char* m_end;
};

void appendInt(std::string& out, int64_t value)
{
    char buf[24];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

} // namespace

struct netClass::expansionScratch {
    std::vector<char> onChain; // null nodes being expanded, from the root down
    std::vector<std::pair<int32_t, size_t>> stack; // node, index of its next link
    int64_t budget = MAX_EXPANSION_STEPS;
};

void netClass::clear()
{
    nodeNum = 0;
    linkNum = 0;
    m_nodes.clear();
    m_source.clear();
}

std::string netClass::sourceName() const
{
    return m_source.empty() ? std::string("generated network") : m_source;
}

void netClass::netRead(const std::string& path, dictClass& dict)
{
    const std::string ext = fileExtension(path);
    if (ext == "netb" || ext == "NETB") {
        netReadBinary(path, dict);
    } else if (ext == "net" || ext == "NET") {
        std::vector<std::string> lines;
        readTextLines(path, lines, 0);
        netReadLines(lines, dict, path);
    } else {
        fatalError("Error in reading %s: The only allowed extension are \"net\" and \"netb\".  (line %d of file %s)\n",
                   path.c_str(), 32, UNIT);
    }
}

void netClass::netReadLines(const std::vector<std::string>& netVs, dictClass& dict, const std::string& source)
{
    if (netVs.empty())
        fatalError("Error: netVs.size()==0! (line %d of file %s)", 113, UNIT);
    if (dict.m_pronDict.empty())
        fatalError("Error: myDict.m_pronDict.size()==0! (line %d of file %s)", 118, UNIT);
    clear();
    m_source = source;
    try {
        parseLines(netVs, dict);
        finishLoading(dict);
    } catch (...) {
        clear();
        throw;
    }
}

void netClass::parseLines(const std::vector<std::string>& netVs, dictClass& dict)
{
    const std::string src = sourceName();
    int64_t n = 0;
    int64_t l = 0;
    if (netVs.size() < 2)
        fatalError("Error in network (%s): no \"N= L=\" line", src.c_str());
    lineScanner counts(netVs[1]);
    if (!counts.literal("N=") || !counts.integer(n) || !counts.blankLiteral("L=") || !counts.integer(l))
        fatalError("Error in network (%s), line 2: expected \"N=<nodes> L=<links>\"", src.c_str());
    if (n < 0 || l < 0 || n > INT32_MAX || l > INT32_MAX)
        fatalError("Error in network (%s), line 2: bad counts N=%lld L=%lld", src.c_str(),
                   static_cast<long long>(n), static_cast<long long>(l));
    if (static_cast<int64_t>(netVs.size()) < 2 + n + l)
        fatalError("Error in network (%s): %zu lines, but N=%lld and L=%lld need %lld", src.c_str(),
                   netVs.size(), static_cast<long long>(n), static_cast<long long>(l),
                   static_cast<long long>(2 + n + l));
    nodeNum = static_cast<int32_t>(n);
    linkNum = static_cast<int32_t>(l);
    m_nodes.resize(static_cast<size_t>(n));

    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const size_t lineIndex = 2 + i;
        lineScanner scan(netVs[lineIndex]);
        int64_t index = 0;
        if (!scan.literal("I=") || !scan.integer(index) || !scan.blankLiteral("W="))
            fatalError("Error in network (%s), line %zu: expected a node line \"I=<index> W=<node>\"",
                       src.c_str(), lineIndex + 1);
        std::string_view w = scan.rest();
        while (!w.empty() && (w.back() == ' ' || w.back() == '\t' || w.back() == '\r' || w.back() == '\n'))
            w.remove_suffix(1);

        // Fields split at "@": name, sylIndex, then the text (which may hold "@" itself).
        netNode& node = m_nodes[i];
        const size_t at1 = w.find('@');
        node.name = std::string(w.substr(0, at1));
        node.sylIndex = -1;
        node.text.clear();
        if (isNullName(node.name))
            continue;
        if (at1 != std::string_view::npos) {
            const size_t at2 = w.find('@', at1 + 1);
            node.sylIndex = parseLeadingInt(std::string(w.substr(at1 + 1, at2 - (at1 + 1))));
            if (at2 != std::string_view::npos)
                node.text = std::string(w.substr(at2 + 1));
        }
        if (node.sylIndex == -1) {
            node.sylIndex = dict.pronDictSearch(node.name);
            if (node.sylIndex == -1)
                fatalError("Error: \"%s\" (nodeIndex=%d) not found in the pronunciation dictionary. (line %d of file "
                           "%s)\n",
                           node.name.c_str(), static_cast<int>(i), 166, UNIT);
        }
    }

    for (size_t j = 0; j < static_cast<size_t>(l); ++j) {
        const size_t lineIndex = 2 + static_cast<size_t>(n) + j;
        lineScanner scan(netVs[lineIndex]);
        int64_t from = 0;
        int64_t to = 0;
        if (!scan.word() || !scan.blankLiteral("S=") || !scan.integer(from) ||
            !scan.blankLiteral("E=") || !scan.integer(to))
            fatalError("Error in network (%s), line %zu: expected a link line \"J=<index> S=<from> E=<to>\"",
                       src.c_str(), lineIndex + 1);
        if (from < 0 || from >= n || to < 0 || to >= n)
            fatalError("Error in network (%s), line %zu: link %lld -> %lld leaves the %lld nodes", src.c_str(),
                       lineIndex + 1, static_cast<long long>(from), static_cast<long long>(to),
                       static_cast<long long>(n));
        m_nodes[static_cast<size_t>(from)].links.push_back(static_cast<int32_t>(to));
    }
}

void netClass::finishLoading(dictClass& dict)
{
    // The entries first, so that during the expansion exactly the nodes with sylIndex -1 are null.
    const size_t dictSize = dict.m_pronDict.size();
    for (const netNode& node : m_nodes) {
        if (node.sylIndex == -1)
            continue;
        if (node.sylIndex < 0 || static_cast<size_t>(node.sylIndex) >= dictSize)
            fatalError("Error: sylIndex (%d) out of the range of [0, %d]! (line %d of file %s)\n", node.sylIndex,
                       static_cast<int>(dictSize), 221, UNIT);
        for (int32_t& id : dict.m_pronDict[static_cast<size_t>(node.sylIndex)].modelIds) {
            if (id < 0)
                id = 0;
        }
    }
    expansionScratch scratch;
    scratch.onChain.assign(m_nodes.size(), 0);
    for (size_t i = 0; i < m_nodes.size(); ++i)
        expandInto(static_cast<int>(i), scratch);
}

void netClass::expandNextNodes(int node)
{
    if (node < 0 || static_cast<size_t>(node) >= m_nodes.size())
        fatalError("Error in network (%s): no node %d to expand", sourceName().c_str(), node);
    expansionScratch scratch;
    scratch.onChain.assign(m_nodes.size(), 0);
    expandInto(node, scratch);
}

void netClass::expandInto(int node, expansionScratch& scratch)
{
    const size_t size = m_nodes.size();
    std::vector<int32_t>& out = m_nodes[static_cast<size_t>(node)].nextNodes;
    out.clear();
    auto& stack = scratch.stack;
    stack.clear();
    stack.emplace_back(node, 0);
    scratch.onChain[static_cast<size_t>(node)] = 1;
    while (!stack.empty()) {
        const int32_t current = stack.back().first;
        const std::vector<int32_t>& links = m_nodes[static_cast<size_t>(current)].links;
        const size_t k = stack.back().second++;
        if (k >= links.size()) {
            scratch.onChain[static_cast<size_t>(current)] = 0;
            stack.pop_back();
            continue;
        }
        const int32_t next = links[k];
        if (--scratch.budget < 0)
            fatalError("Error in network (%s): expanding the null nodes after node %d takes more than %lld steps",
                       sourceName().c_str(), node, static_cast<long long>(MAX_EXPANSION_STEPS));
        if (next < 0 || static_cast<size_t>(next) >= size)
            fatalError("Error in network (%s): node %d links to node %d, which does not exist", sourceName().c_str(),
                       current, next);
        if (m_nodes[static_cast<size_t>(next)].sylIndex >= 0) {
            out.push_back(next);
            continue;
        }
        if (scratch.onChain[static_cast<size_t>(next)])
            fatalError("Error in network (%s): null nodes link in a cycle through node %d", sourceName().c_str(), next);
        scratch.onChain[static_cast<size_t>(next)] = 1;
        stack.emplace_back(next, 0);
    }
}

void netClass::netPrint(const std::string& path) const
{
    size_t links = 0;
    for (const netNode& node : m_nodes)
        links += node.links.size();
    std::string out = "VERSION=1.0 (by netClass::netPrint())\nN=";
    appendInt(out, static_cast<int64_t>(m_nodes.size()));
    out += "\tL=";
    appendInt(out, static_cast<int64_t>(links));
    out += '\n';
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const netNode& node = m_nodes[i];
        out += "I=";
        appendInt(out, static_cast<int64_t>(i));
        out += "\tW=";
        out += node.name;
        out += '@';
        appendInt(out, node.sylIndex);
        out += '@';
        out += node.text;
        out += '\n';
    }
    int64_t j = 0;
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        for (int32_t to : m_nodes[i].links) {
            out += "J=";
            appendInt(out, j++);
            out += "\tS=";
            appendInt(out, static_cast<int64_t>(i));
            out += "\tE=";
            appendInt(out, to);
            out += '\n';
        }
    }
    if (path.empty())
        conPrintf("%s", out.c_str());
    else
        writeFileWhole(path, out);
}

void netClass::setFillerPenalty(float penalty)
{
    for (netNode& node : m_nodes)
        node.penalty = isPenalisedFillerName(node.name) ? penalty : 0.0f;
}

int netClass::maxNextNodeNum() const
{
    size_t most = 0;
    for (const netNode& node : m_nodes)
        most = std::max(most, node.nextNodes.size());
    return static_cast<int>(std::min<size_t>(most, INT32_MAX));
}

int netClass::findStartNode() const
{
    std::vector<char> entered(m_nodes.size(), 0);
    for (const netNode& node : m_nodes) {
        for (int32_t to : node.links) {
            if (to >= 0 && static_cast<size_t>(to) < entered.size())
                entered[static_cast<size_t>(to)] = 1;
        }
    }
    int start = -1;
    int found = 0;
    for (size_t i = 0; i < entered.size(); ++i) {
        if (!entered[i]) {
            start = static_cast<int>(i);
            ++found;
        }
    }
    if (found != 1)
        fatalError("Error: more than one starting nodes! (line %d of file %s)", 271, "lib\\viterbi");
    return start;
}

int netClass::findEndNode() const
{
    int end = -1;
    int found = 0;
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        if (m_nodes[i].links.empty()) {
            end = static_cast<int>(i);
            ++found;
        }
    }
    if (found != 1)
        fatalError("Error: more than one ending nodes! (line %d of file %s)", 286, "lib\\viterbi");
    return end;
}
