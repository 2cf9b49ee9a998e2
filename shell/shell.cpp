// The shell's state, and the reset of the whole program's state.
#include "shell/shell.h"

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "romaji/romaji.h"
#include "store/store.h"

Shell shell;

void reset_program_state() {
  reset_store();
  reset_intake();
  reset_lookup();
  reset_romaji();
  shell = Shell{};
}
