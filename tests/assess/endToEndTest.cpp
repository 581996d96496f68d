// Whole runs on the toy data set of recite-toy-data, whose recordings have a known segmentation:
// the fitted models, recognition, segmentation and the agreement of the result files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdlib>
#include <sstream>

#include "audio/audioFile.h"
#include "audio/signalCondition.h"
#include "common/console.h"
#include "decoder/scoring.h"
#include "frontend/CMel.h"
#include "model/fillers.h"
#include "model/macro.h"
#include "support/testSupport.h"

using testsupport::readFile;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

const int RECORDING_NUM = 5;

// The data set, written once for the whole program.
const std::string& toyDir()
{
    static testsupport::ScratchDir dir;
    static const std::string path = [] {
        auto r = runCommand(shellQuote(RECITE_TOY_DATA_BINARY) + " " + shellQuote(dir.path().string()));
        EXPECT_EQ(r.exitStatus, 0) << r.output;
        std::filesystem::create_directories(dir.path() / "out");
        return dir.path().string();
    }();
    return path;
}

std::string toyFile(const std::string& name)
{
    return toyDir() + "/" + name;
}

// Runs recite from the data set's directory; extra arguments override the parameter file.
testsupport::CommandResult recite(const std::string& prm, const std::string& args = "")
{
    return runCommand("cd " + shellQuote(toyDir()) + " && " + shellQuote(RECITE_BINARY) + " " + prm + " " + args);
}

// A node (or phone) and its frames, both ends included.
struct span {
    std::string name;
    int first = 0;
    int last = 0;
    std::vector<span> phones;
};

// The true segmentation of recording k: label lines "start end model score [node]" in 100 ns.
std::vector<span> truthOf(int k)
{
    std::vector<span> nodes;
    std::istringstream in(readFile(toyFile("utt" + std::to_string(k) + ".lab")));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '%')
            continue;
        std::istringstream f(line);
        long long start = 0, end = 0;
        std::string model, score, node;
        f >> start >> end >> model >> score >> node;
        const int first = static_cast<int>(start / 100000), last = static_cast<int>(end / 100000) - 1;
        if (!node.empty())
            nodes.push_back({node, first, last, {}});
        nodes.back().phones.push_back({model, first, last, {}});
        nodes.back().last = last;
    }
    return nodes;
}

// A minimal XML tree: tag, attributes as written, text, children.
struct element {
    std::string tag, attrs, text;
    std::vector<element> children;
    std::string attr(const std::string& key) const
    {
        const size_t at = attrs.find(key + "=\""), from = at + key.size() + 2;
        return at == std::string::npos ? "" : attrs.substr(from, attrs.find('"', from) - from);
    }
    const element* child(const std::string& name) const
    {
        const auto c = std::find_if(children.begin(), children.end(), [&](const element& e) { return e.tag == name; });
        return c == children.end() ? nullptr : &*c;
    }
};

// Parses the report, failing the test on a closing tag that doesn't match its opening tag.
element parseXml(const std::string& s)
{
    std::vector<element> stack(1);
    for (size_t i = s.find('<'); i != std::string::npos; i = s.find('<', i)) {
        if (s.compare(i, 4, "<!--") == 0) {
            i = s.find("-->", i);
            continue;
        }
        const size_t close = s.find('>', i);
        if (close == std::string::npos)
            return ADD_FAILURE() << "unterminated tag at byte " << i, element{};
        if (s[i + 1] == '/') {
            EXPECT_EQ(s.substr(i + 2, close - i - 2), stack.back().tag) << "at byte " << i;
            if (stack.size() < 2)
                break;
            element done = std::move(stack.back());
            stack.pop_back();
            stack.back().children.push_back(std::move(done));
        } else if (s[i + 1] != '?') {
            const std::string head = s.substr(i + 1, close - i - 1);
            stack.push_back({head.substr(0, head.find(' ')), head, s.substr(close + 1, s.find('<', close) - close - 1), {}});
        }
        i = close;
    }
    EXPECT_EQ(stack.size(), 1u) << "unclosed element " << stack.back().tag;
    return stack.size() == 1 && stack[0].children.size() == 1 ? stack[0].children[0] : element{};
}

// Every size attribute "1 n" matches the element's values, items, nodes or phones.
void expectSizesMatch(const element& e)
{
    const std::string size = e.attr("size"), type = e.attr("type");
    const int n = size.size() > 2 ? std::atoi(size.c_str() + 2) : -1;
    size_t count = 0;
    std::istringstream values(e.text);
    if (type == "double" || type == "uint16")
        count = static_cast<size_t>(std::distance(std::istream_iterator<std::string>(values), {}));
    else if (type == "char")
        count = e.text.size();
    else if (type == "cell" || e.tag == "discountFactor")
        count = e.tag == "discountFactor" ? e.children.size() / 3 : e.children.size();
    else if (e.tag == "word" || e.tag == "phone")
        count = static_cast<size_t>(std::count_if(e.children.begin(), e.children.end(),
                                                  [](const element& c) { return c.tag == "name"; }));
    else
        count = static_cast<size_t>(n);
    EXPECT_EQ(count, static_cast<size_t>(n)) << "<" << e.attrs << ">";
    for (const element& c : e.children)
        expectSizesMatch(c);
}

// Nodes and their phones from the report, intervals turned back into frames.
std::vector<span> reportedNodes(const element& root)
{
    auto frames = [](const element& interval, span& s) {
        double a = 0, b = 0;
        std::istringstream(interval.text) >> a >> b;
        s.first = static_cast<int>(std::lround(a * 100));
        s.last = static_cast<int>(std::lround(b * 100)) - 1;
    };
    std::vector<span> nodes;
    const element* word = root.child("cm") ? root.child("cm")->child("word") : nullptr;
    for (const element& c : word ? word->children : std::vector<element>{}) {
        if (c.tag == "name")
            nodes.push_back({c.text, 0, 0, {}});
        else if (c.tag == "interval")
            frames(c, nodes.back());
        for (const element& p : c.tag == "phone" ? c.children : std::vector<element>{}) {
            if (p.tag == "name")
                nodes.back().phones.push_back({p.text, 0, 0, {}});
            else if (p.tag == "interval")
                frames(p, nodes.back().phones.back());
        }
    }
    return nodes;
}

float scoreOfRun(const std::string& wav, const std::string& txt)
{
    auto r = recite("assess.prm", wav + " " + txt);
    EXPECT_NE(r.output.find("Done!"), std::string::npos) << r.output;
    return std::strtof(readFile(toyFile("out/score.txt")).c_str(), nullptr);
}

} // namespace

TEST(endToEndToyData, eachPhoneAlignsBestToItsOwnModel)
{
    macroClass models;
    models.macRead(toyFile("models.mac"));
    EXPECT_EQ(models.modelNum, 2 + 8 * 9);
    emissionScorer scorer(models.modelNum);
    for (int k = 1; k <= RECORDING_NUM; ++k) {
        WaveSignal wave = audioFileRead(toyFile("utt" + std::to_string(k) + ".wav"));
        std::vector<std::string> warnings;
        signalCondition(wave, conditionSettings{}, warnings);
        EXPECT_TRUE(warnings.empty());
        CMel mel;
        int32_t frameNum = 0, dim = 0;
        mel.waveToMfcc(wave.samples.data(), wave.fs, wave.nbits, wave.sampleNum, toyFile("mfcc.cfg"), frameNum, dim);
        for (const span& node : truthOf(k))
            for (const span& phone : node.phones) {
                auto score = [&](const std::string& name) {
                    return scorer.modelProb(mel.features().data.data(), dim, phone.first, phone.last, models,
                                            models.findModel(name));
                };
                const std::string own = phone.name.substr(0, phone.name.find('+'));
                for (const std::string other : {"sil", "aa+sil", "eh+sil", "iy+sil", "m+sil", "n+sil", "ow+sil",
                                                "s+sil", "t+sil"}) {
                    if (other.substr(0, other.find('+')) == own || (isFillerName(own) && isFillerName(other)))
                        continue;
                    EXPECT_GT(score(phone.name), score(other)) << "utt" << k << " " << phone.name << " " << other;
                }
            }
    }
}

TEST(endToEndRecog, picksTheSpokenTextAmongSeveral)
{
    for (int k = 1; k <= RECORDING_NUM; ++k) {
        auto r = recite("recog.prm", "utt" + std::to_string(k) + ".wav");
        const std::string index = std::to_string(k - 1);
        EXPECT_NE(r.output.find("\ttextIndex=" + index + " ===> "), std::string::npos) << r.output;
        EXPECT_NE(readFile(toyFile("out/recogResult.txt")).find("Text index=" + index + "\n"), std::string::npos);
    }
}

TEST(endToEndAssess, segmentsNodesAndPhonesWithinTwoFramesOfTheTruth)
{
    for (int k = 1; k <= RECORDING_NUM; ++k) {
        const std::string utt = "utt" + std::to_string(k);
        auto r = recite("assess.prm", utt + ".wav " + utt + ".txt");
        ASSERT_NE(r.output.find("Done!"), std::string::npos) << r.output;
        std::vector<span> truth, found;
        for (const span& n : truthOf(k))
            if (!isFillerName(n.name))
                truth.push_back(n);
        for (const span& n : reportedNodes(parseXml(readFile(toyFile("out/output.xml")))))
            if (!isFillerName(n.name))
                found.push_back(n);
        ASSERT_EQ(found.size(), truth.size()) << utt;
        for (size_t i = 0; i < truth.size(); ++i) {
            EXPECT_EQ(found[i].name, truth[i].name);
            EXPECT_LE(std::abs(found[i].first - truth[i].first), 2) << utt << " " << truth[i].name;
            EXPECT_LE(std::abs(found[i].last - truth[i].last), 2) << utt << " " << truth[i].name;
            ASSERT_EQ(found[i].phones.size(), truth[i].phones.size()) << utt << " " << truth[i].name;
            for (size_t j = 0; j < truth[i].phones.size(); ++j) {
                const span &a = found[i].phones[j], &b = truth[i].phones[j];
                EXPECT_EQ(a.name, b.name);
                EXPECT_LE(std::abs(a.first - b.first), 2) << utt << " " << b.name << " " << a.first << " " << b.first;
                EXPECT_LE(std::abs(a.last - b.last), 2) << utt << " " << b.name << " " << a.last << " " << b.last;
            }
        }
    }
}

TEST(endToEndAssess, theTextReadScoresHigherThanAnotherText)
{
    EXPECT_GT(scoreOfRun("utt1.wav", "utt1.txt"), scoreOfRun("utt1.wav", "utt3.txt"));
    EXPECT_GT(scoreOfRun("utt4.wav", "utt4.txt"), scoreOfRun("utt4.wav", "utt5.txt"));
}

TEST(endToEndAssess, reportIsWellFormedAndScoresAgree)
{
    auto r = recite("assess.prm");
    ASSERT_NE(r.output.find("Done!"), std::string::npos) << r.output;
    const element root = parseXml(readFile(toyFile("out/output.xml")));
    ASSERT_EQ(root.tag, "root");
    expectSizesMatch(root);
    const element* score = root.child("cm") ? root.child("cm")->child("score") : nullptr;
    ASSERT_NE(score, nullptr);
    const std::string result = readFile(toyFile("out/recogResult.txt"));
    const size_t at = result.find("Score=");
    ASSERT_NE(at, std::string::npos) << result;
    auto shown = [](const std::string& s) {
        return strPrintf("%.4g", static_cast<double>(std::strtof(s.c_str(), nullptr)));
    };
    EXPECT_EQ(shown(readFile(toyFile("out/score.txt"))), shown(score->text));
    EXPECT_EQ(shown(result.substr(at + 6)), shown(score->text));
    // A near perfect reading scores high. The score is scaled by the path's units (short pauses
    // included) over the text's words, so an assessment with pauses between words exceeds 100.
    EXPECT_GT(std::strtof(score->text.c_str(), nullptr), 80.0f);
}

TEST(endToEndAssess, labelFileSegmentsTheRunAndAPhonePastTheFramesStopsIt)
{
    const std::string prm = readFile(toyFile("assess.prm")) + "inputLabFile = run.lab\n";
    testsupport::writeFile(toyFile("lab.prm"), prm);
    const std::string truth = readFile(toyFile("utt1.lab"));

    testsupport::writeFile(toyFile("run.lab"), truth);
    auto r = recite("lab.prm");
    ASSERT_NE(r.output.find("Done!"), std::string::npos) << r.output;
    const std::vector<span> found = reportedNodes(parseXml(readFile(toyFile("out/output.xml")))), want = truthOf(1);
    ASSERT_EQ(found.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(std::tie(found[i].name, found[i].first, found[i].last),
                  std::tie(want[i].name, want[i].first, want[i].last));

    // The last silence ends 1 s or very far past the recording: refused, not read or crashed on.
    const size_t lastEnd = truth.rfind("18300000");
    ASSERT_NE(lastEnd, std::string::npos);
    for (const char* end : {"28300000", "999999999999999999999"}) {
        testsupport::writeFile(toyFile("run.lab"), truth.substr(0, lastEnd) + end + truth.substr(lastEnd + 8));
        r = recite("lab.prm");
        EXPECT_EQ(r.exitStatus, 0) << r.output;
        EXPECT_EQ(r.output.find("Done!"), std::string::npos) << r.output;
        EXPECT_TRUE(r.output.find("run.lab") != std::string::npos || r.output.find("outside the") != std::string::npos)
            << r.output;
    }
}
