#include "publish/interruption.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void NoteInterrupt(int) { caught = 1; }

}  // namespace

void CatchInterrupts() {
  std::signal(SIGINT, NoteInterrupt);
  std::signal(SIGTERM, NoteInterrupt);
}

bool Interrupted() { return caught != 0; }
