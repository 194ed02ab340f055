#pragma once
// Starting other programs: the text editor for the log and the configuration, and the default
// browser for the link commands. The commands take this interface so that tests can see what
// would be started without starting it.
#include "core/Text.h"

namespace uptorra {

class ShellServices {
 public:
  virtual ~ShellServices() = default;
  // Starts a program from a command line in a normal window, without waiting for it.
  virtual bool StartProgram(const Text& commandLine) = 0;
  // Opens an address with the system's default handler (the shell's "open"), normal window.
  virtual bool OpenAddress(const Text& address) = 0;
};

// The system's own.
ShellServices& SystemShell();

}  // namespace uptorra
