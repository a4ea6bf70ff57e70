// Rewrites one file the way every driver file is rewritten (copied through a filter
// into a synced temporary file that replaces it), appending one line. For measuring
// rewrite throughput: rewrite_once FILE
#include <cstdio>
#include <cstring>

#include "durable/rewrite.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rewrite_once FILE\n");
        return 2;
    }
    const Outcome outcome =
        rewrite_file(argv[1], kCopyAll, "ZkL010A0321F3A7:\t0.00\t0.00\t28.00\t141.52\n");
    if (outcome.ok()) return 0;
    std::fprintf(stderr, "%s\n", std::strerror(outcome.error));
    return 1;
}
