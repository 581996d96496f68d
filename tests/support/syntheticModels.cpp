#include "support/syntheticModels.h"

#include <cmath>
#include <cstdio>
#include <random>

namespace {

void appendf(std::string& out, const char* fmt, double v)
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    out.append(buf, static_cast<size_t>(n));
}

std::string modelName(int i)
{
    if (i == 0)
        return "sil";
    if (i == 1)
        return "sp";
    return "p" + std::to_string((i - 2) / 40) + "+p" + std::to_string((i - 2) % 40);
}

} // namespace

std::string syntheticMacroText(int modelNum, int streamNum, int mixtureNum, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> meanDist(-20.0, 20.0);
    std::uniform_real_distribution<double> varDist(0.05, 40.0);
    std::uniform_real_distribution<double> weightDist(0.1, 1.0);
    const double twoPi = 6.283185307179586;

    std::string out = "~o\n<STREAMINFO> " + std::to_string(streamNum);
    for (int s = 0; s < streamNum; ++s)
        out += " 13";
    out += "\n<VECSIZE> " + std::to_string(13 * streamNum) + "<NULLD><MFCC_E_D_A><DIAGC>\n";
    for (int m = 0; m < modelNum; ++m) {
        out += "~h \"" + modelName(m) + "\"\n<BEGINHMM>\n<NUMSTATES> 5\n";
        for (int state = 2; state <= 4; ++state) {
            out += "<STATE> " + std::to_string(state) + "\n";
            if (mixtureNum > 1) {
                out += "<NUMMIXES>";
                for (int s = 0; s < streamNum; ++s)
                {
                    out += ' ';
                    out += std::to_string(mixtureNum);
                }
                out += "\n";
            }
            out += "<SWEIGHTS> " + std::to_string(streamNum) + "\n";
            for (int s = 0; s < streamNum; ++s)
                out += " 1.000000e+00";
            out += "\n";
            for (int s = 1; s <= streamNum; ++s) {
                if (streamNum > 1)
                    out += "<STREAM> " + std::to_string(s) + "\n";
                std::vector<double> weights(static_cast<size_t>(mixtureNum));
                double total = 0;
                for (double& w : weights)
                    total += (w = weightDist(gen));
                for (int mix = 1; mix <= mixtureNum; ++mix) {
                    if (mixtureNum > 1) {
                        out += "<MIXTURE> " + std::to_string(mix);
                        appendf(out, " %e\n", weights[static_cast<size_t>(mix - 1)] / total);
                    }
                    out += "<MEAN> 13\n";
                    for (int d = 0; d < 13; ++d)
                        appendf(out, " %e", meanDist(gen));
                    out += "\n<VARIANCE> 13\n";
                    double gconst = 0;
                    for (int d = 0; d < 13; ++d) {
                        const double v = varDist(gen);
                        gconst += std::log(twoPi * v);
                        appendf(out, " %e", v);
                    }
                    appendf(out, "\n<GCONST> %e\n", gconst);
                }
            }
        }
        out += "<TRANSP> 5\n"
               " 0.000000e+00 1.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00\n"
               " 0.000000e+00 6.000000e-01 4.000000e-01 0.000000e+00 0.000000e+00\n"
               " 0.000000e+00 0.000000e+00 7.000000e-01 3.000000e-01 0.000000e+00\n"
               " 0.000000e+00 0.000000e+00 0.000000e+00 5.000000e-01 5.000000e-01\n"
               " 0.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00\n"
               "<ENDHMM>\n";
    }
    return out;
}
