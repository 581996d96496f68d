// WAVE files through the audio reader.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "audio/audioFile.h"

FUZZ_TARGET(wave)
{
    audioFileRead(fuzz::writeInput(input, "wav"));
}
