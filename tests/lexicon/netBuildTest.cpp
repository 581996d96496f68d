#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "lexicon/dict.h"
#include "lexicon/netGraph.h"
#include "lexicon/text.h"
#include "support/testSupport.h"
#include "task/recogParam.h"

using testsupport::captureStdout;
using testsupport::fatalMessage;
using Strings = std::vector<std::string>;
using Links = std::vector<std::pair<int32_t, int32_t>>;

namespace {

const auto FAMILIES = {addLink4stopAnywhere, addLink4startAnywhere, addLink4forwardJump, addLink4skippableTrailingSil,
                       addLink4skippableLeadingSil};

// The graph that m_netVs describes.
netGraph parseNet(const Strings& lines)
{
    netGraph g;
    for (const std::string& line : lines) {
        int from = 0, to = 0;
        if (line.starts_with("I="))
            g.addNode(line.substr(line.find("W=") + 2, line.find('@') - line.find("W=") - 2), line.substr(line.rfind('@') + 1));
        else if (std::sscanf(line.c_str(), "J=%*d\tS=%d\tE=%d", &from, &to) == 2)
            g.addLink(from, to);
    }
    return g;
}

Links treeLinks(const Strings& sylVs, bool fillers = false, bool softPauses = false, bool framing = true)
{
    textClass t;
    t.m_sylVs = sylVs;
    t.buildTreeNet(recogParam(), fillers, softPauses, framing);
    return parseNet(t.m_netVs).links;
}

// The families as a plain scan of the link list for every candidate link.
void referenceFamilies(netGraph& g)
{
    const int32_t n = static_cast<int32_t>(g.nodes.size());
    auto has = [&](int32_t a, int32_t b) { return std::ranges::count(g.links, std::pair{a, b}) > 0; };
    auto name = [&](int32_t i) { return g.nodes[static_cast<size_t>(i)].name; };
    auto content = [&](int32_t i) { return name(i) != "!NULL" && name(i) != "sil" && name(i) != "sp"; };
    for (int family = 0; family < 5; ++family) {
        for (int32_t i = 4; i < n; ++i) {
            const bool c = content(i);
            if ((family == 0 && c && !has(i, 3)) || (family == 3 && c && has(i, 3)))
                g.addLink(i, family == 0 ? 3 : 1);
            if ((family == 1 && c && !has(2, i)) || (family == 4 && c && has(2, i)))
                g.addLink(family == 1 ? 2 : 0, i);
            for (int32_t j = i + 1; family == 2 && j < n && name(i) != "!NULL"; ++j)
                if (!has(i, j))
                    g.addLink(i, j);
        }
    }
}

} // namespace

TEST(treeNet, sharedPrefixesFillersPausesAndRefusals)
{
    textClass t;
    t.m_sylVs = {"d\t2", "a-c\t1", "a-b\t0"};
    t.buildTreeNet(recogParam(), false, false, true);
    EXPECT_EQ(t.m_netVs, (Strings{"VERSION=1.0", "N=8\tL=9", "I=0\tW=!NULL@-1@", "I=1\tW=!NULL@-1@", "I=2\tW=sil@-1@",
                                  "I=3\tW=sil@-1@", "I=4\tW=a@-1@", "I=5\tW=b@-1@", "I=6\tW=c@-1@", "I=7\tW=d@-1@",
                                  "J=0\tS=0\tE=2", "J=1\tS=3\tE=1", "J=2\tS=2\tE=4", "J=3\tS=4\tE=5", "J=4\tS=5\tE=3",
                                  "J=5\tS=4\tE=6", "J=6\tS=6\tE=3", "J=7\tS=2\tE=7", "J=8\tS=7\tE=3"}));
    EXPECT_EQ(treeLinks({"a-b\t0", "a-b\t1"}), (Links{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 3}}));
    EXPECT_EQ(treeLinks({"a-c", "a-b-c"}), (Links{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 6}, {6, 3}, {4, 7}, {7, 3}}));
    EXPECT_EQ(treeLinks({"a-b-c", "a-b"}), (Links{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 3}, {5, 6}, {6, 3}}));
    // 'a-d' ends its path, so the 'c' of 'a-b-c' is no prefix unit for 'a-d-c'.
    EXPECT_EQ(treeLinks({"a-b-c", "a-d", "a-d-c"}),
              (Links{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 6}, {6, 3}, {4, 7}, {7, 3}, {7, 8}, {8, 3}}));
    EXPECT_EQ(treeLinks({"x--y"}, false, true, false), (Links{{0, 2}, {2, 3}, {3, 1}, {2, 4}, {4, 3}}));

    EXPECT_EQ(fatalMessage([] { treeLinks({}); }), "Error: m_sylVs.size()=0 at line 292 of file lib\\text!");
    const std::string refusal = "Error: Filler loops and the addLink4* links need the leading and trailing silences, "
                                "which endpoint detection removes. Set useEpd=0 to use them.";
    EXPECT_EQ(fatalMessage([] { treeLinks({"a"}, true, false, false); }), refusal);
    recogParam param;
    param.addLink4skippableLeadingSil = 1;
    EXPECT_EQ(fatalMessage([&] { t.buildTreeNet(param, false, false, false); }), refusal);

    t.m_sylVs = {"a"};
    t.buildTreeNet(recogParam(), true, false, true);
    EXPECT_EQ(Strings(t.m_netVs.begin() + 4, t.m_netVs.begin() + 13),
              (Strings{"I=2\tW=!NULL@-1@", "I=3\tW=!NULL@-1@", "I=4\tW=a@-1@", "I=5\tW=fillerC@-1@", "I=6\tW=fillerC@-1@",
                       "I=7\tW=fillerV@-1@", "I=8\tW=fillerV@-1@", "I=9\tW=sil@-1@", "I=10\tW=sil@-1@"}));
    EXPECT_EQ(parseNet(t.m_netVs).links, (Links{{0, 2}, {3, 1}, {2, 4}, {4, 3}, {2, 5}, {5, 2}, {3, 6}, {6, 3}, {2, 7},
                                                {7, 2}, {3, 8}, {8, 3}, {2, 9}, {9, 2}, {3, 10}, {10, 3}}));

    EXPECT_EQ(treeLinks({"x-y-z\t0"}, false, true),
              (Links{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 6}, {6, 3}, {4, 7}, {7, 5}, {5, 8}, {8, 6}}));
    EXPECT_EQ(treeLinks({"x-y\t0", "x-z\t1"}, false, true).size(), 7u); // pauses only for a single text
}

TEST(sausageNet, wordColumnsPausesAndMissingWords)
{
    dictClass dict;
    dict.m_wpa = {{"it", {"ih_t"}, {}}, {"read", {"r_iy_d", "r_eh_d", "r_iy_d"}, {}}};
    recogParam param;
    param.language = "english";
    param.usePaddedSoftSil = 0;
    textClass t;
    t.m_txtVs = {"Read it"};
    t.m_txtVsNormalized = {"read it"};
    t.buildSausageNet(dict, param);
    EXPECT_EQ(Strings(t.m_netVs.begin() + 6, t.m_netVs.begin() + 9),
              (Strings{"I=4\tW=r_eh_d@-1@read", "I=5\tW=r_iy_d@-1@read", "I=6\tW=ih_t@-1@it"}));
    EXPECT_EQ(parseNet(t.m_netVs).links, (Links{{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 6}, {5, 6}, {6, 3}}));
    param.usePaddedSoftSil = 1;
    t.buildSausageNet(dict, param);
    EXPECT_EQ(parseNet(t.m_netVs).links,
              (Links{{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 6}, {5, 6}, {6, 7}, {4, 7}, {5, 7}, {7, 3}}));

    t.m_txtVsNormalized = {"read xyz"};
    std::string message;
    EXPECT_EQ(captureStdout([&] { message = fatalMessage([&] { t.buildSausageNet(dict, param); }); }),
              "Warning: Found no pinyin for \"xyz\" in \"read xyz\". Use \"a\" instead.\n");
    EXPECT_EQ(message, "Error: Found no pronunciation entry for xyz. Please add the pronunciation to wpaAddendaFile. "
                       "(line 507 of file lib\\text)");
    param.language = "chinese";
    t.m_txtVsNormalized = {"\xB0\xDA"};
    param.addLink4skippableLeadingSil = 1;
    EXPECT_EQ(captureStdout([&] { t.buildSausageNet(dict, param); }),
              "Warning: Found no pinyin for \"\xB0\xDA\" in \"\xB0\xDA\". Use \"a\" instead.\n"
              "\tAdd links for skippable leading sil...     (line 593 in lib\\text)\n");
    EXPECT_EQ(t.m_netVs.at(6), "I=4\tW=a@-1@\xB0\xDA");
    t.m_txtVs.push_back("two");
    EXPECT_EQ(fatalMessage([&] { t.buildSausageNet(dict, param); }),
              "Error: m_txtVs.size()=!1, which cannot be transformed into sausage net at line 475 of file lib\\text!");
}

TEST(linkFamilies, sameLinksInTheSameOrderAsAPlainScan)
{
    std::mt19937 rng(7);
    auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 20; ++round) {
        textClass t;
        for (int s = pick(12) + 1; s > 0; --s) {
            t.m_sylVs.emplace_back("a");
            for (int u = pick(5); u > 0; --u)
                t.m_sylVs.back() += {'-', static_cast<char>('a' + pick(3))};
        }
        t.buildTreeNet(recogParam(), round % 2 == 1, false, true);
        netGraph expected = parseNet(t.m_netVs);
        const int32_t n = static_cast<int32_t>(expected.nodes.size());
        for (int k = pick(3 * n); k > 0; --k) // links a family would otherwise add
            expected.addLink(pick(2) == 0 ? 2 : pick(n), pick(2) == 0 ? 3 : pick(n));
        for (int k = pick(3); k > 0; --k)
            expected.nodes.at(static_cast<size_t>(pick(n))).name = (k == 1 ? "sp" : "!NULL");
        netGraph actual = expected;
        referenceFamilies(expected);
        std::ranges::for_each(FAMILIES, [&](auto add) { add(actual); });
        ASSERT_EQ(actual.links, expected.links) << "round " << round;
    }

    recogParam param;
    param.addLink4stopAnywhere = param.addLink4startAnywhere = param.addLink4forwardJump = 1;
    param.addLink4skippableTrailingSil = param.addLink4skippableLeadingSil = 1;
    textClass t;
    t.m_sylVs = {"a-b", "c"};
    EXPECT_EQ(captureStdout([&] { t.buildTreeNet(param, false, false, true); }),
              "\tAdd links for stop anywhere...   (line 456 in lib\\text)\n"
              "\tAdd links for start anywhere...  (line 457 in lib\\text)\n"
              "\tAdd links for forward jump...    (line 458 in lib\\text)\n"
              "\tAdd links for skippable trailing sil...    (line 459 in lib\\text)\n"
              "\tAdd links for skippable leading sil...     (line 460 in lib\\text)\n");
    netGraph plain = parseNet(t.m_netVs);
    plain.links.resize(7);
    referenceFamilies(plain);
    EXPECT_EQ(parseNet(t.m_netVs).links, plain.links);

    netGraph small{{{"!NULL", ""}, {"!NULL", ""}, {"sil", ""}, {"sil", ""}}, {{0, 2}}};
    std::ranges::for_each(FAMILIES, [&](auto add) { add(small); });
    EXPECT_EQ(small.links, (Links{{0, 2}}));
}

TEST(netBudget, forwardJumpsAndSausageColumnsStopAtTheLinkBudget)
{
    // 2454 content nodes: about 3.01 million forward jumps, refused before any is made.
    netGraph g;
    for (int i = 0; i < 2458; ++i)
        g.addNode(i < 2 ? "!NULL" : "x");
    const std::string message = fatalMessage([&] { addLink4forwardJump(g); });
    EXPECT_EQ(message, "Error: The network of 2458 nodes would get 3009831 more links for forward jumps (one from every "
                       "node to every later node); leave addLink4forwardJump at 0 for texts this long; a network may "
                       "have at most 3000000 links.");
    EXPECT_TRUE(g.links.empty());
    g.nodes.resize(2400);
    addLink4forwardJump(g);
    EXPECT_EQ(g.links.size(), 2396u * 2395u / 2u);

    // Two neighbouring words of 2000 pronunciations each.
    dictClass dict;
    dict.m_wpa = {{"a", {}, {}}, {"b", {}, {}}, {"e", {}, {}}};
    for (int i = 0; i < 2000; ++i) {
        dict.m_wpa[0].paVec.push_back(std::string("a").append(std::to_string(i)));
        dict.m_wpa[1].paVec.push_back(std::string("b").append(std::to_string(i)));
    }
    recogParam param;
    param.language = "english";
    textClass t;
    t.m_txtVs = {"a b"};
    t.m_txtVsNormalized = t.m_txtVs;
    EXPECT_NE(fatalMessage([&] { t.buildSausageNet(dict, param); })
                  .find("would get 4000000 more links for the pronunciations of neighbouring words"),
              std::string::npos);

    // A word whose entry has no pronunciation would cut the chain of columns.
    t.m_txtVsNormalized = {"e"};
    std::string refusal;
    captureStdout([&] { refusal = fatalMessage([&] { t.buildSausageNet(dict, param); }); });
    EXPECT_EQ(refusal, "Error: Found no pronunciation entry for e. Please add the pronunciation to wpaAddendaFile. "
                       "(line 507 of file lib\\text)");
}

TEST(netBudget, nodesStopAtTheNodeBudget)
{
    netGraph g;
    g.nodes.resize(MAX_NET_NODES - 1);
    EXPECT_EQ(g.addNode("u"), static_cast<int32_t>(MAX_NET_NODES - 1));
    EXPECT_EQ(fatalMessage([&] { g.addNode("u"); }),
              "Error: The network would get more than 400000 nodes. Give fewer or shorter texts (or syllable strings); "
              "a long text assessed with pauses (usePaddedHardSp, usePaddedSoftSil) takes up to four nodes per word or "
              "syllable.");
}
