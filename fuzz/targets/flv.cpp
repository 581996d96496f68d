// FLV files (Nellymoser audio) through the audio reader.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "audio/audioFile.h"

FUZZ_TARGET(flv)
{
    audioFileRead(fuzz::writeInput(input, "flv"));
}
