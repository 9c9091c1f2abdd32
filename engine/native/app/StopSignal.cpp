#include "app/StopSignal.h"

#include <csignal>

namespace Quorvane {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

void InstallStopSignalHandlers() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace Quorvane
