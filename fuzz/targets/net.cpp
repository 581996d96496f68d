// Text network files over the fixed dictionary.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "net/net.h"

FUZZ_TARGET(net)
{
    dictClass dict = fuzz::fixedDictionary();
    netClass net;
    net.netRead(fuzz::writeInput(input, "net"), dict);
    net.findStartNode();
    net.findEndNode();
    net.maxNextNodeNum();
}
