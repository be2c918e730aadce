// The entry point of a console program: the universal CRT set up for it,
// the initialisers, main, and exit (which runs what atexit registered).
#include <corecrt_startup.h>
#include <stdlib.h>
#include <vcruntime.h>

#include "crt.h"

int main(int argc, char** argv, char** envp);

extern "C" int mainCRTStartup() {
  __security_init_cookie();
  _set_app_type(_crt_console_app);
  if (_configure_narrow_argv(_crt_argv_unexpanded_arguments) != 0 || _initialize_narrow_environment() != 0 ||
      !glyphwork_crt::RunInitialisers()) {
    _exit(255);
  }
  exit(main(*__p___argc(), *__p___argv(), _get_initial_narrow_environment()));
}
