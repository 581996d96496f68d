#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "assess/labFile.h"
#include "assess/recogResult.h"
#include "assess/xmlReport.h"
#include "support/testSupport.h"

using testsupport::ScratchDir;

namespace {

phoneResult makePhone(const char* name, int32_t model, int32_t first, int32_t last, float cumLogLike)
{
    phoneResult p;
    p.name = name;
    p.modelIndex = model;
    p.startFrame = first;
    p.endFrame = last;
    p.cumLogLike = cumLogLike;
    return p;
}

nodeResult makeNode(const char* name, const char* text, int32_t first, int32_t last)
{
    nodeResult n;
    n.name = name;
    n.text = text;
    n.startFrame = first;
    n.endFrame = last;
    return n;
}

std::string reportOf(const recogResult& result, const std::string& language)
{
    ScratchDir dir;
    xmlReportWrite(dir.file("out.xml"), result, {"aa", "ax", "hh", "sil"}, language);
    return testsupport::readFile(dir.file("out.xml"));
}

} // namespace

// A small result written whole: comments on the first node and its first phone, empty lists, no
// escaping, a discount ratio missing from the list written as 1, frames 12..40 as 0.12 0.41.
TEST(xmlReport, englishReportIsWrittenByteForByte)
{
    recogResult r;
    r.texts = {"hi"};
    r.identifiedSylEntries = {"hi"};
    r.warnings = {"a<b&c"};
    r.assess.overallScore = 87.5f;
    r.assess.overallTimberScore = 80.25f;
    r.assess.discountOccurrences = {2, 0};
    r.assess.discountRatios = {0.9f};
    nodeResult hi = makeNode("hi", "hi", 12, 40);
    hi.timberScore = 75.5f;
    hi.volume = {1.5f, 2.0f};
    phoneResult hh = makePhone("hh", 2, 12, 40, -123.5f);
    hh.timberScore = 70.0f, hh.pitched = 1, hh.volume = {3.0f}, hh.rankRatio = 0.25f, hh.timeRatio = 0.5f;
    hh.timberScores[0] = 0.5f, hh.timberScores[1] = 1.5f, hh.timberScores[2] = 2.5f, hh.timberScores[3] = 3.5f;
    hi.phones = {hh};
    r.assess.nodes = {hi};

    EXPECT_EQ(reportOf(r, "english"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n"
              "<version idx=\"1\" type=\"char\" size=\"1 24\">version 1.4 (2010/06/24)</version>\n"
              "<text idx=\"1\" type=\"cell\" size=\"1 1\">\n"
              "\t<item idx=\"1\" type=\"char\" size=\"1 2\">hi</item>\n"
              "</text>\n"
              "<syl idx=\"1\" type=\"cell\" size=\"1 1\">\n"
              "\t<item idx=\"1\" type=\"char\" size=\"1 2\">hi</item>\n"
              "</syl>\n"
              "<warningMessage idx=\"1\" type=\"cell\" size=\"1 1\">\n"
              "\t<item idx=\"1\" type=\"char\" size=\"1 5\">a<b&c</item>\n"
              "</warningMessage>\n"
              "<cm idx=\"1\" type=\"struct\" size=\"1 1\">\n"
              "\t<language idx=\"1\" type=\"char\" size=\"1 7\">english</language>\n"
              "\t<score idx=\"1\" type=\"double\" size=\"1 1\">87.5</score><!--Overall score-->\n"
              "\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">80.25</timberScore>\n"
              "\t<word idx=\"1\" type=\"struct\" size=\"1 1\"><!--List of nodes, which each node is a word (for "
              "English) or a syllable (for Chinese)-->\n"
              "\t\t<name idx=\"1\" type=\"char\" size=\"1 2\">hi</name><!--Phonetic alphabets of the node-->\n"
              "\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0.12 0.41</interval><!--Time span of the node, "
              "in seconds-->\n"
              "\t\t<text idx=\"1\" type=\"char\" size=\"1 2\">hi</text><!--Text of the node (empty if the node is "
              "sil/sp)-->\n"
              "\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">75.5</timberScore><!--Score of the node (-1 "
              "if the node is sil/sp)-->\n"
              "\t\t<pitch idx=\"1\" type=\"double\" size=\"1 0\"></pitch><!--Pitch of the node (0 if no pitch at "
              "all)-->\n"
              "\t\t<volume idx=\"1\" type=\"double\" size=\"1 2\">1.5 2</volume><!--Volume of the node (0 if not "
              "computed)-->\n"
              "\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">-1 -1 -1 -1</timberScores><!--All timber "
              "scores of the node (primarily for debugging)-->\n"
              "\t\t<phone idx=\"1\" type=\"struct\" size=\"1 1\"><!--List of phones in the node-->\n"
              "\t\t\t<name idx=\"1\" type=\"char\" size=\"1 2\">hh</name><!--Phonetic alphabets for the node-->\n"
              "\t\t\t<index idx=\"1\" type=\"uint16\" size=\"1 1\">2</index><!--Model index within the macro "
              "file-->\n"
              "\t\t\t<interval idx=\"1\" type=\"double\" size=\"1 2\">0.12 0.41</interval><!--Time span of the "
              "phone, in seconds-->\n"
              "\t\t\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">70</timberScore><!--Timber score of the "
              "node (-1 if the node is sil/sp)-->\n"
              "\t\t\t<pitched idx=\"1\" type=\"double\" size=\"1 1\">1</pitched>\n"
              "\t\t\t<pitch idx=\"1\" type=\"double\" size=\"1 0\"></pitch><!--Pitch of the node (0 if no pitch "
              "at all)-->\n"
              "\t\t\t<volume idx=\"1\" type=\"double\" size=\"1 1\">3</volume><!--Volume of the node (0 if no "
              "pitch at all)-->\n"
              "\t\t\t<cumLogLike idx=\"1\" type=\"double\" size=\"1 1\">-123.5</cumLogLike><!--Cumulated log "
              "probability of the phone-->\n"
              "\t\t\t<rankRatio idx=\"1\" type=\"double\" size=\"1 1\">0.25</rankRatio><!--Rank ratio of the "
              "phone-->\n"
              "\t\t\t<timeRatio idx=\"1\" type=\"double\" size=\"1 1\">0.5</timeRatio><!--Time ratio of the "
              "phone-->\n"
              "\t\t\t<competingModelIndex idx=\"1\" type=\"uint16\" size=\"1 0\"></competingModelIndex><!--Indices "
              "of the competing models of the phone-->\n"
              "\t\t\t<competingModelName idx=\"1\" type=\"char\" size=\"1 0\"></competingModelName><!--Name of "
              "the competing models of the phone-->\n"
              "\t\t\t<competingModelLogLike idx=\"1\" type=\"double\" size=\"1 0\"></competingModelLogLike>"
              "<!--Log likelihoods of the competing models of the phone-->\n"
              "\t\t\t<timberScores idx=\"1\" type=\"double\" size=\"1 4\">0.5 1.5 2.5 3.5</timberScores><!--All "
              "timber scores of the phone (primarily for debugging)-->\n"
              "\t\t</phone>\n"
              "\t</word>\n"
              "\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 2\"><!--Discount factors for computing the "
              "discounted scores-->\n"
              "\t\t<occurrence idx=\"1\" type=\"double\" size=\"1 1\">2</occurrence>\n"
              "\t\t<ratio idx=\"1\" type=\"double\" size=\"1 1\">0.900000</ratio>\n"
              "\t\t<type idx=\"1\" type=\"char\" size=\"1 30\">Incomplete Viterbi search path</type>\n"
              "\t\t<occurrence idx=\"2\" type=\"double\" size=\"1 1\">0</occurrence>\n"
              "\t\t<ratio idx=\"2\" type=\"double\" size=\"1 1\">1.000000</ratio>\n"
              "\t\t<type idx=\"2\" type=\"char\" size=\"1 27\">No. of over-short syllables</type>\n"
              "\t</discountFactor>\n"
              "</cm>\n"
              "</root>\n");
}

// Later nodes and phones carry no comments; competitors are written by name; a node may have no phones.
TEST(xmlReport, laterEntriesCompetitorsAndPhonelessNodes)
{
    recogResult r;
    nodeResult hello = makeNode("hello", "hello", 12, 40);
    phoneResult ax = makePhone("ax", 1, 21, 40, -300.0f);
    ax.competingModelIds = {1, 0}, ax.competingLogLikes = {-10.5f, -20.0f};
    hello.phones = {makePhone("hh", 2, 12, 20, 0), ax};
    r.assess.nodes = {hello, makeNode("sil", "", 41, 60)};
    const std::string xml = reportOf(r, "english");
    for (const char* line : {"\t\t\t<name idx=\"2\" type=\"char\" size=\"1 2\">ax</name>\n"
                             "\t\t\t<index idx=\"2\" type=\"uint16\" size=\"1 1\">1</index>\n"
                             "\t\t\t<interval idx=\"2\" type=\"double\" size=\"1 2\">0.21 0.41</interval>\n",
                             "\t\t\t<competingModelIndex idx=\"2\" type=\"uint16\" size=\"1 2\">1 0</competingModelIndex>\n"
                             "\t\t\t<competingModelName idx=\"2\" type=\"char\" size=\"1 5\">ax aa</competingModelName>\n"
                             "\t\t\t<competingModelLogLike idx=\"2\" type=\"double\" size=\"1 2\">-10.5 -20"
                             "</competingModelLogLike>\n",
                             "\t\t<name idx=\"2\" type=\"char\" size=\"1 3\">sil</name>\n"
                             "\t\t<interval idx=\"2\" type=\"double\" size=\"1 2\">0.41 0.61</interval>\n"
                             "\t\t<text idx=\"2\" type=\"char\" size=\"1 0\"></text>\n",
                             "\t\t<phone idx=\"2\" type=\"struct\" size=\"1 0\">\n\t\t</phone>\n\t</word>\n"})
        EXPECT_NE(xml.find(line), std::string::npos) << line;
}

// Big5 texts: a high byte and the byte after it are one character, whatever the second byte is.
TEST(xmlReport, chineseReportDeclaresBig5AndCountsDoubleByteCharacters)
{
    recogResult r;
    r.texts = {"\xa7\x41" "a\xa6\x6e"};
    r.assess.nodes = {makeNode("ni", "\xa7\x41\xa6\x6e", 0, 9)};
    const std::string xml = reportOf(r, "chinese");
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"big5\"?>\n<root ", 0), 0u);
    EXPECT_NE(xml.find("\t<item idx=\"1\" type=\"char\" size=\"1 3\">\xa7\x41" "a\xa6\x6e</item>\n"), std::string::npos);
    EXPECT_NE(xml.find("<text idx=\"1\" type=\"char\" size=\"1 2\">\xa7\x41\xa6\x6e</text>"), std::string::npos);
    // Taiwanese texts are big5 too, but node text sizes stay byte lengths.
    EXPECT_NE(reportOf(r, "taiwanese").find("encoding=\"big5\"?>\n<root "), std::string::npos);
    EXPECT_NE(reportOf(r, "taiwanese").find("<text idx=\"1\" type=\"char\" size=\"1 4\">"), std::string::npos);
}

TEST(labFile, nodesOpenOnFiveFieldLinesAndSpanTheirPhones)
{
    ScratchDir dir;
    const std::string path = dir.file("a.lab");
    testsupport::writeFile(path, "% aligned\n0 3200000 sil -50.5 sil\n3200000 5050000 hh -80 hello\r\n"
                                 "5050000 8000000 ax -120.25\n\n30000000000 30100000000 sil -130 sil\n");
    assessResult result;
    result.nodes.resize(5);
    labFileRead(path, result);
    ASSERT_EQ(result.nodes.size(), 3u);
    auto span = [](const auto& x) { return std::make_tuple(x.name, x.startFrame, x.endFrame); };
    EXPECT_EQ(span(result.nodes[0]), std::make_tuple("sil", 0, 31));
    // 50.5 frames truncate both as an end (49) and as a start (50).
    const nodeResult& hello = result.nodes[1];
    EXPECT_EQ(span(hello), std::make_tuple("hello", 32, 79));
    ASSERT_EQ(hello.phones.size(), 2u);
    EXPECT_EQ(span(hello.phones[0]), std::make_tuple("hh", 32, 49));
    EXPECT_EQ(span(hello.phones[1]), std::make_tuple("ax", 50, 79));
    EXPECT_EQ(std::make_tuple(hello.text, hello.timberScore, hello.cumScore), std::make_tuple("", -1.0f, -120.25f));
    EXPECT_EQ(std::make_pair(hello.phones[1].cumLogLike, hello.phones[1].timberScore), std::make_pair(-120.25f, -1.0f));
    // Past 214 s the times leave the int32 range.
    EXPECT_EQ(span(result.nodes[2]), std::make_tuple("sil", 300000, 300999));
}

TEST(labFile, malformedLinesAreRefusedWithTheirLineNumber)
{
    ScratchDir dir;
    const std::string path = dir.file("bad.lab");
    const std::string good = "0 3200000 sil 0 sil\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"% no node yet\n0 100 a 0\n", "line 2: a phone before"},
        {good + "\n0 100 a\n", "line 3: fewer than four"},
        {good + "-100000 3200000 a 0\n", "line 2: negative time (start -100000, end 3200000)"},
        {good + "% c\n0 -5 a 0\n", "line 3: negative time"},
        {good + "3200000 100000 a 0\n", "line 2: end time 100000 is before start time 3200000"},
        // Within one frame: the end frame 31 comes before the start frame 32.
        {good + "3200000 3290000 a 0\n", "line 2: phone a from 3200000 to 3290000 covers no frame (frames 32 to 31)"},
        {good + "x 0 a 0\n", "line 2: phone a from 0 to 0 covers no frame"},
    };
    for (const auto& [text, expected] : cases) {
        testsupport::writeFile(path, text);
        assessResult result;
        const std::string message = testsupport::fatalMessage([&] { labFileRead(path, result); });
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    for (const char* text : {"", "% only a comment\n"}) {
        testsupport::writeFile(path, text);
        assessResult result;
        result.nodes.resize(2);
        EXPECT_EQ(testsupport::captureStdout([&] { labFileRead(path, result); }),
                  "Warning: label file " + path + " holds no labels\n");
        EXPECT_TRUE(result.nodes.empty());
    }
}

TEST(labFile, fieldsTakeTheirLeadingNumberAndNonNumbersGiveZero)
{
    ScratchDir dir;
    const std::string path = dir.file("c.lab");
    // Text after the digits is ignored, a field without digits is 0; a time too large for 64 bits
    // saturates and gives the largest frame rather than wrapping.
    testsupport::writeFile(path, "x 3200000abc sil -50.5x sil\n+3200000 6400000.9 a -1.5e1dB w\n"
                                 "6400000 99999999999999999999999 b score\n");
    assessResult result;
    labFileRead(path, result);
    ASSERT_EQ(result.nodes.size(), 2u);
    auto span = [](const auto& x) { return std::make_tuple(x.name, x.startFrame, x.endFrame); };
    EXPECT_EQ(span(result.nodes[0].phones[0]), std::make_tuple("sil", 0, 31));
    EXPECT_EQ(result.nodes[0].cumScore, -50.5f);
    const auto& w = result.nodes[1].phones;
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(std::make_tuple(span(w[0]), w[0].cumLogLike), std::make_tuple(std::make_tuple("a", 32, 63), -15.0f));
    EXPECT_EQ(std::make_tuple(span(w[1]), w[1].cumLogLike),
              std::make_tuple(std::make_tuple("b", 64, INT32_MAX), 0.0f));
    EXPECT_EQ(span(result.nodes[1]), std::make_tuple("w", 32, INT32_MAX));
}
