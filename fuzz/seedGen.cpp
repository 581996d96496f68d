// Generated seeds: inputs in the binary forms (and model sets) that are made by the library's own
// writers rather than kept in the repository.
#include <filesystem>
#include <fstream>

#include "fuzzSupport.h"
#include "frontend/CMel.h"
#include "frontend/htkParamFile.h"
#include "lexicon/dict.h"
#include "model/macro.h"
#include "net/net.h"
#include "support/syntheticModels.h"

namespace fuzz {

namespace {

std::string le32(uint32_t v)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
    return out;
}

std::string counted(const std::string& s)
{
    return le32(static_cast<uint32_t>(s.size())) + s;
}

// The fixed dictionary's words in a network: start, sil, two alternative words, sil, end.
const char* const FIXED_NET = "VERSION=1.0\nN=7\tL=8\nI=0\tW=!NULL\nI=1\tW=!NULL\nI=2\tW=sil\nI=3\tW=w0\n"
                              "I=4\tW=w1@-1@one\nI=5\tW=w3\nI=6\tW=sil\n"
                              "J=0\tS=0\tE=2\nJ=1\tS=2\tE=3\nJ=2\tS=2\tE=4\nJ=3\tS=3\tE=5\nJ=4\tS=4\tE=5\n"
                              "J=5\tS=5\tE=6\nJ=6\tS=6\tE=1\nJ=7\tS=5\tE=1\n";

} // namespace

void writeSeeds(const std::string& dir)
{
    namespace fs = std::filesystem;
    auto put = [&](const std::string& target, const std::string& name, const std::string& bytes) {
        fs::create_directories(dir + "/" + target);
        std::ofstream(dir + "/" + target + "/" + name, std::ios::binary) << bytes;
    };

    const std::string oneStream = syntheticMacroText(3, 1, 1, 1);
    const std::string threeStreams = syntheticMacroText(2, 3, 2, 2);
    put("mac", "gen-1stream.mac", oneStream);
    put("mac", "gen-3streams.mac", threeStreams);
    for (const auto& [name, text] : {std::pair{"1stream", oneStream}, std::pair{"3streams", threeStreams}}) {
        macroClass models;
        models.macReadText(writeScratch("seed.mac", text));
        const std::string out = scratchDir() + "/seed.macb";
        models.macWriteBinary(out);
        std::ifstream in(out, std::ios::binary);
        put("macb", std::string("gen-") + name + ".macb", std::string(std::istreambuf_iterator<char>(in), {}));
    }

    put("dict", "gen-fixed.dic", "sil sil\nsp sp\nw0 p0+p0 p0+p1\nw1 p0+p2 p0+p3\nw2 p0+p4\nw3 p0+p5 p0+p1 p0+p2\n"
                                 "w4 p0+p9 ???\n");
    put("modelcount", "gen-fixed.txt", "% name and training count\nsil\t1200\nsp\t300\np0+p0\t45\np0+p1\t7\n"
                                       "p0+p2\t0\np0+p3\t-3\np0+p4\t12x\n");
    put("net", "gen-fixed.net", FIXED_NET);
    {
        dictClass dict = fixedDictionary();
        netClass net;
        net.netRead(writeScratch("seed.net", FIXED_NET), dict);
        const std::string out = scratchDir() + "/seed.netb";
        net.netWriteBinary(out);
        std::ifstream in(out, std::ios::binary);
        put("netb", "gen-fixed.netb", std::string(std::istreambuf_iterator<char>(in), {}));
    }

    put("wpab", "gen-small.wpab",
        le32(3) + counted("men") + le32(2) + counted("m_eh_n") + counted("m_ah_n") + counted("tom") + le32(1) +
            counted("t_aa_m") + counted("\xA4\xA4") + le32(1) + counted("zhong"));
    put("wpa", "gen-chinese.wpa", "%\n\xA4\xA4\t1\tu\tzh,z\tu\n\xA4\xE5\t2,1\tu\tw,e\tu\n");

    {
        const std::string cfg = writeScratch("seed.cfg", "SOURCERATE = 625\nTARGETKIND = MFCC_E_D_A\n"
                                                         "TARGETRATE = 100000.0\nWINDOWSIZE = 200000.0\n");
        CMel mel;
        int32_t frameNum = 0;
        int32_t vecSize = 0;
        mel.waveToMfcc(fixedSignal().data(), 16000, 16, 1600, cfg, frameNum, vecSize);
        const std::string out = scratchDir() + "/seed.mfc";
        htkParamFileWrite(out, mel.features());
        std::ifstream in(out, std::ios::binary);
        put("htk", "gen-features.mfc", std::string(std::istreambuf_iterator<char>(in), {}));
    }
}

} // namespace fuzz
