#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: makedata <data folder>\n");
        return 2;
    }
    (void)argv;
    return 0;
}
