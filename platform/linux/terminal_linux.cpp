#include "platform/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/linux/unique_fd.h"

namespace platform {

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

std::optional<std::string> ReadSecretFromTerminal(const std::string& prompt) {
  // The terminal itself, not standard input: a password must not be read from a pipe that was
  // meant to carry something else.
  UniqueFd tty(open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!tty) return std::nullopt;
  termios saved{};
  if (tcgetattr(tty.get(), &saved) != 0) return std::nullopt;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  if (write(tty.get(), prompt.data(), prompt.size()) < 0) return std::nullopt;
  if (tcsetattr(tty.get(), TCSAFLUSH, &quiet) != 0) return std::nullopt;
  std::string line;
  char c = 0;
  bool ended = false;
  for (;;) {
    const ssize_t got = read(tty.get(), &c, 1);
    if (got <= 0) break;
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    line += c;
  }
  tcsetattr(tty.get(), TCSAFLUSH, &saved);
  if (!ended && line.empty()) return std::nullopt;
  return line;
}

}  // namespace platform
