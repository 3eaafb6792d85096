#include <csignal>
#include <initializer_list>

#include "common/interrupt.hpp"

namespace common {
namespace {

volatile std::sig_atomic_t first_signal = 0;

extern "C" void on_interrupt(int signal) {
  if (first_signal != 0) {
    // Asked twice: the user wants out now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  first_signal = signal;
}

}  // namespace

void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // writes in progress finish; the flag is looked at after them
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int interrupted() {
  return first_signal;
}

}  // namespace common
