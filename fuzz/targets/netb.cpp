// Binary network files over the fixed dictionary.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "net/net.h"

FUZZ_TARGET(netb)
{
    dictClass dict = fuzz::fixedDictionary();
    netClass net;
    net.netRead(fuzz::writeInput(input, "netb"), dict);
    net.findStartNode();
    net.findEndNode();
    net.maxNextNodeNum();
}
