// Pinyin tables (tab-separated columns) and the conversions of a recognized syllable string.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"

FUZZ_TARGET(pinyin)
{
    dictClass dict;
    dict.pinyinTableRead(fuzz::writeInput(input, "txt"));
    const std::string syllables = "ba1-ma3-fillerC-zhong1-guo2";
    pinyinConvert(syllables, dict.m_pinyinTable, 1, 2);
    pinyinConvert(syllables, dict.m_pinyinTable, 1, 3);
    pinyinConvert(syllables, dict.m_pinyinTable, 3, 2);
    pinyinConvert(syllables, dict.m_pinyinTable, 3, 1);
}
