// A normalization map and texts (the input's two parts around a "--8<--" line): the rules are read
// and applied, then the texts are listed with the fixed english wpa table.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recogParam.h"

FUZZ_TARGET(tnm)
{
    const auto [map, texts] = fuzz::splitInput(input);
    textClass text;
    text.textNormRead(fuzz::writeInput(map, "tnm"), '#');
    text.txtRead(fuzz::writeInput(texts, "txt"));
    recogParam param;
    param.language = "english";
    text.textNormalize(param);
    dictClass dict = fuzz::fixedWpa();
    text.textsToSylEnglish(dict);
    dict.pronDictFromWpa(text.m_txtVsNormalized, fuzz::fixedModels());
}
