#include <gtest/gtest.h>

#include "common/strUtil.h"
#include "lexicon/dict.h"
#include "net/net.h"
#include "support/testSupport.h"

using namespace testsupport;

namespace {

dictClass smallDict()
{
    dictClass dict;
    dict.m_pronDict = {{"a", {-1, 2}}, {"b", {0}}, {"filler", {1}}};
    return dict;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    strSplit(text, '\n', out);
    return out;
}

// start 0 -> null 3 -> null 4 -> a (twice) and 3 -> b; a -> filler -> end 6, b -> end 6.
const std::string NET = "VERSION=1.0\nN=7\tL=8\nI=0\tW=!NULL\nI=1  W=a\nI=2\tW=b@-1@\r\nI=3\tW=!Null\n"
                        "I=4\tW=!null@7@x\nI=5\tW=filler@2@t@x@y\nI=6\tW=!NULL\nJ=0\tS=0\tE=3\nJ=1 S=3 E=4\n"
                        "J=2\tS=3\tE=2\nJ=3\tS=4\tE=1\nJ=4\tS=4\tE=1\nJ=5\tS=1\tE=5\nJ=6\tS=5\tE=6\nJ=7\tS=2\tE=6";

} // namespace

TEST(netTest, ReadsNodeFormsExpandsNullNodesAndRoundTrips)
{
    dictClass dict = smallDict();
    netClass net;
    net.netReadLines(lines(NET), dict);
    ASSERT_EQ(net.m_nodes.size(), 7u);
    EXPECT_EQ(std::make_tuple(net.m_nodes[1].sylIndex, net.m_nodes[2].sylIndex, net.m_nodes[4].sylIndex),
              std::make_tuple(0, 1, -1));
    EXPECT_EQ(std::tie(net.m_nodes[2].text, net.m_nodes[5].text), std::make_tuple("", "t@x@y"));
    EXPECT_EQ(net.m_nodes[0].nextNodes, (std::vector<int32_t>{1, 1, 2}));
    EXPECT_TRUE(net.m_nodes[5].nextNodes.empty());
    EXPECT_EQ(dict.m_pronDict[0].modelIds, (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(std::make_tuple(net.findStartNode(), net.findEndNode(), net.maxNextNodeNum()), std::make_tuple(0, 6, 3));
    net.m_nodes[1].penalty = 7.0f;
    net.setFillerPenalty(2.5f);
    EXPECT_EQ(std::make_pair(net.m_nodes[5].penalty, net.m_nodes[1].penalty), std::make_pair(2.5f, 0.0f));

    ScratchDir dir;
    net.netPrint(dir.file("a.NET"));
    const std::string printed = readFile(dir.file("a.NET"));
    EXPECT_EQ(printed.substr(0, 62), "VERSION=1.0 (by netClass::netPrint())\nN=7\tL=8\nI=0\tW=!NULL@-1@\n");
    EXPECT_NE(printed.find("I=4\tW=!null@-1@\nI=5\tW=filler@2@t@x@y\n"), std::string::npos);
    EXPECT_NE(printed.find("J=4\tS=3\tE=2\nJ=5\tS=4\tE=1\nJ=6\tS=4\tE=1\n"), std::string::npos);
    netClass back;
    back.netRead(dir.file("a.NET"), dict);
    EXPECT_EQ(captureStdout([&] { back.netPrint(""); }), printed);

    // The binary form keeps no names: nodes 0 and 1 come back as "!NULL", the others unnamed.
    std::swap(net.m_nodes[1], net.m_nodes[6]);
    for (netNode& node : net.m_nodes)
        for (int32_t& to : node.links)
            to = to == 1 ? 6 : to == 6 ? 1 : to;
    net.netWriteBinary(dir.file("a.netb"));
    dict.m_pronDict[2].modelIds = {-3};
    back.netRead(dir.file("a.netb"), dict);
    EXPECT_EQ(dict.m_pronDict[2].modelIds, (std::vector<int32_t>{0}));
    EXPECT_EQ(back.m_nodes[0].nextNodes, (std::vector<int32_t>{6, 6, 2}));
    const std::string binPrinted = captureStdout([&] { back.netPrint(""); });
    EXPECT_NE(binPrinted.find("I=1\tW=!NULL@-1@\nI=2\tW=@1@\nI=3\tW=@-1@\n"), std::string::npos);
    EXPECT_NE(binPrinted.find("J=4\tS=4\tE=6\nJ=5\tS=4\tE=6\n"), std::string::npos);
}

TEST(netTest, RefusesBrokenNetworks)
{
    dictClass dict = smallDict();
    netClass net;
    ScratchDir dir;
    const std::string head = "V\nN=3\tL=2\nI=0\tW=a\nI=1\tW=b\nI=2\tW=!NULL\n";
    auto refusal = [&](const std::string& text) { return fatalMessage([&] { net.netReadLines(lines(text), dict); }); };

    EXPECT_EQ(refusal("V\nN=2\tL=1\nI=0\tW=a\nI=1\tW=zz@-1@\nJ=0\tS=0\tE=1"),
              "Error: \"zz\" (nodeIndex=1) not found in the pronunciation dictionary. (line 166 of file lib\\net)\n");
    EXPECT_EQ(refusal("V\nN=2\tL=0\nI=0\tW=a@3@\nI=1\tW=b"),
              "Error: sylIndex (3) out of the range of [0, 3]! (line 221 of file lib\\net)\n");
    EXPECT_NE(refusal(head + "J=0\tS=0\tE=2").find("(generated network): 6 lines"), std::string::npos);
    EXPECT_NE(refusal(head + "J=0\tS=0\tE=2\nJ=1\tS=1\tE=3").find("line 7"), std::string::npos);
    EXPECT_NE(refusal(head + "J=0\tS=0\tE=2\nS=1\tE=2").find("line 7"), std::string::npos);
    EXPECT_NE(refusal("V\nN=3\tL=3\nI=0\tW=a\nI=1\tW=!NULL\nI=2 W=!NULL\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=2\nJ=2\tS=2\tE=1")
                  .find("cycle through node 1"),
              std::string::npos);
    EXPECT_TRUE(net.m_nodes.empty());

    net.netReadLines(lines(head + "J=0\tS=0\tE=2\nJ=1\tS=1\tE=2"), dict);
    const std::string twoStarts = "Error: more than one starting nodes! (line 271 of file lib\\viterbi)";
    EXPECT_EQ(fatalMessage([&] { net.findStartNode(); }), twoStarts);
    net.m_nodes[2].links = {0, 1}; // and none
    EXPECT_EQ(fatalMessage([&] { net.findStartNode(); }), twoStarts);
    EXPECT_EQ(fatalMessage([&] { net.findEndNode(); }),
              "Error: more than one ending nodes! (line 286 of file lib\\viterbi)");

    writeFile(dir.file("a.Net"), head);
    EXPECT_EQ(fatalMessage([&] { net.netRead(dir.file("a.Net"), dict); }),
              "Error in reading " + dir.file("a.Net") +
                  ": The only allowed extension are \"net\" and \"netb\".  (line 32 of file lib\\net)\n");
    const std::string counts = le32(3) + le32(1) + le32(0);
    for (const std::string& bytes : {counts + le32(0), counts + le32(0) + le32(3), le32(1) + le32(0)}) {
        writeFile(dir.file("b.netb"), bytes);
        EXPECT_NE(fatalMessage([&] { net.netRead(dir.file("b.netb"), dict); }).find(dir.file("b.netb")),
                  std::string::npos);
    }
}

TEST(netTest, NullNodesPastNodeOneReadBackUnnamed)
{
    dictClass dict = smallDict();
    ScratchDir dir;
    // 0 -> 2 -> a (3) -> 4 -> 1, with 2 and 4 null nodes.
    writeFile(dir.file("n.netb"), le32(5) + le32(4) + le32(-1) + le32(0) + le32(-1) + le32(0) + le32(2) + le32(2) +
                                      le32(3) + le32(3) + le32(4) + le32(4) + le32(1));
    netClass net;
    net.netRead(dir.file("n.netb"), dict);
    ASSERT_EQ(net.m_nodes.size(), 5u);
    for (size_t i : {0u, 1u})
        EXPECT_EQ(std::tie(net.m_nodes[i].name, net.m_nodes[i].sylIndex), std::make_tuple("!NULL", -1)) << i;
    for (size_t i : {2u, 3u, 4u})
        EXPECT_EQ(std::tie(net.m_nodes[i].name, net.m_nodes[i].text), std::make_tuple("", "")) << i;
    EXPECT_TRUE(net.isNullNode(2) && net.isNullNode(4) && !net.isNullNode(3));
    EXPECT_EQ(net.m_nodes[0].nextNodes, std::vector<int32_t>{3});
    EXPECT_TRUE(net.m_nodes[3].nextNodes.empty());
}

// Networks whose node 0 or 1 is a word node are written with two null nodes in front.
TEST(netTest, WritesBinaryNetworksWhoseFirstNodesAreWords)
{
    dictClass dict = smallDict();
    ScratchDir dir;
    // Reads `text`, writes and re-reads it in binary form; every node comes back 2 places later
    // with the same entry and the same successors.
    auto roundTrip = [&](const std::string& text, netClass& back) {
        netClass net;
        net.netReadLines(lines(text), dict);
        net.netWriteBinary(dir.file("w.netb"));
        back.netRead(dir.file("w.netb"), dict);
        ASSERT_EQ(back.m_nodes.size(), net.m_nodes.size() + 2);
        EXPECT_TRUE(back.isNullNode(0) && back.isNullNode(1));
        for (size_t i = 0; i < net.m_nodes.size(); ++i) {
            std::vector<int32_t> shifted = net.m_nodes[i].nextNodes;
            for (int32_t& to : shifted)
                to += 2;
            EXPECT_EQ(back.m_nodes[i + 2].sylIndex, net.m_nodes[i].sylIndex) << i;
            EXPECT_EQ(back.m_nodes[i + 2].nextNodes, shifted) << i;
        }
    };

    // a -> b -> filler: the search starts in a, here entered through the two null nodes.
    netClass back;
    roundTrip("V\nN=3\tL=2\nI=0\tW=a\nI=1\tW=b\nI=2\tW=filler\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=2", back);
    EXPECT_EQ(std::make_pair(back.findStartNode(), back.findEndNode()), std::make_pair(0, 4));
    EXPECT_EQ(back.m_nodes[0].nextNodes, std::vector<int32_t>{2});
    EXPECT_EQ(readFile(dir.file("w.netb")), le32(5) + le32(4) + le32(0) + le32(1) + le32(2) + le32(0) + le32(1) +
                                                le32(1) + le32(2) + le32(2) + le32(3) + le32(3) + le32(4));
    // A null start node 0 and a word node 1: the new start's successors are the old start's.
    roundTrip(NET, back);
    EXPECT_EQ(std::make_pair(back.findStartNode(), back.findEndNode()), std::make_pair(0, 8));
    EXPECT_EQ(back.m_nodes[0].nextNodes, (std::vector<int32_t>{3, 3, 4}));
    // A single word node is its own start and end.
    roundTrip("V\nN=1\tL=0\nI=0\tW=b", back);
    EXPECT_EQ(std::make_pair(back.findStartNode(), back.findEndNode()), std::make_pair(0, 2));

    // Networks that can't be searched stay so: two starts, no start and no end, no nodes.
    const std::string twoStarts = "Error: more than one starting nodes! (line 271 of file lib\\viterbi)";
    roundTrip("V\nN=3\tL=2\nI=0\tW=a\nI=1\tW=b\nI=2\tW=!NULL\nJ=0\tS=0\tE=2\nJ=1\tS=1\tE=2", back);
    EXPECT_EQ(fatalMessage([&] { back.findStartNode(); }), twoStarts);
    roundTrip("V\nN=2\tL=2\nI=0\tW=a\nI=1\tW=b\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=0", back);
    EXPECT_EQ(fatalMessage([&] { back.findStartNode(); }), twoStarts);
    EXPECT_NE(fatalMessage([&] { back.findEndNode(); }).find("more than one ending nodes"), std::string::npos);
    roundTrip("V\nN=0\tL=0", back);
    EXPECT_EQ(fatalMessage([&] { back.findStartNode(); }), twoStarts);
}
