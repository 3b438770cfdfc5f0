// Another program holding a serial port: opens it through the serial component (exclusively),
// prints "held" and keeps it until SIGTERM or SIGINT, then closes it and exits 0.
// Exit status 1 (and the error on stderr) when the port cannot be opened.

#include "serial/ComPort.h"

#include <csignal>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    // Blocked before the monitoring thread starts, so that only sigwait takes them.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    imconf::TComPort port;
    port.SetPort(argv[1]);
    try {
        port.Open();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stop, &sig);
    port.Close();
    return 0;
}
