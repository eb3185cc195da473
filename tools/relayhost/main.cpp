// relayhost [port]: the multiplayer relay host. Port 0 picks a free port; the port in use is
// printed on the first line of the output. Runs until interrupted. A participant that sends more
// than its budget of messages, or keeps sending malformed ones, is disconnected with one line on
// stderr naming it, and the others are told it is gone.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/enetclient.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }
}  // namespace

int main(int argc, char** argv) {
    long port = 60000;
    if (argc > 1) {
        char* end = nullptr;
        port = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || port < 0 || port > 65535) {
            std::fprintf(stderr, "relayhost: bad port \"%s\"\n", argv[1]);
            return 2;
        }
    }
    NetRelayHost host;
    if (!host.Start(static_cast<uint16_t>(port), false)) {
        std::fprintf(stderr, "relayhost: cannot listen on port %ld\n", port);
        return 1;
    }
    std::printf("%u\n", unsigned{host.Port()});
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    while (gStop == 0) host.Service(100);
    host.Stop();
    return 0;
}
