// hcyrtihub: the meeting point of federates in different processes. Listens
// on 127.0.0.1 and serves until SIGINT or SIGTERM.
//
//   hcyrtihub [--port N]     N: 0 picks a free port; default 15013
//
// Prints "hcyrtihub: listening on 127.0.0.1:PORT" once it accepts connections.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "hub_server.h"
#include "link.h"

namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop = true; }

int Usage() {
    std::fprintf(stderr, "usage: hcyrtihub [--port N]   (N from 0 to 65535; 0: a free port)\n");
    return 2;
}

int Serve(int argc, char** argv) {
    unsigned long port = hcyrti::kDefaultHubPort;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::strtoul(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || port > 65535) return Usage();
        } else {
            return Usage();
        }
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;  // no SA_RESTART: the wait ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    hcyrti::HubServer hub;
    std::string error;
    if (!hub.Listen(static_cast<std::uint16_t>(port), error)) {
        std::fprintf(stderr, "hcyrtihub: %s\n", error.c_str());
        return 1;
    }
    std::printf("hcyrtihub: listening on 127.0.0.1:%u\n", hub.Port());
    std::fflush(stdout);
    hub.Run(g_stop);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Serve(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hcyrtihub: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "hcyrtihub: unknown failure\n");
    }
    return 1;
}
