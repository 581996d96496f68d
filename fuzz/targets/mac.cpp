// Text macro files (the model set).
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "model/macro.h"

FUZZ_TARGET(mac)
{
    macroClass models;
    models.macRead(fuzz::writeInput(input, "mac"));
    models.findModel("sil");
}
