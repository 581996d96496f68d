#include "assess/xmlReport.h"

#include <cstdarg>
#include <cstdio>

#include "assess/recogResult.h"
#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"

namespace {

const char* const REPORT_VERSION = "version 1.4 (2010/06/24)";

// Characters of a text where a byte with the high bit set starts a two-byte character.
int doubleByteCharCount(const std::string& s)
{
    int count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) & 0x80u)
            ++i;
        ++count;
    }
    return count;
}

int byteLength(const std::string& s)
{
    return static_cast<int>(s.size());
}

double frameStart(int32_t frame)
{
    return frame / 100.0;
}

double frameEnd(int32_t frame)
{
    return (frame + 1) / 100.0;
}

// Collects the report in memory; every line goes through append().
class reportText {
public:
    void append(const char* fmt, ...) RECITE_PRINTF(2, 3)
    {
        va_list ap;
        va_start(ap, fmt);
        m_text += strVPrintf(fmt, ap);
        va_end(ap);
    }
    // Ends an element line: its comment when comments are on, else just the line feed.
    void end(bool withComment, const char* comment)
    {
        if (withComment) {
            m_text += "<!--";
            m_text += comment;
            m_text += "-->";
        }
        m_text += '\n';
    }
    void values(const std::vector<float>& list)
    {
        for (size_t i = 0; i < list.size(); ++i)
            append(i == 0 ? "%g" : " %g", static_cast<double>(list[i]));
    }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

void cellWrite(reportText& out, const char* tag, const std::vector<std::string>& items, bool countDoubleBytes)
{
    out.append("<%s idx=\"1\" type=\"cell\" size=\"1 %d\">\n", tag, static_cast<int>(items.size()));
    for (size_t k = 0; k < items.size(); ++k) {
        const std::string& item = items[k];
        int size = countDoubleBytes ? doubleByteCharCount(item) : byteLength(item);
        out.append("\t<item idx=\"%d\" type=\"char\" size=\"1 %d\">%s</item>\n", static_cast<int>(k + 1), size,
                   item.c_str());
    }
    out.append("</%s>\n", tag);
}

void phoneWrite(reportText& out, int j, const phoneResult& phone, const std::vector<std::string>& modelNames,
                bool comments)
{
    out.append("\t\t\t<name idx=\"%d\" type=\"char\" size=\"1 %d\">%s</name>", j, byteLength(phone.name),
               phone.name.c_str());
    out.end(comments, "Phonetic alphabets for the node");
    out.append("\t\t\t<index idx=\"%d\" type=\"uint16\" size=\"1 1\">%d</index>", j, phone.modelIndex);
    out.end(comments, "Model index within the macro file");
    out.append("\t\t\t<interval idx=\"%d\" type=\"double\" size=\"1 2\">%g %g</interval>", j,
               frameStart(phone.startFrame), frameEnd(phone.endFrame));
    out.end(comments, "Time span of the phone, in seconds");
    out.append("\t\t\t<timberScore idx=\"%d\" type=\"double\" size=\"1 1\">%g</timberScore>", j,
               static_cast<double>(phone.timberScore));
    out.end(comments, "Timber score of the node (-1 if the node is sil/sp)");
    out.append("\t\t\t<pitched idx=\"%d\" type=\"double\" size=\"1 1\">%d</pitched>\n", j,
               static_cast<int>(phone.pitched));
    out.append("\t\t\t<pitch idx=\"%d\" type=\"double\" size=\"1 %d\">", j, static_cast<int>(phone.pitch.size()));
    out.values(phone.pitch);
    out.append("</pitch>");
    out.end(comments, "Pitch of the node (0 if no pitch at all)");
    out.append("\t\t\t<volume idx=\"%d\" type=\"double\" size=\"1 %d\">", j, static_cast<int>(phone.volume.size()));
    out.values(phone.volume);
    out.append("</volume>");
    out.end(comments, "Volume of the node (0 if no pitch at all)");
    out.append("\t\t\t<cumLogLike idx=\"%d\" type=\"double\" size=\"1 1\">%g</cumLogLike>", j,
               static_cast<double>(phone.cumLogLike));
    out.end(comments, "Cumulated log probability of the phone");
    out.append("\t\t\t<rankRatio idx=\"%d\" type=\"double\" size=\"1 1\">%g</rankRatio>", j,
               static_cast<double>(phone.rankRatio));
    out.end(comments, "Rank ratio of the phone");
    out.append("\t\t\t<timeRatio idx=\"%d\" type=\"double\" size=\"1 1\">%g</timeRatio>", j,
               static_cast<double>(phone.timeRatio));
    out.end(comments, "Time ratio of the phone");

    const int competitors = static_cast<int>(phone.competingModelIds.size());
    std::vector<std::string> names;
    for (int32_t id : phone.competingModelIds) {
        if (id < 0 || static_cast<size_t>(id) >= modelNames.size())
            fatalError("Competing model index %d is outside the model set of %d models", id,
                       static_cast<int>(modelNames.size()));
        names.push_back(modelNames[static_cast<size_t>(id)]);
    }
    const std::string joinedNames = strVecJoin(names, " ");
    out.append("\t\t\t<competingModelIndex idx=\"%d\" type=\"uint16\" size=\"1 %d\">%s</competingModelIndex>", j,
               competitors, intVecJoin(phone.competingModelIds, " ").c_str());
    out.end(comments, "Indices of the competing models of the phone");
    out.append("\t\t\t<competingModelName idx=\"%d\" type=\"char\" size=\"1 %d\">%s</competingModelName>", j,
               byteLength(joinedNames), joinedNames.c_str());
    out.end(comments, "Name of the competing models of the phone");
    std::string logLikes;
    for (size_t i = 0; i < phone.competingLogLikes.size(); ++i)
        logLikes += strPrintf(i == 0 ? "%g" : " %g", static_cast<double>(phone.competingLogLikes[i]));
    out.append("\t\t\t<competingModelLogLike idx=\"%d\" type=\"double\" size=\"1 %d\">%s</competingModelLogLike>", j,
               competitors, logLikes.c_str());
    out.end(comments, "Log likelihoods of the competing models of the phone");
    const float* ts = phone.timberScores;
    out.append("\t\t\t<timberScores idx=\"%d\" type=\"double\" size=\"1 4\">%g %g %g %g</timberScores>", j,
               static_cast<double>(ts[0]), static_cast<double>(ts[1]), static_cast<double>(ts[2]),
               static_cast<double>(ts[3]));
    out.end(comments, "All timber scores of the phone (primarily for debugging)");
}

void nodeWrite(reportText& out, int n, const nodeResult& node, const std::vector<std::string>& modelNames,
               bool halveTextSize)
{
    const bool comments = n == 1;
    out.append("\t\t<name idx=\"%d\" type=\"char\" size=\"1 %d\">%s</name>", n, byteLength(node.name),
               node.name.c_str());
    out.end(comments, "Phonetic alphabets of the node");
    out.append("\t\t<interval idx=\"%d\" type=\"double\" size=\"1 2\">%g %g</interval>", n,
               frameStart(node.startFrame), frameEnd(node.endFrame));
    out.end(comments, "Time span of the node, in seconds");
    const int textSize = halveTextSize ? byteLength(node.text) / 2 : byteLength(node.text);
    out.append("\t\t<text idx=\"%d\" type=\"char\" size=\"1 %d\">%s</text>", n, textSize, node.text.c_str());
    out.end(comments, "Text of the node (empty if the node is sil/sp)");
    out.append("\t\t<timberScore idx=\"%d\" type=\"double\" size=\"1 1\">%g</timberScore>", n,
               static_cast<double>(node.timberScore));
    out.end(comments, "Score of the node (-1 if the node is sil/sp)");
    out.append("\t\t<pitch idx=\"%d\" type=\"double\" size=\"1 %d\">", n, static_cast<int>(node.pitch.size()));
    out.values(node.pitch);
    out.append("</pitch>");
    out.end(comments, "Pitch of the node (0 if no pitch at all)");
    out.append("\t\t<volume idx=\"%d\" type=\"double\" size=\"1 %d\">", n, static_cast<int>(node.volume.size()));
    out.values(node.volume);
    out.append("</volume>");
    out.end(comments, "Volume of the node (0 if not computed)");
    const float* ts = node.timberScores;
    out.append("\t\t<timberScores idx=\"%d\" type=\"double\" size=\"1 4\">%g %g %g %g</timberScores>", n,
               static_cast<double>(ts[0]), static_cast<double>(ts[1]), static_cast<double>(ts[2]),
               static_cast<double>(ts[3]));
    out.end(comments, "All timber scores of the node (primarily for debugging)");
    out.append("\t\t<phone idx=\"%d\" type=\"struct\" size=\"1 %d\">", n, static_cast<int>(node.phones.size()));
    out.end(comments, "List of phones in the node");
    for (size_t j = 0; j < node.phones.size(); ++j)
        phoneWrite(out, static_cast<int>(j + 1), node.phones[j], modelNames, comments && j == 0);
    out.append("\t\t</phone>\n");
}

void discountWrite(reportText& out, const assessResult& assess)
{
    const size_t types = assess.discountOccurrences.size();
    out.append("\t<discountFactor idx=\"1\" type=\"struct\" size=\"1 %d\">", static_cast<int>(types));
    out.end(true, "Discount factors for computing the discounted scores");
    for (size_t k = 0; k < types; ++k) {
        const int idx = static_cast<int>(k + 1);
        // Types without a ratio of their own leave the score as it is.
        const double ratio = k < assess.discountRatios.size() ? static_cast<double>(assess.discountRatios[k]) : 1.0;
        const char* name = k < static_cast<size_t>(DISCOUNT_TYPE_NUM) ? DISCOUNT_TYPE_NAMES[k] : "";
        out.append("\t\t<occurrence idx=\"%d\" type=\"double\" size=\"1 1\">%d</occurrence>\n", idx,
                   assess.discountOccurrences[k]);
        out.append("\t\t<ratio idx=\"%d\" type=\"double\" size=\"1 1\">%f</ratio>\n", idx, ratio);
        out.append("\t\t<type idx=\"%d\" type=\"char\" size=\"1 %d\">%s</type>\n", idx,
                   static_cast<int>(std::string(name).size()), name);
    }
    out.append("\t</discountFactor>\n");
}

} // namespace

void xmlReportWrite(const std::string& path, const recogResult& result, const std::vector<std::string>& modelNames,
                    const std::string& language)
{
    const assessResult& assess = result.assess;
    reportText out;
    if (language == "chinese" || language == "taiwanese")
        out.append("<?xml version=\"1.0\" encoding=\"big5\"?>\n");
    else
        out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    out.append("<root xml_tb_version=\"3.2.1\" idx=\"1\" type=\"struct\" size=\"1 1\">\n");
    out.append("<version idx=\"1\" type=\"char\" size=\"1 %d\">%s</version>\n",
               static_cast<int>(std::string(REPORT_VERSION).size()), REPORT_VERSION);
    cellWrite(out, "text", result.texts, true);
    cellWrite(out, "syl", result.identifiedSylEntries, false);
    cellWrite(out, "warningMessage", result.warnings, false);
    out.append("<cm idx=\"1\" type=\"struct\" size=\"1 1\">\n");
    out.append("\t<language idx=\"1\" type=\"char\" size=\"1 %d\">%s</language>\n", byteLength(language),
               language.c_str());
    out.append("\t<score idx=\"1\" type=\"double\" size=\"1 1\">%g</score>", static_cast<double>(assess.overallScore));
    out.end(true, "Overall score");
    out.append("\t<timberScore idx=\"1\" type=\"double\" size=\"1 1\">%g</timberScore>\n",
               static_cast<double>(assess.overallTimberScore));
    out.append("\t<word idx=\"1\" type=\"struct\" size=\"1 %d\">", static_cast<int>(assess.nodes.size()));
    out.end(true, "List of nodes, which each node is a word (for English) or a syllable (for Chinese)");
    const bool halveTextSize = language == "chinese";
    for (size_t n = 0; n < assess.nodes.size(); ++n)
        nodeWrite(out, static_cast<int>(n + 1), assess.nodes[n], modelNames, halveTextSize);
    out.append("\t</word>\n");
    discountWrite(out, assess);
    out.append("</cm>\n");
    out.append("</root>\n");

    writeFileWhole(path, out.text());
}
