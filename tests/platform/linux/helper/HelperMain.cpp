#include "HelperModes.hpp"

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc >= 2 && std::strcmp(argv[1], "serve") == 0) return corvane::platform::testing::serve(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "host") == 0) return corvane::platform::testing::host(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "probe") == 0) return corvane::platform::testing::probe(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: %s serve|host|probe ...\n", argv[0]);
    return 2;
}
