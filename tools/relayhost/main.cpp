// relayhost [--loopback] [--per-address N] [--idle-seconds N] [port]: the multiplayer relay host.
// It listens on port 60000 of every address unless told otherwise: --loopback listens on 127.0.0.1
// alone, port 0 picks a free port. The port in use is printed on the first line of the output.
// Runs until interrupted.
//
// It takes 64 participants, and 8 from one address unless --per-address says otherwise (players on
// one machine share its address); one more is refused at once (the player's console says why when
// the session is full) and the refusal is logged with its address. One address may join as often
// as it may hold participants, then once a second. A participant that sends more than its budget of
// messages, keeps sending malformed ones, or sends nothing for --idle-seconds (300 unless told
// otherwise) is disconnected with one line on stderr naming it, and the others are told it is gone.
// A connection attempt that does not finish is let go after 3 s. Lines about one address that come
// faster than one per 10 s are counted instead, the count logged in one line.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/enetclient.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

bool Number(const char* text, long low, long high, long* out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    *out = value;
    return true;
}

constexpr const char* Usage = "usage: relayhost [--loopback] [--per-address N] [--idle-seconds N] [port]";
}  // namespace

int main(int argc, char** argv) {
    long port = NetRelayDefaultPort;
    bool loopback = false;
    bool portGiven = false;
    NetRelayLimits limits;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        long value = 0;
        if (std::strcmp(arg, "--loopback") == 0) {
            loopback = true;
        } else if (std::strcmp(arg, "--per-address") == 0 || std::strcmp(arg, "--idle-seconds") == 0) {
            const bool perAddress = arg[2] == 'p';
            const long high = perAddress ? static_cast<long>(NetRelayMaxParticipants) : 86400L;
            if (i + 1 >= argc || !Number(argv[i + 1], 1, high, &value)) {
                std::fprintf(stderr, "relayhost: %s takes a number from 1 to %ld (%s)\n", arg, high, Usage);
                return 2;
            }
            ++i;
            if (perAddress)
                limits.perAddress = static_cast<uint32_t>(value);
            else
                limits.idleMs = static_cast<uint32_t>(value) * 1000u;
        } else if (!portGiven && Number(arg, 0, 65535, &value)) {
            port = value;
            portGiven = true;
        } else {
            std::fprintf(stderr, "relayhost: bad argument \"%s\" (%s)\n", arg, Usage);
            return 2;
        }
    }
    NetRelayHost host;
    if (!host.Start(static_cast<uint16_t>(port), loopback, limits)) {
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
