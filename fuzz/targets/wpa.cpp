// Text wpa tables, read as an english table (with itself as addenda) and as a chinese one.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"

FUZZ_TARGET(wpa)
{
    const std::string path = fuzz::writeInput(input, "wpa");
    FUZZ_STEP({
        dictClass dict;
        dict.wpaRead(path, "english");
        dict.wpaAddendaRead(path, "english");
        dict.wpaMerge();
        dict.wpaSort();
        dict.wpaSearch("tom");
    });
    dictClass dict;
    dict.m_pinyinTable = {{"1", "zhong1", "", "zhong"}, {"2", "wen2", "", "wen"}, {"3", "short"}};
    dict.wpaRead(path, "chinese");
}
