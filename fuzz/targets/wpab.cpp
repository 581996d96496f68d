// Binary wpa tables.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"

FUZZ_TARGET(wpab)
{
    const std::string path = fuzz::writeInput(input, "wpab");
    FUZZ_STEP({
        dictClass dict;
        dict.wpaRead(path, "english");
        dict.wpaSearch("tom");
    });
    dictClass dict;
    dict.m_pinyinTable = {{"1", "zhong1", "", "zhong"}, {"2", "wen2", "", "wen"}, {"3", "short"}};
    dict.wpaRead(path, "chinese");
}
