// quenrix-bench-convert: converts one file and nothing else, so that the
// benchmark can read the peak memory of a conversion in a process that
// carries no window toolkit.
#include <cstdio>

#include "engine/pipeline.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenrix-bench-convert FILE\n");
        return 2;
    }
    return quenrix::ConvertGpsFile(quenrix::ConversionRequest(argv[1])).result ==
                   quenrix::ConvertResult::Converted
               ? 0
               : 1;
}
