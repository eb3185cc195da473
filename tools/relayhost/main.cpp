// relayhost [--loopback] [port]: the multiplayer relay host. It listens on port 60000 of every
// address unless told otherwise: --loopback listens on 127.0.0.1 alone, port 0 picks a free port.
// The port in use is printed on the first line of the output. Runs until interrupted.
//
// It takes 64 participants; one more is refused at once (the player's console says the session is
// full) and the refusal is logged with its address. A participant that sends more than its budget
// of messages, or keeps sending malformed ones, is disconnected with one line on stderr naming it,
// and the others are told it is gone.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/enetclient.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }
}  // namespace

int main(int argc, char** argv) {
    long port = NetRelayDefaultPort;
    bool loopback = false;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--loopback") == 0) {
            loopback = true;
            continue;
        }
        char* end = nullptr;
        port = std::strtol(argv[i], &end, 10);
        if (portGiven || end == argv[i] || *end != '\0' || port < 0 || port > 65535) {
            std::fprintf(stderr, "relayhost: bad argument \"%s\" (usage: relayhost [--loopback] [port])\n", argv[i]);
            return 2;
        }
        portGiven = true;
    }
    NetRelayHost host;
    if (!host.Start(static_cast<uint16_t>(port), loopback)) {
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
