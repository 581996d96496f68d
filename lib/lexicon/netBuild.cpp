// Recognition networks generated from the texts: a prefix tree over the syllable strings, or a
// sausage of one text's word pronunciations, written as network text lines.
#include <algorithm>
#include <cstdint>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "lexicon/netGraph.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

const char* const UNIT = "lib\\text";

constexpr int32_t START_NODE = 0;
constexpr int32_t END_NODE = 1;
constexpr int32_t LEADING_SIL = 2;
constexpr int32_t TRAILING_SIL = 3;
constexpr int32_t FIRST_CONTENT = 4;

// Source lines announcing the first link family of each builder.
constexpr int TREE_FAMILY_LINE = 456;
constexpr int SAUSAGE_FAMILY_LINE = 589;

struct linkFamily {
    int32_t recogParam::*key;
    const char* announcement; // followed by "(line %d in %s)"
    void (*add)(netGraph&);
};

const linkFamily LINK_FAMILIES[] = {
    {&recogParam::addLink4stopAnywhere, "\tAdd links for stop anywhere...   ", addLink4stopAnywhere},
    {&recogParam::addLink4startAnywhere, "\tAdd links for start anywhere...  ", addLink4startAnywhere},
    {&recogParam::addLink4forwardJump, "\tAdd links for forward jump...    ", addLink4forwardJump},
    {&recogParam::addLink4skippableTrailingSil, "\tAdd links for skippable trailing sil...    ",
     addLink4skippableTrailingSil},
    {&recogParam::addLink4skippableLeadingSil, "\tAdd links for skippable leading sil...     ",
     addLink4skippableLeadingSil},
};

bool anyLinkFamily(const recogParam& param)
{
    return std::any_of(std::begin(LINK_FAMILIES), std::end(LINK_FAMILIES),
                       [&](const linkFamily& f) { return param.*f.key != 0; });
}

// The families switched on in param, in their fixed order, each announced with its own line.
void addLinkFamilies(netGraph& graph, const recogParam& param, int firstLine)
{
    int line = firstLine;
    for (const linkFamily& family : LINK_FAMILIES) {
        if (param.*family.key != 0) {
            conPrintf("%s(line %d in %s)\n", family.announcement, line, UNIT);
            family.add(graph);
        }
        ++line;
    }
}

// Start and end null nodes, and with framing silences the leading and trailing "sil".
netGraph framedGraph(bool framingSilences)
{
    netGraph graph;
    graph.addNode("!NULL");
    graph.addNode("!NULL");
    if (framingSilences) {
        graph.addNode("sil");
        graph.addNode("sil");
        graph.addLink(START_NODE, LEADING_SIL);
        graph.addLink(TRAILING_SIL, END_NODE);
    }
    return graph;
}

// The syllable string of an m_sylVs entry: the part before its first tab.
std::string syllablePart(const std::string& entry)
{
    return entry.substr(0, entry.find('\t'));
}

void splitUnits(const std::string& syllables, std::vector<std::string>& units)
{
    strSplit(syllables, '-', units);
    strVecRemoveEmpty(units);
}

// Every node of `from` to every node of `to`, grouped by target.
void linkAll(netGraph& graph, const std::vector<int32_t>& from, const std::vector<int32_t>& to)
{
    checkLinkBudget(graph, from.size() * to.size(),
                    "the pronunciations of neighbouring words (every one to every next one); the words' wpa entries "
                    "have too many pronunciations");
    for (int32_t target : to)
        for (int32_t source : from)
            graph.addLink(source, target);
}

// A word's PAs, sorted and without repeats. A word missing from the table (or without any PA) is
// reported; english can't go on without it, other languages fall back to "a".
std::vector<std::string> sausageColumn(const dictClass& dict, const std::string& word, const std::string& text,
                                       const std::string& language)
{
    const int idx = dict.wpaSearch(word);
    std::vector<std::string> pas;
    // An entry without any PA would leave a column without nodes, cutting the chain.
    if (idx >= 0 && static_cast<size_t>(idx) < dict.m_wpa.size() && !dict.m_wpa[static_cast<size_t>(idx)].paVec.empty()) {
        pas = dict.m_wpa[static_cast<size_t>(idx)].paVec;
    } else {
        conPrintf("Warning: Found no pinyin for \"%s\" in \"%s\". Use \"a\" instead.\n", word.c_str(), text.c_str());
        if (language == "english")
            fatalError("Error: Found no pronunciation entry for %s. Please add the pronunciation to "
                       "wpaAddendaFile. (line %d of file %s)",
                       word.c_str(), 507, UNIT);
        pas = {"a"};
    }
    std::sort(pas.begin(), pas.end());
    pas.erase(std::unique(pas.begin(), pas.end()), pas.end());
    return pas;
}

} // namespace

int32_t netGraph::addNode(const std::string& name, const std::string& pa)
{
    if (nodes.size() >= MAX_NET_NODES)
        fatalError("Error: The network would get more than %zu nodes. Give fewer or shorter texts (or syllable "
                   "strings); a long text assessed with pauses (usePaddedHardSp, usePaddedSoftSil) takes up to four "
                   "nodes per word or syllable.",
                   MAX_NET_NODES);
    nodes.push_back({name, pa});
    return static_cast<int32_t>(nodes.size() - 1);
}

std::vector<std::string> netLinesFromGraph(const netGraph& graph)
{
    std::vector<std::string> lines;
    lines.reserve(2 + graph.nodes.size() + graph.links.size());
    lines.emplace_back("VERSION=1.0");
    lines.push_back(strPrintf("N=%zu\tL=%zu", graph.nodes.size(), graph.links.size()));
    for (size_t i = 0; i < graph.nodes.size(); ++i)
        lines.push_back(strPrintf("I=%zu\tW=%s@%d@%s", i, graph.nodes[i].name.c_str(), -1, graph.nodes[i].pa.c_str()));
    for (size_t i = 0; i < graph.links.size(); ++i)
        lines.push_back(strPrintf("J=%zu\tS=%d\tE=%d", i, graph.links[i].first, graph.links[i].second));
    return lines;
}

void textClass::buildTreeNet(const recogParam& param, bool fillerLoops, bool softPauses, bool framingSilences)
{
    if (m_sylVs.empty())
        fatalError("Error: m_sylVs.size()=0 at line %d of file %s!", 292, UNIT);
    // Filler loops hang on nodes 2 and 3, and every link family takes them for the silences.
    if (!framingSilences && (fillerLoops || anyLinkFamily(param)))
        fatalError("Error: Filler loops and the addLink4* links need the leading and trailing silences, which "
                   "endpoint detection removes. Set useEpd=0 to use them.");

    netGraph graph = framedGraph(framingSilences);
    const int32_t root = framingSilences ? LEADING_SIL : START_NODE;
    const int32_t leaf = framingSilences ? TRAILING_SIL : END_NODE;

    std::vector<std::string> strings;
    strings.reserve(m_sylVs.size());
    size_t depth = 1;
    for (const std::string& entry : m_sylVs) {
        strings.push_back(syllablePart(entry));
        depth = std::max(depth, static_cast<size_t>(std::count(strings.back().begin(), strings.back().end(), '-')) + 1);
    }
    // Equal strings would share their whole path anyway.
    std::sort(strings.begin(), strings.end());
    strings.erase(std::unique(strings.begin(), strings.end()), strings.end());

    // The units of the string before and, per depth, the node the next unit hangs from.
    std::vector<std::string> prevUnits(depth);
    std::vector<int32_t> attach(depth, -1);
    attach[0] = root;
    std::vector<std::string> units;
    for (const std::string& s : strings) {
        splitUnits(s, units);
        bool onSharedPrefix = true;
        for (size_t j = 0; j < units.size() && j < depth; ++j) {
            if (onSharedPrefix && units[j] == prevUnits[j])
                continue;
            onSharedPrefix = false;
            const int32_t node = graph.addNode(units[j]);
            graph.addLink(attach[j], node);
            prevUnits[j] = units[j];
            if (j + 1 < depth)
                attach[j + 1] = node;
            if (j + 1 == units.size()) {
                graph.addLink(node, leaf);
                for (size_t k = j + 1; k < depth; ++k)
                    prevUnits[k].clear();
            }
        }
    }

    if (fillerLoops) {
        graph.nodes.at(LEADING_SIL).name = "!NULL";
        graph.nodes.at(TRAILING_SIL).name = "!NULL";
        for (const char* name : {"fillerC", "fillerV", "sil"}) {
            for (int32_t anchor : {LEADING_SIL, TRAILING_SIL}) {
                const int32_t filler = graph.addNode(name);
                graph.addLink(anchor, filler);
                graph.addLink(filler, anchor);
            }
        }
    }

    // One text's units lie at consecutive nodes after the framing; each gap may take a pause.
    if (softPauses && m_sylVs.size() == 1) {
        splitUnits(syllablePart(m_sylVs.front()), units);
        const int32_t first = framingSilences ? FIRST_CONTENT : LEADING_SIL;
        for (size_t k = 0; k + 1 < units.size(); ++k) {
            const int32_t unit = first + static_cast<int32_t>(k);
            const int32_t pause = graph.addNode("sil");
            graph.addLink(unit, pause);
            graph.addLink(pause, unit + 1);
        }
    }

    addLinkFamilies(graph, param, TREE_FAMILY_LINE);
    m_netVs = netLinesFromGraph(graph);
}

void textClass::buildSausageNet(const dictClass& dict, const recogParam& param)
{
    if (m_txtVs.size() != 1)
        fatalError("Error: m_txtVs.size()=!1, which cannot be transformed into sausage net at line %d of file %s!",
                   475, UNIT);
    const std::string text = m_txtVsNormalized.empty() ? std::string() : m_txtVsNormalized.front();
    netGraph graph = framedGraph(true);
    std::vector<std::string> words;
    textToWords(text, param.language, words);

    // Columns: the one before the previous, the previous, and the one being built.
    const bool softPauses = param.usePaddedSoftSil != 0;
    std::vector<int32_t> before;
    std::vector<int32_t> prev{LEADING_SIL};
    std::vector<int32_t> cur;
    for (size_t k = 0; k < words.size(); ++k) {
        for (const std::string& pa : sausageColumn(dict, words[k], text, param.language))
            cur.push_back(graph.addNode(pa, words[k]));
        linkAll(graph, prev, cur);
        if (softPauses && k > 0)
            linkAll(graph, before, cur); // past the optional pause
        if (k + 1 < words.size()) {
            if (softPauses) {
                before = std::move(prev);
                prev = std::move(cur);
                cur = {graph.addNode("sil")};
                linkAll(graph, prev, cur);
            }
        } else {
            before = std::move(prev);
            prev = std::move(cur);
            cur = {TRAILING_SIL};
            linkAll(graph, prev, cur);
        }
        before = std::move(prev);
        prev = std::move(cur);
        cur.clear();
    }

    addLinkFamilies(graph, param, SAUSAGE_FAMILY_LINE);
    m_netVs = netLinesFromGraph(graph);
}
