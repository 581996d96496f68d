// Raw 16-bit files through the audio reader.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "audio/audioFile.h"

FUZZ_TARGET(raw)
{
    audioFileRead(fuzz::writeInput(input, "raw"));
}
