// Network building speed: a recognition tree over many texts with the stop, start and skippable
// link families, and the forward-jump network of one long assessed text.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "lexicon/text.h"
#include "task/recogParam.h"

namespace {

double secondsOf(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One syllable string of random units out of `syllables` made-up names.
std::string randomSyllables(std::mt19937& rng, int units, unsigned syllables)
{
    std::string s;
    for (int i = 0; i < units; ++i) {
        if (i > 0)
            s += '-';
        s += 's';
        s += std::to_string(rng() % syllables);
    }
    return s;
}

// Seconds that fn takes, its console output (the family announcements) discarded.
double quietSeconds(const std::function<void()>& fn)
{
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0)
        dup2(devNull, STDOUT_FILENO);
    const auto start = std::chrono::steady_clock::now();
    fn();
    std::fflush(stdout);
    const double seconds = secondsOf(start);
    if (saved >= 0) {
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    if (devNull >= 0)
        close(devNull);
    return seconds;
}

} // namespace

int main()
{
    std::mt19937 rng(2024);
    recogParam param;
    param.addLink4stopAnywhere = 1;
    param.addLink4startAnywhere = 1;
    param.addLink4skippableTrailingSil = 1;
    param.addLink4skippableLeadingSil = 1;

    textClass tree;
    const int texts = 500;
    for (int i = 0; i < texts; ++i)
        tree.m_sylVs.push_back(randomSyllables(rng, 10, 300) + "\t" + std::to_string(i));
    const double treeSeconds = quietSeconds([&] { tree.buildTreeNet(param, false, false, true); });

    recogParam jumpParam;
    jumpParam.addLink4forwardJump = 1;
    textClass assessed;
    assessed.m_sylVs = {randomSyllables(rng, 100, 300) + "\t0"};
    const double jumpSeconds = quietSeconds([&] { assessed.buildTreeNet(jumpParam, false, true, true); });

    std::printf("net build: tree of %d texts x 10 words with stop/start/skippable families (%zu lines): %.3f s\n",
                texts, tree.m_netVs.size(), treeSeconds);
    std::printf("net build: forward-jump net for one 100-word assessed text (%zu lines): %.3f s\n",
                assessed.m_netVs.size(), jumpSeconds);
    return 0;
}
