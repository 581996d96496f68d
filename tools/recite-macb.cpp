// recite-macb: converts a text macro file into the binary form, which loads much faster.
#include <cstdio>

#include "common/fatalError.h"
#include "model/macro.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("Usage: %s IN.mac OUT.macb\n"
                    "  Writes the models of the text macro file IN.mac in binary form to OUT.macb\n"
                    "  (raw weights and variances; 5-state models only).\n",
                    argv[0]);
        return 1;
    }
    try {
        macroClass models;
        models.macReadText(argv[1]);
        models.macWriteBinary(argv[2]);
        std::printf("\t===> Saved %s (%d models, %d streams)\n", argv[2], models.modelNum, models.streamNum);
    } catch (const fatalErrorException& e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 0;
}
