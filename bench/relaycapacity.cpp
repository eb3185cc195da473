// Capacity of one relay host: the relayhost tool on a free loopback port and N simulated players
// that join one after another as the game does (a forced state on acceptance, a model and a state
// for every participant announced) and then send 10 states a second. Per N (8, 32, 64) it reports
// the players still connected, the share of states every other player received, the states the
// relay handed out per second, the delivery latency (p50, p99), and the relay's CPU (% of a core)
// and resident memory. At 64 a 65th player then tries to join and the time to its refusal is
// reported. The players all play from 127.0.0.1: the relay is told to take 64 from one address.
//
// BM_RelaySessionUnderAttack runs 32 such players, each from a loopback address of its own and the
// relay with its default limits, beside one hostile client from 127.0.0.2: 1, one that joins, sends
// a burst of 120 states, leaves and joins again; 2, one that joins and leaves as fast as it can
// from four sockets. It reports the same figures and the states
// of the hostile client each player received per second, with the joins the host let it make.
//
// QV_RELAY_BENCH_SECONDS sets the measured time per N (default 10; the joining and a 2-s drain come
// on top). All traffic stays on 127.0.0.1.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/enetclient.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t MeshId = 82, StateId = 83;
constexpr uint32_t MeshSize = 44, StateSize = 48;

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

int64_t NowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

// The relay host as a child process of its own, so that its CPU and memory can be read.
class RelayProcess {
public:
    bool Start(const char* perAddress) {
        int out[2];
        if (pipe(out) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string path = QV_RELAYHOST_PATH;
        char loopback[] = "--loopback";
        char zero[] = "0";
        char perAddressOption[] = "--per-address";
        std::string perAddressValue = perAddress != nullptr ? perAddress : "";
        char* argv[] = {path.data(), loopback, perAddressOption, perAddressValue.data(), zero, nullptr};
        if (perAddress == nullptr) argv[2] = zero, argv[3] = nullptr;  // the default limits
        const int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            pid_ = -1;
            return false;
        }
        char line[32] = {};
        size_t got = 0;
        while (got + 1 < sizeof line) {
            const ssize_t n = read(out[0], line + got, 1);
            if (n <= 0 || line[got] == '\n') break;
            ++got;
        }
        close(out[0]);
        port_ = static_cast<uint16_t>(std::atoi(line));
        return port_ != 0;
    }
    ~RelayProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    uint16_t Port() const { return port_; }
    // User and system CPU seconds so far.
    double CpuSeconds() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) return 0.0;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        // Fields from the state on: state is 3, utime 14, stime 15.
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    // A line of /proc/<pid>/status in kB ("VmRSS", "VmHWM").
    long MemoryKb(const char* key) const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1);
        return -1;
    }

private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

// One simulated player; used only by the worker thread that owns it.
struct Player {
    int index = 0;
    NetClientInterface net;
    bool started = false;
    bool accepted = false;
    bool lost = false;
    uint32_t ownId = 0;
    uint32_t seen = 0;  // participants announced and not gone
    uint32_t seq = 0;
    Clock::time_point nextSend;
    uint64_t sentMeasured = 0;
    uint64_t receivedMeasured = 0;
    uint64_t hostileMeasured = 0;  // states of the hostile client
    uint8_t state[StateSize] = {StateId};
    uint8_t mesh[MeshSize] = {MeshId};

    void SendState(bool measured) {
        PutU32(state + 4, ownId);
        PutU32(state + 8, static_cast<uint32_t>(index));
        PutU32(state + 12, ++seq);
        PutU32(state + 16, measured ? 1 : 0);
        const int64_t t = NowNs();
        std::memcpy(state + 20, &t, sizeof t);
        if (net.Send(state, StateSize) && measured) ++sentMeasured;
    }
    void SendModel() {
        PutU32(mesh + 4, ownId);
        std::memcpy(mesh + 8, "HERO", 5);
        PutU32(mesh + 40, 1);
        net.Send(mesh, MeshSize);
    }
};

struct Session {
    std::vector<std::unique_ptr<Player>> players;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> measuring{false};
    std::atomic<uint64_t> hostileJoins{0};  // joins the host let the hostile client make
    Clock::time_point joinStart;
    std::chrono::milliseconds joinGap{20};
    bool ownAddresses = false;  // each player from 127.0.1.<index + 1>
    std::mutex latencyLock;
    std::vector<float> latencyUs;
};

// Services the players i with i % workers == worker: joins them on schedule, answers the host as
// the game does, sends a state every 0.1 s and counts what arrives.
void Work(Session& s, size_t worker, size_t workers) {
    std::vector<float> latencies;
    latencies.reserve(1 << 16);
    while (!s.stop) {
        bool busy = false;
        const auto now = Clock::now();
        for (size_t i = worker; i < s.players.size(); i += workers) {
            Player& p = *s.players[i];
            if (!p.started) {
                if (now < s.joinStart + s.joinGap * static_cast<int>(i)) continue;
                p.started = true;
                if (s.ownAddresses) p.net.SetLocalAddress(("127.0.1." + std::to_string(i + 1)).c_str());
                p.net.Connect("127.0.0.1", s.port, 0, 0, 100);
                p.nextSend = now + std::chrono::milliseconds(100);
            }
            while (NetPacket* packet = p.net.Receive()) {
                busy = true;
                const uint8_t* d = packet->data;
                const uint32_t n = packet->length;
                switch (d[0]) {
                case NetIdConnectionAccepted:
                    p.accepted = true;
                    p.ownId = p.net.GetPlayerID().binaryAddress;
                    p.SendState(false);
                    break;
                case NetIdConnectionFailed:
                case NetIdConnectionLost:
                    if (packet->playerId.binaryAddress == 0) p.lost = true;
                    else if (p.seen > 0) --p.seen;
                    break;
                case NetIdDisconnection:
                    if (p.seen > 0) --p.seen;
                    break;
                case NetIdRemoteNewConnection:
                case NetIdRemoteExistingConnection:
                    ++p.seen;
                    p.SendModel();
                    p.SendState(false);
                    break;
                case StateId:
                    if (n == StateSize && GetU32(d + 16) == 2 && s.measuring) ++p.hostileMeasured;
                    if (n == StateSize && GetU32(d + 16) == 1) {
                        ++p.receivedMeasured;
                        int64_t sent = 0;
                        std::memcpy(&sent, d + 20, sizeof sent);
                        latencies.push_back(static_cast<float>(NowNs() - sent) / 1000.0f);
                    }
                    break;
                default:
                    break;
                }
                p.net.DeallocatePacket(packet);
            }
            if (p.accepted && !p.lost && now >= p.nextSend) {
                p.nextSend += std::chrono::milliseconds(100);
                p.SendState(s.measuring);
            }
        }
        if (!busy) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    std::lock_guard<std::mutex> lock(s.latencyLock);
    s.latencyUs.insert(s.latencyUs.end(), latencies.begin(), latencies.end());
}

double Seconds() {
    const char* text = std::getenv("QV_RELAY_BENCH_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 10.0;
    return seconds > 0.0 ? seconds : 10.0;
}

// Milliseconds until a further player is refused, -1 when it is not.
double TimeToRefusal(uint16_t port) {
    NetClientInterface extra;
    const auto start = Clock::now();
    if (!extra.Connect("127.0.0.1", port, 0, 0, 100)) return -1.0;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        while (NetPacket* packet = extra.Receive()) {
            const bool refused = packet->length >= 2 && packet->data[0] == NetIdConnectionFailed &&
                                 packet->data[1] == NetRefusalSessionFull;
            const bool other = packet->data[0] == NetIdConnectionAccepted || packet->data[0] == NetIdConnectionFailed;
            extra.DeallocatePacket(packet);
            if (refused) return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (other) return -1.0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1.0;
}

// The hostile client from 127.0.0.2 (kind 1: bursts and reconnects, kind 2: join churn); its
// states carry 2 where the players' carry their measured flag.
void Hostile(Session& s, int kind) {
    auto attempt = [&](bool burst) {
        NetClientInterface net;
        net.SetLocalAddress("127.0.0.2");
        if (!net.Connect("127.0.0.1", s.port, 0, 0, 100)) return;
        const auto start = Clock::now();
        bool accepted = false, ended = false;
        while (!s.stop && !accepted && !ended && Clock::now() - start < std::chrono::seconds(1)) {
            while (NetPacket* packet = net.Receive()) {
                accepted = accepted || packet->data[0] == NetIdConnectionAccepted;
                ended = ended || ((packet->data[0] == NetIdConnectionFailed || packet->data[0] == NetIdConnectionLost) &&
                                  packet->playerId.binaryAddress == 0);
                net.DeallocatePacket(packet);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (!accepted) return;
        ++s.hostileJoins;
        if (!burst) return;
        uint8_t m[StateSize] = {StateId};
        PutU32(m + 4, net.GetPlayerID().binaryAddress);
        PutU32(m + 16, 2);
        for (int i = 0; i < 120; ++i) net.Send(m, StateSize);
        const auto sent = Clock::now();
        while (Clock::now() - sent < std::chrono::milliseconds(20)) {
            while (NetPacket* packet = net.Receive()) net.DeallocatePacket(packet);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < (kind == 1 ? 1 : 4); ++t)
        threads.emplace_back([&] {
            while (!s.stop) attempt(kind == 1);
        });
    for (std::thread& t : threads) t.join();
}

void RunSession(benchmark::State& state, size_t count, int hostile) {
    const double seconds = Seconds();
    for (auto _ : state) {
        RelayProcess relay;
        const std::string everyone = std::to_string(NetRelayMaxParticipants);
        if (!relay.Start(hostile != 0 ? nullptr : everyone.c_str())) {
            state.SkipWithError("cannot start relayhost");
            return;
        }
        Session s;
        s.port = relay.Port();
        s.ownAddresses = hostile != 0;
        for (size_t i = 0; i < count; ++i) {
            s.players.push_back(std::make_unique<Player>());
            s.players.back()->index = static_cast<int>(i);
        }
        s.joinStart = Clock::now();
        const size_t workers = std::min<size_t>(4, count);
        std::vector<std::thread> threads;
        for (size_t w = 0; w < workers; ++w) threads.emplace_back(Work, std::ref(s), w, workers);

        // Everyone joins (and has had time to answer every announcement), then the measured time.
        std::this_thread::sleep_for(s.joinGap * static_cast<int>(count) + std::chrono::seconds(2));
        std::thread hostileClient;
        if (hostile != 0) {
            hostileClient = std::thread(Hostile, std::ref(s), hostile);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        const double cpuBefore = relay.CpuSeconds();
        const auto measureStart = Clock::now();
        s.measuring = true;
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        s.measuring = false;
        const double measured = std::chrono::duration<double>(Clock::now() - measureStart).count();
        const double cpu = relay.CpuSeconds() - cpuBefore;
        // What is under way still arrives.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const long rssKb = relay.MemoryKb("VmRSS");
        const long peakKb = relay.MemoryKb("VmHWM");
        const double refusal = count == NetRelayMaxParticipants ? TimeToRefusal(s.port) : -2.0;
        s.stop = true;
        for (std::thread& t : threads) t.join();
        if (hostileClient.joinable()) hostileClient.join();

        size_t connected = 0;
        uint64_t sent = 0, received = 0, hostileHeard = 0;
        for (const auto& p : s.players) {
            if (p->accepted && !p->lost && p->net.IsConnected()) ++connected;
            sent += p->sentMeasured;
            received += p->receivedMeasured;
            hostileHeard += p->hostileMeasured;
        }
        const double hostilePerSecond = static_cast<double>(hostileHeard) / static_cast<double>(count) / measured;
        const double expected = static_cast<double>(sent) * static_cast<double>(count - 1);
        std::vector<float>& l = s.latencyUs;
        std::sort(l.begin(), l.end());
        auto percentile = [&](double q) {
            return l.empty() ? -1.0 : static_cast<double>(l[std::min(l.size() - 1, static_cast<size_t>(q * l.size()))]) / 1000.0;
        };
        state.SetIterationTime(measured);
        state.counters["connected"] = static_cast<double>(connected);
        state.counters["delivery"] = expected > 0.0 ? static_cast<double>(received) / expected : 0.0;
        state.counters["relayed_per_s"] = static_cast<double>(received) / measured;
        state.counters["p50_ms"] = percentile(0.50);
        state.counters["p99_ms"] = percentile(0.99);
        state.counters["relay_cpu_pct"] = 100.0 * cpu / measured;
        state.counters["relay_rss_kb"] = static_cast<double>(rssKb);
        state.counters["relay_peak_kb"] = static_cast<double>(peakKb);
        if (refusal > -2.0) state.counters["refused_65th_ms"] = refusal;
        if (hostile != 0) {
            state.counters["hostile_per_s"] = hostilePerSecond;
            state.counters["hostile_joins"] = static_cast<double>(s.hostileJoins.load());
            std::printf("hostile client %d: each player heard %.1f of its states a second; the host let it join %llu times\n",
                        hostile, hostilePerSecond, static_cast<unsigned long long>(s.hostileJoins.load()));
        }
        std::printf("players %zu: connected %zu, delivery %.5f (%llu of %.0f), relayed %.0f states/s, latency p50 %.3f ms "
                    "p99 %.3f ms, relay CPU %.1f%% of a core, memory %ld kB (peak %ld kB)%s\n",
                    count, connected, expected > 0.0 ? static_cast<double>(received) / expected : 0.0,
                    static_cast<unsigned long long>(received), expected, static_cast<double>(received) / measured,
                    percentile(0.50), percentile(0.99), 100.0 * cpu / measured, rssKb, peakKb,
                    refusal > -2.0 ? (", 65th refused after " + std::to_string(refusal) + " ms").c_str() : "");
        std::fflush(stdout);
    }
}

void BM_RelaySession(benchmark::State& state) { RunSession(state, static_cast<size_t>(state.range(0)), 0); }

void BM_RelaySessionUnderAttack(benchmark::State& state) {
    RunSession(state, static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
}

BENCHMARK(BM_RelaySession)->Arg(8)->Arg(32)->Arg(64)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_RelaySessionUnderAttack)
    ->Args({32, 1})
    ->Args({32, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
